// The few events the WebDAV replies are read from, so the reader does not care which XML parser
// produced them: expat in the native build, the system's XmlLite on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class XmlEvents {
  public:
    virtual ~XmlEvents() = default;
    // ns: the namespace URI ("DAV:", "urn:ietf:params:xml:ns:caldav", or empty); local: the name.
    virtual void StartElement(std::string_view ns, std::string_view local) = 0;
    // Each attribute of the element just started, before anything inside it.
    virtual void Attribute(std::string_view ns, std::string_view local, std::string_view value) = 0;
    virtual void EndElement() = 0;
    // Character data of the element open now, in pieces as the parser hands it on.
    virtual void Text(std::string_view utf8) = 0;
};

// Limits every parser adapter enforces, whatever the parser itself allows.
inline constexpr std::size_t kMaxXmlDepth = 64;

// Parses a whole document into events. Empty on success; else why not (events may have been sent
// before the fault, and the caller drops what they built). A document type declaration is refused:
// WebDAV needs none, and entities are how a small reply grows into a large one.
// pieceBytes: when set, the parser is handed the document at most this many bytes at a time, which
// tests that no cut between reads changes a character; 0: in the pieces the adapter likes.
std::string ParseXml(std::string_view bytes, XmlEvents& events, std::size_t pieceBytes = 0);
