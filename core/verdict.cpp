#include "core/verdict.h"

namespace ostrivane {

RowVerdict verdictFor(const Resolution& answer) {
    switch (answer.status) {
        case ResolveStatus::Resolved: {
            const auto dotted = formatDottedQuad(*answer.address);
            if (!isListingAnswer(*answer.address)) {
                return {RowVerdictKind::ListError, std::string(kListErrorPrefix) + dotted,
                        RowHighlight::Plain};
            }
            return {RowVerdictKind::Listed, std::string(kListedPrefix) + dotted,
                    RowHighlight::Listed};
        }
        case ResolveStatus::NoAnswer:
            return {RowVerdictKind::NoAnswer, std::string(kLookupFailed), RowHighlight::Plain};
        case ResolveStatus::NotFound:
            break;
    }
    return {RowVerdictKind::NotListed, std::string(kNotFound), RowHighlight::Plain};
}

RowVerdictKind verdictKindOf(std::string_view resultText) {
    if (resultText.starts_with(kListedPrefix)) {
        return RowVerdictKind::Listed;
    }
    if (resultText.starts_with(kListErrorPrefix)) {
        return RowVerdictKind::ListError;
    }
    if (resultText == kLookupFailed) {
        return RowVerdictKind::NoAnswer;
    }
    return RowVerdictKind::NotListed;
}

}  // namespace ostrivane
