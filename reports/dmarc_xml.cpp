#include "reports/dmarc_xml.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "reports/report_builder.h"
#include "reports/size_text.h"

namespace ostrivane {
namespace {

// What the SAX callbacks share: the builder, the depth, and the first reason
// to give up.
struct SaxState {
    xmlParserCtxtPtr context = nullptr;
    int maxDepth = 0;
    int depth = 0;
    ReportBuilder builder;
    std::optional<std::string> stop;
    std::string firstError;
    // libxml2 hands each element name as the same interned pointer, so its tag
    // is looked up once per name, not once per element.
    std::unordered_map<const xmlChar*, ReportTag> tags;
};

SaxState& stateOf(void* user) {
    return *static_cast<SaxState*>(user);
}

void stopWith(SaxState& state, std::string reason) {
    if (!state.stop) {
        state.stop = std::move(reason);
    }
    xmlStopParser(state.context);
}

std::string_view textOf(const xmlChar* text, int length) {
    return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)};
}

void onStart(void* user, const xmlChar* localName, const xmlChar*, const xmlChar*, int,
             const xmlChar**, int, int, const xmlChar**) {
    auto& state = stateOf(user);
    if (state.stop) {
        return;
    }
    if (++state.depth > state.maxDepth) {
        stopWith(state, "nests elements deeper than " + std::to_string(state.maxDepth) +
                            " levels, which no report does");
        return;
    }
    const std::string_view name = reinterpret_cast<const char*>(localName);
    auto [slot, added] = state.tags.try_emplace(localName, ReportTag::Other);
    if (added) {
        slot->second = reportTag(name);
    }
    if (auto reason = state.builder.open(slot->second, name)) {
        stopWith(state, std::move(*reason));
    }
}

void onEnd(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto& state = stateOf(user);
    --state.depth;
    state.builder.close();
}

void onText(void* user, const xmlChar* text, int length) {
    stateOf(user).builder.text(textOf(text, length));
}

// A report never declares a document type; refusing one keeps its entities
// (a billion laughs) and external subsets out before anything is expanded.
void onDocumentType(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
    stopWith(stateOf(user), "an XML document with a document type declaration, not a report");
}

void onError(void* user, xmlErrorPtr error) {
    auto& state = stateOf(user);
    if (error && error->level >= XML_ERR_ERROR && state.firstError.empty() && error->message) {
        std::string message = error->message;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
            message.pop_back();
        }
        state.firstError = message + " (line " + std::to_string(error->line) + ")";
    }
}

xmlSAXHandler reportHandler() {
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = onStart;
    handler.endElementNs = onEnd;
    handler.characters = onText;
    handler.cdataBlock = onText;
    handler.internalSubset = onDocumentType;
    handler.externalSubset = onDocumentType;
    handler.serror = onError;
    return handler;
}

std::string reasonOf(const SaxState& state) {
    if (state.stop) {
        return *state.stop;
    }
    return state.firstError.empty() ? "not well-formed XML"
                                    : "not well-formed XML: " + state.firstError;
}

}  // namespace

std::variant<DmarcXmlRead, std::string> readDmarcXml(XmlInput& input, const ReadLimits& limits) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    SaxState state;
    state.maxDepth = limits.maxXmlDepth;
    xmlSAXHandler handler = reportHandler();
    const std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> context(
        xmlCreatePushParserCtxt(&handler, &state, nullptr, 0, nullptr), xmlFreeParserCtxt);
    if (!context) {
        return std::string("out of memory for the XML parser");
    }
    state.context = context.get();
    // No XML_PARSE_NOENT, XML_PARSE_DTDLOAD or XML_PARSE_HUGE: no entity is
    // substituted, nothing is fetched, and libxml2's own limits stay on.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_NOCDATA);

    std::vector<char> buffer(std::size_t{16} << 10);
    std::size_t total = 0;
    for (;;) {
        const auto count = input.read(buffer.data(), buffer.size());
        if (!count) {
            return input.failure();
        }
        if (*count == 0) {
            break;
        }
        total += *count;
        if (total > limits.maxXmlBytes) {
            return "larger than " + sizeText(limits.maxXmlBytes) +
                   " unpacked, the most a report may be";
        }
        if (xmlParseChunk(context.get(), buffer.data(), static_cast<int>(*count), 0) != 0 ||
            state.stop) {
            return reasonOf(state);
        }
    }
    if (total == 0) {
        return std::string("empty");
    }
    if (xmlParseChunk(context.get(), nullptr, 0, 1) != 0 || state.stop) {
        return reasonOf(state);
    }
    return state.builder.finish();
}

}  // namespace ostrivane
