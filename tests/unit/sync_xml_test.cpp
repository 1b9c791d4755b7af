// Both XML adapters (expat natively, XmlLite under Wine) hand the multistatus reader the same events.
#include <gtest/gtest.h>

#include <algorithm>

#include "sync/xml_events.h"

namespace {

// Events written as one line each: "<ns|local", "@ns|local=value", ">", "'text" (adjacent text
// pieces joined, since each parser cuts them where it likes).
class Recorder final : public XmlEvents {
  public:
    std::string log;
    void StartElement(std::string_view ns, std::string_view local) override {
        Line(std::string("<").append(ns) + "|" + std::string(local));
    }
    void Attribute(std::string_view ns, std::string_view local, std::string_view value) override {
        Line(std::string("@").append(ns) + "|" + std::string(local) + "=" + std::string(value));
    }
    void EndElement() override { Line(">"); }
    void Text(std::string_view utf8) override {
        if (m_inText) {
            log.pop_back();
            log += std::string(utf8) + "\n";
        } else {
            Line(std::string("'").append(utf8));
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

// The text of a long reply arrives as the server sent it wherever reads cut the reply: every size
// of character (1 to 4 bytes, the last a surrogate pair in UTF-16) at every offset from the start
// of a read, in pieces of every small size and in the parser's own.
TEST(SyncXml, TextWholeAtEveryBoundary) {
#ifdef _WIN32
    // The system's reader asks for reads of its own sizes: the pieces are at most that long.
    const std::size_t kPieces[] = {0, 4097, 8191};
#else
    const std::size_t kPieces[] = {0, 1, 2, 3, 5, 7, 4097};
#endif
    // a, é, 今, U+1F600, and a line break as iCalendar text has every few dozen bytes.
    const std::string unit = "a\xC3\xA9\xE4\xBB\x8A\xF0\x9F\x98\x80\xE4\xBB\x8A\xE5\xA4\xA9\xE4\xBB\x8A"
                             "\xE5\xA4\xA9\xE4\xBB\x8A\xE5\xA4\xA9\n";
    std::string text;
    while (text.size() < 30000) {
        text += unit;
    }
    for (std::size_t pad = 0; pad < unit.size(); ++pad) {
        const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<m p=\"" +
                                std::string(pad, 'x') + "\">" + text + "</m>";
        for (const std::size_t piece : kPieces) {
            Recorder recorder;
            ASSERT_EQ(ParseXml(xml, recorder, piece), "") << pad << " " << piece;
            const std::string expected = "<|m\n@|p=" + std::string(pad, 'x') + "\n'" + text + "\n>\n";
            const std::size_t common = std::min(recorder.log.size(), expected.size());
            const std::size_t at = static_cast<std::size_t>(
                std::mismatch(recorder.log.begin(),
                              recorder.log.begin() + static_cast<std::ptrdiff_t>(common), expected.begin())
                    .first -
                recorder.log.begin());
            EXPECT_EQ(recorder.log, expected)
                << "pad " << pad << ", pieces of " << piece << ": first wrong byte at " << at << " of "
                << expected.size() << ": "
                << testing::PrintToString(recorder.log.substr(at > 12 ? at - 12 : 0, 30));
        }
    }
}

// A run with no ASCII byte longer than any read is read whole, or (Wine's reader) refused: never
// handed on damaged.
TEST(SyncXml, LongRunWithoutAsciiWholeOrRefused) {
    std::string run;
    for (int i = 0; i < 6000; ++i) {
        run += "\xE4\xBB\x8A";
    }
    Recorder recorder;
    if (ParseXml("<m>" + run + "</m>", recorder).empty()) {
        EXPECT_EQ(recorder.log, "<|m\n'" + run + "\n>\n");
    }
}

} // namespace
