// ParseXml over expat, with namespaces resolved by the parser.
#include "sync/xml_events.h"

#include <expat.h>

namespace {

constexpr XML_Char kNsSeparator = '\x01';

struct Context {
    XML_Parser parser = nullptr;
    XmlEvents* events = nullptr;
    std::size_t depth = 0;
    std::string error;

    void Stop(std::string why) {
        if (error.empty()) {
            error = std::move(why);
        }
        XML_StopParser(parser, XML_FALSE);
    }
};

void Split(std::string_view full, std::string_view& ns, std::string_view& local) {
    const std::size_t at = full.find(kNsSeparator);
    ns = at == std::string_view::npos ? std::string_view() : full.substr(0, at);
    local = at == std::string_view::npos ? full : full.substr(at + 1);
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* c = static_cast<Context*>(data);
    if (++c->depth > kMaxXmlDepth) {
        c->Stop("elements nested too deep");
        return;
    }
    std::string_view ns, local;
    Split(name, ns, local);
    c->events->StartElement(ns, local);
    for (const XML_Char** a = attributes; a && a[0] && a[1]; a += 2) {
        Split(a[0], ns, local);
        c->events->Attribute(ns, local, a[1]);
    }
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
    auto* c = static_cast<Context*>(data);
    --c->depth;
    c->events->EndElement();
}

void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    static_cast<Context*>(data)->events->Text(std::string_view(text, static_cast<std::size_t>(length)));
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<Context*>(data)->Stop("a document type declaration");
}

void XMLCALL OnEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<Context*>(data)->Stop("an entity declaration");
}

} // namespace

std::string ParseXml(std::string_view bytes, XmlEvents& events, std::size_t pieceBytes) {
    Context c;
    c.events = &events;
    c.parser = XML_ParserCreateNS("UTF-8", kNsSeparator);
    if (!c.parser) {
        return "out of memory";
    }
    XML_SetUserData(c.parser, &c);
    XML_SetElementHandler(c.parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(c.parser, OnText);
    XML_SetStartDoctypeDeclHandler(c.parser, OnDoctype);
    XML_SetEntityDeclHandler(c.parser, OnEntity);
    XML_SetParamEntityParsing(c.parser, XML_PARAM_ENTITY_PARSING_NEVER);
    // Fed in slices so a length beyond int never reaches expat.
    const std::size_t kSlice = pieceBytes != 0 && pieceBytes < (1u << 20) ? pieceBytes : 1u << 20;
    bool ok = true;
    do {
        const std::size_t n = bytes.size() < kSlice ? bytes.size() : kSlice;
        const bool last = n == bytes.size();
        ok = XML_Parse(c.parser, bytes.data(), static_cast<int>(n), last ? XML_TRUE : XML_FALSE) ==
             XML_STATUS_OK;
        bytes.remove_prefix(n);
    } while (ok && !bytes.empty());
    std::string error = c.error;
    if (!ok && error.empty()) {
        error = std::string("line ") + std::to_string(XML_GetCurrentLineNumber(c.parser)) + ": " +
                XML_ErrorString(XML_GetErrorCode(c.parser));
    }
    XML_ParserFree(c.parser);
    return error;
}
