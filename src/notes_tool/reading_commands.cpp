// list, show, search and stats: what a diary holds, as the window shows it.
#include "notes_tool/reading_commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <map>
#include <regex>
#include <unordered_set>

#include "text/gb18030.h"
#include "diary/notes_file.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/text_codec.h"

namespace notes_tool {

namespace {

// A column's text as it is, or quoted as a JSON string when it holds a tab, a control character
// or starts with a quote, so that every output line has the same columns.
std::string Column(std::string_view utf8) {
    const bool plain = !utf8.empty() && utf8[0] != '"' && std::none_of(utf8.begin(), utf8.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return plain || utf8.empty() ? std::string(utf8) : JsonString(utf8);
}

} // namespace

void SetUpList(CLI::App& command, ListArguments& o, int defaultPivot) {
    AddFileOption(command, o.file, "FILE");
    AddPivotOption(command, o.pivot, defaultPivot);
    command.add_flag("--lunar", o.lunar,
                     "a fifth column: the lunar date, festivals, term and rest or make-up working day");
}

void RunList(Tool& tool, const ListArguments& o) {
    const NamedFile target = tool.NotesFile(o.file.Given(), o.file.name);
    const almanac::HolidaySchedule schedule = ScheduleFor(tool, target.path, nullptr);
    const almanac::HolidaySchedule* lunar = o.lunar ? &schedule : nullptr;
    const LoadedNotes notes = tool.Load(target);
    for (const StoredEntry& entry : notes.scan.entries) {
        std::string line = Heading(entry.key.value, o.pivot) + "\t" + Column(Utf8FromNotes(entry.key.value)) +
                           "\t" + std::to_string(entry.text.value.size()) + "\t" +
                           Column(Utf8FromNotes(FirstLine(entry.text.value)));
        // The lunar column comes last, so a script that reads the first four keeps working.
        if (lunar != nullptr) {
            const auto date = DateOfKey(entry.key.value, o.pivot);
            line += "\t" + (date ? LunarHeading(*date, lunar) : std::string());
        }
        tool.Out(line + "\n");
    }
}

void SetUpShow(CLI::App& command, ShowArguments& o, int defaultPivot) {
    command.add_option("DATE", o.day, "the day")->required();
    AddFileOption(command, o.file, "FILE");
    AddPivotOption(command, o.pivot, defaultPivot);
    command.add_flag("--lunar", o.lunar,
                     "DATE in digits is a lunar date (2026-08-15; a leap month 2026-L04-01), and the note is "
                     "headed by the day and its lunar date");
}

namespace {

void ShowNote(Tool& tool, const LoadedNotes& notes, const std::string& key, const std::string& day) {
    // The window shows the first entry of a key; later copies stay hidden.
    for (const StoredEntry& entry : notes.scan.entries) {
        if (entry.key.value == key) {
            tool.Out(Utf8FromNotes(entry.text.value));
            return;
        }
    }
    // A script must tell "no note" from an empty one.
    Fail(notes.file.name, "no note on " + day, kExitFailed);
}

} // namespace

void RunShow(Tool& tool, const ShowArguments& o) {
    const ToolHost& host = tool.Host();
    if (!o.lunar) {
        const std::string key = KeyOfDay(host, "DATE", o.day, o.pivot);
        ShowNote(tool, tool.Load(tool.NotesFile(o.file.Given(), o.file.name)), key, o.day);
        return;
    }
    std::optional<Date> date = ParseLunarDigits(o.day);
    if (!date) {
        date = ParseDay(o.day, host.today, o.pivot);
    }
    if (!date) {
        date = ParseLunarWords(o.day, host.today);
    }
    if (!date) {
        Fail("",
             "DATE \"" + o.day + "\" is no lunar date: YYYY-MM-DD, YYYY-LMM-DD or " +
                 Utf8FromNotes("农历八月十五"),
             kExitUsage);
    }
    const std::string key = KeyOfDate(*date);
    const NamedFile target = tool.NotesFile(o.file.Given(), o.file.name);
    const LoadedNotes notes = tool.Load(target);
    const almanac::HolidaySchedule schedule = ScheduleFor(tool, target.path, nullptr);
    tool.Out(IsoDate(*date) + " " + LunarHeading(*date, &schedule) + "\n");
    ShowNote(tool, notes, key, o.day);
}

void SetUpSearch(CLI::App& command, SearchArguments& o, int defaultPivot) {
    command.add_option("TEXT", o.needle, "the text to look for")->required();
    AddFileOption(command, o.file, "FILE");
    command.add_flag("--regex", o.regex, "TEXT is an ECMAScript regular expression");
    AddPivotOption(command, o.pivot, defaultPivot);
}

namespace {

// UTF-16 as the wide characters std::wregex matches: where wchar_t holds whole code points, a
// surrogate pair becomes one, so the expression's "." matches one character.
std::wstring WcharFromUtf16(std::u16string_view text) {
    std::wstring out;
    if constexpr (sizeof(wchar_t) == 2) {
        out.assign(text.begin(), text.end());
    } else {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t u = text[i];
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
                ++i;
            } else {
                out.push_back(static_cast<wchar_t>(u));
            }
        }
    }
    return out;
}

#ifdef __GLIBCXX__
// The usual matcher of this library recurses once per character and overflows the stack on a line
// of some ten thousand characters; its polynomial mode does not, and refuses back-references.
constexpr auto kRegexSyntax = std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
constexpr auto kRegexSyntax = std::regex::ECMAScript;
#endif

std::wregex ExpressionOf(const std::u16string& wanted) {
    try {
        return std::wregex(WcharFromUtf16(wanted), kRegexSyntax);
    } catch (const std::regex_error& e) {
        Fail("",
             "TEXT is no regular expression this search can run (back-references are not): " +
                 std::string(e.what()),
             kExitUsage);
    }
}

} // namespace

void RunSearch(Tool& tool, const SearchArguments& o) {
    const LoadedNotes notes = tool.Load(tool.NotesFile(o.file.Given(), o.file.name));
    const auto wanted = Utf16FromUtf8(o.needle);
    if (!wanted) {
        Fail("", "TEXT is not UTF-8", kExitUsage);
    }
    const std::wregex expression = o.regex ? ExpressionOf(*wanted) : std::wregex();
    for (const StoredEntry& entry : notes.scan.entries) {
        // Matched in characters, not bytes: an ASCII letter must not match the second byte of a
        // GBK character.
        const std::u16string text = Utf16FromGb18030(entry.text.value);
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find_first_of(u"\r\n", start);
            if (end == std::u16string::npos) {
                end = text.size();
            }
            const std::u16string_view line(text.data() + start, end - start);
            bool match = false;
            try {
                match = o.regex ? std::regex_search(WcharFromUtf16(line), expression)
                                : line.find(*wanted) != std::u16string_view::npos;
            } catch (const std::regex_error& e) {
                Fail("", "TEXT cannot be matched against the note of " + Heading(entry.key.value, o.pivot) +
                             ": " + e.what());
            }
            if (match) {
                tool.Out(Heading(entry.key.value, o.pivot) + "\t" + Column(Utf8FromNotes(entry.key.value)) +
                         "\t" + Column(Utf8FromUtf16(line)) + "\n");
            }
            if (end == text.size()) {
                break;
            }
            start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
        }
    }
}

void SetUpStats(CLI::App& command, StatsArguments& o, int defaultPivot) {
    AddFileOption(command, o.file, "FILE");
    AddPivotOption(command, o.pivot, defaultPivot);
}

namespace {

struct Tally {
    std::size_t notes = 0, words = 0, characters = 0;
};

// Words as a reader counts them: a run of letters or digits, and every CJK character on its own.
void CountText(std::u16string_view text, Tally& tally) {
    bool inWord = false;
    for (const char16_t u : text) {
        if (u == u'\r' || u == u'\n') {
            inWord = false;
            continue;
        }
        if (u < 0xDC00 || u > 0xDFFF) {
            ++tally.characters; // a pair of surrogates is one character
        }
        const bool cjk = (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
                         (u >= 0x3040 && u <= 0x30FF) || (u >= 0xAC00 && u <= 0xD7AF) ||
                         (u >= 0xD800 && u <= 0xDBFF);
        const bool blank = u == u' ' || u == u'\t' || u == 0x3000 || u == 0xA0;
        const bool mark = (u < 0x80 && !((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') ||
                                         (u >= u'A' && u <= u'Z'))) ||
                          (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFF0F);
        if (cjk) {
            ++tally.words;
            inWord = false;
        } else if (blank || mark) {
            inWord = false;
        } else if (!inWord) {
            ++tally.words;
            inWord = true;
        }
    }
}

// The notes the window shows: the first entry of each key that names a day and holds text.
std::map<Date, const StoredEntry*> ShownNotes(const LoadedNotes& notes, int pivot, std::size_t& undated) {
    std::map<Date, const StoredEntry*> shown;
    std::unordered_set<std::string> seen;
    for (const StoredEntry& entry : notes.scan.entries) {
        if (!seen.insert(entry.key.value).second || IsBlankNote(entry.text.value)) {
            continue;
        }
        if (const auto date = DateOfKey(entry.key.value, pivot)) {
            shown.emplace(*date, &entry);
        } else {
            ++undated;
        }
    }
    return shown;
}

std::string TallyRow(const std::string& period, const Tally& t) {
    return period + "\t" + std::to_string(t.notes) + "\t" + std::to_string(t.words) + "\t" +
           std::to_string(t.characters) + "\n";
}

} // namespace

void RunStats(Tool& tool, const StatsArguments& o) {
    const LoadedNotes notes = tool.Load(tool.NotesFile(o.file.Given(), o.file.name));
    std::size_t undated = 0;
    const std::map<Date, const StoredEntry*> shown = ShownNotes(notes, o.pivot, undated);
    std::map<std::pair<int, int>, Tally> months;
    std::map<int, Tally> years;
    Tally all;
    std::int64_t runStart = 0, previous = 0, bestStart = 0, bestLength = 0, length = 0;
    for (const auto& [date, entry] : shown) {
        Tally one;
        one.notes = 1;
        CountText(Utf16FromGb18030(entry->text.value), one);
        for (Tally* t : {&months[{date.year, date.month}], &years[date.year], &all}) {
            t->notes += one.notes;
            t->words += one.words;
            t->characters += one.characters;
        }
        const std::int64_t day = DayNumber(date);
        if (length > 0 && day == previous + 1) {
            ++length;
        } else {
            length = 1;
            runStart = day;
        }
        previous = day;
        if (length > bestLength) {
            bestLength = length;
            bestStart = runStart;
        }
    }
    std::string out = "period\tnotes\twords\tcharacters\n";
    for (const auto& [year, tally] : years) {
        out += TallyRow(IsoDate({year, 1, 1}).substr(0, 4), tally);
        for (auto it = months.lower_bound({year, 1}); it != months.end() && it->first.first == year; ++it) {
            out += TallyRow(IsoDate({year, it->first.second, 1}).substr(0, 7), it->second);
        }
    }
    out += TallyRow("all", all);
    out += bestLength == 0 ? std::string("longest streak: 0 days\n")
                           : "longest streak: " + Count(static_cast<std::size_t>(bestLength), "day", "days") +
                                 ", " + IsoDate(DateOfDayNumber(bestStart)) + " to " +
                                 IsoDate(DateOfDayNumber(bestStart + bestLength - 1)) + "\n";
    if (undated > 0) {
        out += "not counted: " + Count(undated, "note", "notes") + " of no calendar day\n";
    }
    tool.Out(out);
}

} // namespace notes_tool
