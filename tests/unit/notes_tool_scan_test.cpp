// quillidar-notes' reading of damaged files: check reads as the widget does and says where and why
// it stops, and salvage always writes a file the widget loads whole.
#include <gtest/gtest.h>

#include "diary/notes_file.h"
#include "test_bytes.h"
#include "notes_tool/notes_scan.h"
#include "notes_tool_helpers.h"

namespace {

using namespace notes_tool;
using namespace std::string_literals;

std::vector<std::string> Samples() {
    return {ReadSample("tool/small.nts"),
            ReadSample("nts_one_note.bin"),
            ReadSample("nts_empty.bin"),
            ReadSample("nts_wide_text.bin"),
            ReadSample("e2e_wide_tagged.bin"),
            ReadSample("e2e_count3_two_entries.bin"),
            ReadSample("e2e_huge_length32.bin"),
            ReadSample("e2e_length64_too_big.bin"),
            ReadSample("e2e_zero_byte_and_tail.bin"),
            ReadSample("qlw_defaults_400_300.bin")};
}

std::vector<NoteEntry> Values(const NotesScan& scan) {
    std::vector<NoteEntry> values;
    for (const StoredEntry& entry : scan.entries) {
        values.push_back({entry.key.value, entry.text.value});
    }
    return values;
}

// The tool must see what the widget sees: the same entries, the same verdict, the same unread
// bytes, for every sample and every cut of it.
TEST(NotesScan, ReadsEveryCutOfEverySampleAsTheWidgetDoes) {
    for (const std::string& sample : Samples()) {
        for (std::size_t cut = 0; cut <= sample.size(); ++cut) {
            const std::string bytes = sample.substr(0, cut);
            NoteMap notes;
            std::size_t unread = 0;
            const bool loads = DecodeNotes(bytes, notes, {}, &unread);
            const NotesScan scan = ScanNotes(bytes);
            ASSERT_EQ(!scan.damaged, loads) << Hex(bytes);
            EXPECT_EQ(Values(scan), notes.Entries()) << Hex(bytes);
            if (loads) {
                EXPECT_EQ(scan.unread, unread) << Hex(bytes);
                EXPECT_EQ(scan.end + scan.unread, bytes.size());
            } else {
                EXPECT_FALSE(scan.damage.empty());
                EXPECT_LE(scan.damageOffset, bytes.size());
            }
        }
    }
}

TEST(NotesScan, SaysWhereAndWhyReadingStops) {
    const struct {
        std::string bytes;
        std::size_t offset;
        const char* why;
    } cases[] = {
        {"\x01\x00"s, 0, "the file is 2 bytes long, too short for the 4-byte count of entries"},
        {ReadSample("e2e_count3_two_entries.bin"), 32, "the count says 3 entries but the file ends after 2"},
        {ReadSample("e2e_huge_length32.bin"), 11,
         "the text of entry 1 needs 4294967280 bytes but only 5 are left"},
        {ReadSample("e2e_length64_too_big.bin"), 11,
         "the text of entry 1 claims a length of 2147483648, more than the file format allows (2147483647)"},
        {Int32(2) + "\x06"
                    "010126"
                    "\x01"
                    "a"
                    "\xFF\x2C",
         13, "the length of the key of entry 2 is cut off by the end of the file"},
        {Int32(1) + "\x06"
                    "0101",
         4, "the key of entry 1 needs 6 bytes but only 4 are left"},
        {Int32(1) +
             "\x06"
             "010126" +
             WideString(u"abc").substr(0, 9),
         11, "the text of entry 1 needs 3 UTF-16 characters (6 bytes) but only 5 bytes are left"},
    };
    for (const auto& c : cases) {
        const NotesScan scan = ScanNotes(c.bytes);
        EXPECT_TRUE(scan.damaged) << Hex(c.bytes);
        EXPECT_EQ(scan.damageOffset, c.offset) << Hex(c.bytes);
        EXPECT_EQ(scan.damage, c.why);
    }
}

void ExpectLoadsWhole(const std::string& file, const std::string& what) {
    NoteMap notes;
    std::size_t unread = 99;
    EXPECT_TRUE(DecodeNotes(file, notes, {}, &unread)) << what;
    EXPECT_EQ(unread, 0u) << what;
}

// Whatever the cut, salvage keeps every entry read before it, writes a file the widget loads
// whole, and never invents an entry the cut did not leave whole.
TEST(Salvage, EveryCutOfEverySampleGivesALoadableFileWithEverythingBeforeTheCut) {
    for (const std::string& sample : Samples()) {
        for (std::size_t cut = 0; cut <= sample.size(); ++cut) {
            const std::string bytes = sample.substr(0, cut);
            const Salvaged salvaged = Salvage(bytes);
            ExpectLoadsWhole(salvaged.bytes, Hex(bytes));
            const NotesScan again = ScanNotes(salvaged.bytes);
            ASSERT_GE(again.entries.size(), salvaged.scan.entries.size());
            EXPECT_EQ(again.entries.size(), salvaged.scan.entries.size() + salvaged.found);
            const std::vector<NoteEntry> kept = Values(again);
            EXPECT_EQ(std::vector<NoteEntry>(kept.begin(), kept.begin() + salvaged.scan.entries.size()),
                      Values(salvaged.scan))
                << Hex(bytes);
        }
    }
    // A whole file comes back byte for byte, the stored forms of its strings included.
    for (const char* name : {"tool/small.nts", "e2e_wide_tagged.bin", "nts_wide_text.bin", "nts_empty.bin"}) {
        const std::string file = ReadSample(name);
        EXPECT_EQ(Hex(Salvage(file).bytes), Hex(file)) << name;
    }
}

TEST(Salvage, FindsTheEntriesAfterTheDamage) {
    const std::string a = WrittenEntry("010126", "first");
    const std::string b = WrittenEntry("020126", "second");
    const std::string c = WrittenEntry("030126", "third");
    const std::string wideC = WideString(u"030126") + WideString(u"third");
    const struct {
        const char* what;
        std::string bytes;
        std::string expected; // the salvaged file
        std::size_t found;
    } cases[] = {
        {"a text length raised past the end",
         Int32(3) + a +
             "\x06"
             "020126"
             "\x60"
             "second" +
             c,
         Int32(2) + a + c, 1},
        {"a stretch of FF bytes over the middle entry", Int32(3) + a + std::string(b.size(), '\xFF') + c,
         Int32(2) + a + c, 1},
        // Zeros read as entries with an empty key and text, as the widget reads them; the count is
        // spent on them and the last entry is found after it.
        {"a stretch of zeros over the middle entry", Int32(3) + a + std::string(b.size(), '\0') + c,
         Int32(4) + a + std::string(4, '\0') + c, 1},
        {"a count smaller than the entries", Int32(1) + a + b + c, Int32(3) + a + b + c, 2},
        {"a negative count", Int32(-1) + a + b, Int32(2) + a + b, 2},
        {"the widget's count of a wide file lost", "\xFF\xFF\xFF\xFF"s + wideC, Int32(1) + wideC, 1},
        {"garbage before the next key",
         Int32(2) + a +
             "\x06"
             "02x"
             "\x06"
             "12345" +
             c,
         Int32(2) + a + c, 1},
        {"a key of digits but with a text cut short",
         Int32(2) + a +
             "\x06"
             "020126"
             "\x09"
             "abc",
         Int32(1) + a, 0},
        {"too short for a count", "\x01\x00"s, Int32(0), 0},
    };
    for (const auto& c : cases) {
        const Salvaged salvaged = Salvage(c.bytes);
        EXPECT_EQ(Hex(salvaged.bytes), Hex(c.expected)) << c.what;
        EXPECT_EQ(salvaged.found, c.found) << c.what;
        ExpectLoadsWhole(salvaged.bytes, c.what);
    }
}

} // namespace
