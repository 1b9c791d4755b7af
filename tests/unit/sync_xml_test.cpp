// Both XML adapters (expat natively, XmlLite under Wine) hand the multistatus reader the same events.
#include <gtest/gtest.h>

#include "sync/xml_events.h"

namespace {

// Events written as one line each: "<ns|local", "@ns|local=value", ">", "'text" (adjacent text
// pieces joined, since each parser cuts them where it likes).
class Recorder final : public XmlEvents {
  public:
    std::string log;
    void StartElement(std::string_view ns, std::string_view local) override {
        Line("<" + std::string(ns) + "|" + std::string(local));
    }
    void Attribute(std::string_view ns, std::string_view local, std::string_view value) override {
        Line("@" + std::string(ns) + "|" + std::string(local) + "=" + std::string(value));
    }
    void EndElement() override { Line(">"); }
    void Text(std::string_view utf8) override {
        if (m_inText) {
            log.pop_back();
            log += std::string(utf8) + "\n";
        } else {
            Line("'" + std::string(utf8));
        }
        m_inText = true;
    }

  private:
    void Line(const std::string& line) {
        log += line + "\n";
        m_inText = false;
    }
    bool m_inText = false;
};

std::string Nest(std::size_t depth) {
    std::string open, close;
    for (std::size_t i = 0; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    return open + close;
}

std::string Expected(std::size_t depth) {
    std::string log;
    for (std::size_t i = 0; i < depth; ++i) {
        log += "<|a\n";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        log += ">\n";
    }
    return log;
}

TEST(SyncXml, EventsOfBothParsers) {
    // UTF-8 of "日记" and of U+1F600, which UTF-16 carries as a surrogate pair.
    const std::string diary = "\xE6\x97\xA5\xE8\xAE\xB0";
    const std::string smile = "\xF0\x9F\x98\x80";
    struct Case {
        std::string xml;
        std::string events; // empty: refused
    } cases[] = {
        {"<d:m xmlns:d=\"DAV:\"><d:e/></d:m>", "<DAV:|m\n<DAV:|e\n>\n>\n"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<m xmlns=\"DAV:\"><x:e xmlns:x=\"urn:x\">t</x:e></m>",
         "<DAV:|m\n<urn:x|e\n't\n>\n>\n"},
        {"<m a=\"1\" xmlns:p=\"urn:p\" p:b=\"&lt;2&gt;\"/>", "<|m\n@|a=1\n@urn:p|b=<2>\n>\n"},
        {"<m>a&amp;b&#58;&#x41;<![CDATA[<c>]]></m>", "<|m\n'a&b:A<c>\n>\n"},
        {"<m> <e> x </e> </m>", "<|m\n' \n<|e\n' x \n>\n' \n>\n"},
        {"<m>" + diary + smile + "</m>", "<|m\n'" + diary + smile + "\n>\n"},
        {"<m>" + std::string(100000, 'x') + smile + "</m>",
         "<|m\n'" + std::string(100000, 'x') + smile + "\n>\n"},
        {"<!-- c --><m><?pi x?></m>", "<|m\n>\n"},
        {Nest(kMaxXmlDepth), Expected(kMaxXmlDepth)},
        {Nest(kMaxXmlDepth + 1), ""},
        {"<!DOCTYPE m><m/>", ""},
        {"<!DOCTYPE m [<!ENTITY e \"x\">]><m>&e;</m>", ""},
        {"<p:m/>", ""}, // an undeclared prefix
        {"<m></n>", ""},
        {"<m>", ""},
        {"<m/><m/>", ""},
        {"", ""},
        {"text", ""},
        {"<m>\xC3</m>", ""},                                                // not UTF-8
        {"<m>\xED\xA0\x80</m>", ""},                                        // an encoded surrogate
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><m>\xE9</m>", ""}, // read as UTF-8 all the same
        {"<m p:a=\"1\"/>", ""},
    };
    // An entity no one declared is refused, or (Wine's XmlLite) kept as the characters it was:
    // never expanded into anything.
    {
        Recorder recorder;
        if (ParseXml("<m>&e;</m>", recorder).empty()) {
            EXPECT_EQ(recorder.log, "<|m\n'&e;\n>\n");
        }
    }
    for (const Case& c : cases) {
        Recorder recorder;
        const std::string error = ParseXml(c.xml, recorder);
        if (c.events.empty()) {
            EXPECT_NE(error, "") << c.xml.substr(0, 80) << " gave:\n" << recorder.log;
        } else {
            EXPECT_EQ(error, "") << c.xml.substr(0, 80);
            EXPECT_EQ(recorder.log, c.events) << c.xml.substr(0, 80);
        }
    }
}

} // namespace
