#include "core/verdict.h"

namespace ostrivane {

Verdict verdictFor(const Resolution& answer) {
    switch (answer.status) {
        case ResolveStatus::Resolved: {
            const auto dotted = formatDottedQuad(*answer.address);
            if (!isListingAnswer(*answer.address)) {
                return {VerdictKind::ListError, std::string(kListErrorPrefix) + dotted,
                        RowHighlight::Plain};
            }
            return {VerdictKind::Listed, std::string(kListedPrefix) + dotted, RowHighlight::Listed};
        }
        case ResolveStatus::NoAnswer:
            return {VerdictKind::NoAnswer, std::string(kLookupFailed), RowHighlight::Plain};
        case ResolveStatus::NotFound:
            break;
    }
    return {VerdictKind::NotListed, std::string(kNotFound), RowHighlight::Plain};
}

VerdictKind verdictKindOf(std::string_view resultText) {
    if (resultText.starts_with(kListedPrefix)) {
        return VerdictKind::Listed;
    }
    if (resultText.starts_with(kListErrorPrefix)) {
        return VerdictKind::ListError;
    }
    if (resultText == kLookupFailed) {
        return VerdictKind::NoAnswer;
    }
    return VerdictKind::NotListed;
}

}  // namespace ostrivane
