// The commands of quillidar-notes: argument parsing, reading and writing files, the reports.
#include "notes_tool/tool_commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <new>
#include <regex>
#include <set>
#include <sstream>
#include <unordered_set>

#include "version.h"
#include "text/gb18030.h"
#include "diary/note_map.h"
#include "diary/notes_file.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/notes_scan.h"
#include "notes_tool/text_codec.h"
#include "safety/diary_keeper.h"
#include "safety/manifest.h"
#include "sync/sync_session.h"

namespace notes_tool {

namespace {

// Ends the command: nothing more is written, and the message is its one line on standard error.
struct ToolError {
    int status;
    std::string message;
};

[[noreturn]] void Fail(const std::string& file, const std::string& message, int status = kExitFailed) {
    throw ToolError{status, file.empty() ? message : file + ": " + message};
}

std::string Reading(FileError error) {
    switch (error) {
    case FileError::kNotFound:
        return "no such file";
    case FileError::kSharing:
        return "another program holds it";
    case FileError::kAccessDenied:
        return "access denied";
    default:
        return "cannot be read";
    }
}

std::string Writing(FileError error) {
    switch (error) {
    case FileError::kNotFound:
        return "cannot be written: its folder does not exist";
    case FileError::kSharing:
        return "cannot be written: another program holds it";
    case FileError::kAccessDenied:
        return "cannot be written: access denied";
    case FileError::kDiskFull:
        return "cannot be written: the disk is full";
    default:
        return "cannot be written";
    }
}

// A file named on the command line (or the widget's own), with how messages name it.
struct NamedFile {
    std::string name;
    FsPath path;
};

struct LoadedNotes {
    NamedFile file;
    std::string bytes;
    NotesScan scan;
};

class Tool {
  public:
    Tool(ToolHost& host, ToolRun& run) : m_host(host), m_run(run) {}

    NamedFile Named(const std::string& name) const { return {name, m_host.pathOf(name)}; }
    const ToolHost& Host() const { return m_host; }

    // FILE when given, else the widget's own notes file.
    NamedFile NotesFile(bool given, const std::string& name) const {
        if (given) {
            return Named(name);
        }
        if (m_host.defaultNotes.empty()) {
            Fail("", "FILE is needed: there is no widget notes file to take here", kExitUsage);
        }
        return {m_host.defaultNotesName, m_host.defaultNotes};
    }

    void Warn(const std::string& file, const std::string& message) {
        m_run.err += std::string(kToolName) + ": " + file + ": " + message + "\n";
    }

    std::string Read(const NamedFile& file) {
        std::string bytes;
        const FileError error = LoadFile(*m_host.fs, file.path, bytes);
        if (error != FileError::kNone) {
            Fail(file.name, Reading(error));
        }
        return bytes;
    }

    // A diary as the widget loads it; a damaged one ends the command.
    LoadedNotes Load(const NamedFile& file) {
        LoadedNotes loaded{file, Read(file), {}};
        loaded.scan = ScanNotes(loaded.bytes);
        if (loaded.scan.damaged) {
            Fail(file.name, "damaged at byte " + std::to_string(loaded.scan.damageOffset) + ": " +
                                loaded.scan.damage + " (check tells more, salvage recovers what is left)");
        }
        if (loaded.scan.unread > 0) {
            Warn(file.name,
                 std::to_string(loaded.scan.unread) +
                     " bytes after the last entry are not read; salvage recovers any entries among them");
        }
        return loaded;
    }

    // A diary as the widget loads it, as the offsets of its entries: for a command that reads
    // each note once, so no second copy of the diary is made.
    std::vector<std::size_t> LoadOffsets(const NamedFile& file, std::string& bytes) {
        bytes = Read(file);
        std::vector<std::size_t> offsets;
        const NotesScan scan =
            ScanNotes(bytes, [&](const StoredEntry& entry) { offsets.push_back(entry.Offset()); });
        if (scan.damaged) {
            Fail(file.name, "damaged at byte " + std::to_string(scan.damageOffset) + ": " + scan.damage +
                                " (check tells more, salvage recovers what is left)");
        }
        if (scan.unread > 0) {
            Warn(file.name,
                 std::to_string(scan.unread) +
                     " bytes after the last entry are not read; salvage recovers any entries among them");
        }
        return offsets;
    }

    void RefuseSame(const NamedFile& out, const NamedFile& in) const {
        if (m_host.sameFile(out.path, in.path)) {
            Fail(out.name, "is the input file " + in.name + ", which is never written over", kExitUsage);
        }
    }

    void RefuseRunningWidget(const NamedFile& file) const {
        if (m_host.widgetRunningOn && m_host.widgetRunningOn(file.path)) {
            Fail(file.name,
                 "Quillidar is running on this diary and would save over it when closed; close it first");
        }
    }

    void WriteFile(const NamedFile& file, std::string_view bytes) {
        const SaveResult saved = SaveFileAtomically(*m_host.fs, file.path, bytes);
        if (saved.outcome == SaveOutcome::kKeptBeside) {
            Fail(file.name, Writing(saved.error) + " over the old file; the new one is beside it");
        }
        if (saved.outcome != SaveOutcome::kSaved) {
            Fail(file.name, Writing(saved.error));
        }
    }

    void Out(std::string_view text) { m_run.out += text; }

    // Standard output as a stream when the host has one, else collected like Out.
    Sink StandardOutput() {
        if (m_host.writeOut) {
            return m_host.writeOut;
        }
        return [this](std::string_view piece) { m_run.out += piece; };
    }

    // Writes what `produce` hands to its sink into a new file beside the target, then moves it over
    // the target, as SaveFileAtomically does with bytes held whole; a device or pipe is written as
    // it is. On failure nothing is left behind.
    void StreamFile(const NamedFile& file, const std::function<void(const Sink&)>& produce) {
        if (m_host.openDevice) {
            if (std::unique_ptr<OutputFile> device = m_host.openDevice(file.path)) {
                FileError error = FileError::kNone;
                produce([&](std::string_view piece) {
                    if (error == FileError::kNone) {
                        error = device->Write(piece);
                    }
                });
                if (error == FileError::kNone) {
                    error = device->Close();
                }
                if (error != FileError::kNone) {
                    Fail(file.name, Writing(error));
                }
                return;
            }
        }
        FileSystem& fs = *m_host.fs;
        std::unique_ptr<OutputFile> out;
        FsPath temporary;
        FileError error = FileError::kExists;
        for (int n = 1; n < 1000 && error == FileError::kExists; ++n) {
            const std::string suffix = ".new-" + std::to_string(n);
            temporary = file.path + FsPath(suffix.begin(), suffix.end());
            error = fs.CreateNew(temporary, out);
        }
        if (error != FileError::kNone) {
            Fail(file.name, Writing(error));
        }
        produce([&](std::string_view piece) {
            if (error == FileError::kNone) {
                error = out->Write(piece);
            }
        });
        if (error == FileError::kNone) {
            error = out->Flush();
        }
        const FileError closed = out->Close();
        out.reset();
        if (error == FileError::kNone) {
            error = closed;
        }
        if (error == FileError::kNone) {
            error = MoveOver(fs, temporary, file.path);
        }
        if (error != FileError::kNone) {
            RemoveFile(fs, temporary);
            Fail(file.name, Writing(error));
        }
    }

    // The bytes of IN, or of standard input for "-".
    std::string ReadInput(const NamedFile& file) {
        if (file.name == "-") {
            if (!m_host.standardInput) {
                Fail("-", "there is no standard input to read", kExitUsage);
            }
            return std::string(std::istreambuf_iterator<char>(*m_host.standardInput), {});
        }
        return Read(file);
    }

    ToolHost& Host() { return m_host; }

  private:
    ToolHost& m_host;
    ToolRun& m_run;
};

std::string Heading(const std::string& key, int pivot) {
    const auto date = DateOfKey(key, pivot);
    return date ? IsoDate(*date) : Utf8FromNotes(key);
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// ---- list, show, search

// A column's text as it is, or quoted as a JSON string when it holds a tab, a control character
// or starts with a quote, so that every output line has the same columns.
std::string Column(std::string_view utf8) {
    const bool plain = !utf8.empty() && utf8[0] != '"' && std::none_of(utf8.begin(), utf8.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return plain || utf8.empty() ? std::string(utf8) : JsonString(utf8);
}

void List(Tool& tool, const LoadedNotes& notes, int pivot, const almanac::HolidaySchedule* lunar) {
    for (const StoredEntry& entry : notes.scan.entries) {
        std::string line = Heading(entry.key.value, pivot) + "\t" + Column(Utf8FromNotes(entry.key.value)) +
                           "\t" + std::to_string(entry.text.value.size()) + "\t" +
                           Column(Utf8FromNotes(FirstLine(entry.text.value)));
        // The lunar column comes last, so a script that reads the first four keeps working.
        if (lunar != nullptr) {
            const auto date = DateOfKey(entry.key.value, pivot);
            line += "\t" + (date ? LunarHeading(*date, lunar) : std::string());
        }
        tool.Out(line + "\n");
    }
}

// A DATE argument as a key: a day as people say it, or a six-digit key as it stands.
std::string KeyOfDay(const ToolHost& host, const std::string& name, const std::string& text, int pivot) {
    if (text.size() == 6 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return text;
    }
    if (const auto date = ParseDay(text, host.today, pivot)) {
        return KeyOfDate(*date);
    }
    if (const auto date = ParseLunarWords(text, host.today)) {
        return KeyOfDate(*date);
    }
    Fail("",
         name + " \"" + text +
             "\" is no day: YYYY-MM-DD, MM-DD, today, yesterday, tomorrow, -N, a six-digit key or a lunar "
             "date (" +
             Utf8FromNotes("农历八月十五, 农历2026年闰四月初一") + ")",
         kExitUsage);
}

void Show(Tool& tool, const LoadedNotes& notes, const std::string& key, const std::string& day) {
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

std::wstring Wide(std::u16string_view text) {
    std::wstring out;
    if constexpr (sizeof(wchar_t) == 2) {
        out.assign(text.begin(), text.end());
    } else {
        // wchar_t holds whole code points here: the expression's "." then matches one character.
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

void Search(Tool& tool, const LoadedNotes& notes, const std::string& needle, bool regex, int pivot) {
    const auto wanted = Utf16FromUtf8(needle);
    if (!wanted) {
        Fail("", "TEXT is not UTF-8", kExitUsage);
    }
    std::wregex expression;
    if (regex) {
        try {
            expression = std::wregex(Wide(*wanted), kRegexSyntax);
        } catch (const std::regex_error& e) {
            Fail("",
                 "TEXT is no regular expression this search can run (back-references are not): " +
                     std::string(e.what()),
                 kExitUsage);
        }
    }
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
                match = regex ? std::regex_search(Wide(line), expression)
                              : line.find(*wanted) != std::u16string_view::npos;
            } catch (const std::regex_error& e) {
                Fail("", "TEXT cannot be matched against the note of " + Heading(entry.key.value, pivot) +
                             ": " + e.what());
            }
            if (match) {
                tool.Out(Heading(entry.key.value, pivot) + "\t" + Column(Utf8FromNotes(entry.key.value)) +
                         "\t" + Column(Utf8FromUtf16(line)) + "\n");
            }
            if (end == text.size()) {
                break;
            }
            start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
        }
    }
}

// ---- export

Date DayOption(const ToolHost& host, const std::string& name, const std::string& value, int pivot) {
    if (const auto date = ParseDay(value, host.today, pivot)) {
        return *date;
    }
    if (const auto date = ParseLunarWords(value, host.today)) {
        return *date;
    }
    Fail("",
         name + " \"" + value +
             "\" is no day: YYYY-MM-DD, MM-DD, today, yesterday, tomorrow, -N or a six-digit key",
         kExitUsage);
}

// ---- the Chinese calendar

// The official schedule: the built-in years and, when the diary's safety folder holds a holidays
// file, the years it adds. A file with any fault adds nothing; problems says what it is.
almanac::HolidaySchedule ScheduleFor(Tool& tool, const FsPath& notesPath,
                                     std::vector<std::string>* problems) {
    const ToolHost& host = tool.Host();
    if (host.keptFolders && !notesPath.empty()) {
        const std::string name = almanac::HolidayFileName();
        for (const FsPath& folder : host.keptFolders(notesPath)) {
            const FsPath path = folder + FsPath(name.begin(), name.end());
            if (!host.fs->Exists(path)) {
                continue;
            }
            std::string bytes;
            if (host.fs->ReadAll(path, bytes) != FileError::kNone) {
                if (problems != nullptr) {
                    problems->push_back(name + ": cannot be read");
                }
                return almanac::HolidaySchedule::BuiltIn();
            }
            return almanac::HolidaySchedule::WithFile(bytes, problems);
        }
    }
    return almanac::HolidaySchedule::BuiltIn();
}

void Cal(Tool& tool, const std::string& monthArgument, bool fileGiven, const std::string& file) {
    const ToolHost& host = tool.Host();
    int year = host.today.year, month = host.today.month;
    if (!monthArgument.empty()) {
        const auto date = ParseIsoDate(monthArgument + "-01");
        if (!date) {
            Fail("", "MONTH \"" + monthArgument + "\" is no month: YYYY-MM", kExitUsage);
        }
        year = date->year;
        month = date->month;
    }
    std::set<std::string> noted;
    FsPath notesPath;
    if (fileGiven || (!host.defaultNotes.empty() && host.fs->Exists(host.defaultNotes))) {
        const LoadedNotes notes = tool.Load(tool.NotesFile(fileGiven, file));
        for (const StoredEntry& entry : notes.scan.entries) {
            if (!IsBlankNote(entry.text.value)) {
                noted.insert(entry.key.value);
            }
        }
        notesPath = notes.file.path;
    }
    tool.Out(MonthCalendar(year, month, noted, ScheduleFor(tool, notesPath, nullptr)));
}

// ---- check and salvage

void Check(Tool& tool, const NamedFile& file, const std::string& bytes, int& status) {
    const NotesScan scan = ScanNotes(bytes);
    std::size_t duplicates = 0, blank = 0, wide = 0;
    std::unordered_set<std::string> keys;
    for (const StoredEntry& entry : scan.entries) {
        duplicates += keys.insert(entry.key.value).second ? 0 : 1;
        blank += IsBlankNote(entry.text.value) ? 1 : 0;
        wide += (entry.key.wide ? 1 : 0) + (entry.text.wide ? 1 : 0);
    }
    std::string report = "file: " + file.name + "\n";
    report += "size: " + std::to_string(bytes.size()) + " bytes\n";
    report += "count: " + (scan.countRead ? std::to_string(scan.count) : std::string("none")) + "\n";
    report +=
        "entries: " + std::to_string(scan.entries.size()) + (scan.damaged ? " (before the damage)\n" : "\n");
    report += "distinct keys: " + std::to_string(keys.size()) + "\n";
    report += "duplicates: " + std::to_string(duplicates) + "\n";
    report += "blank texts: " + std::to_string(blank) + "\n";
    report += "wide-tagged strings: " + std::to_string(wide) + "\n";
    if (scan.damaged) {
        const std::string where = "damaged at byte " + std::to_string(scan.damageOffset) + ": " + scan.damage;
        report += "status: " + where + "\n";
        tool.Out(report);
        tool.Warn(file.name, where);
        status = kExitFailed;
        return;
    }
    report += "unread bytes: " + std::to_string(scan.unread) + "\n";
    report += scan.unread == 0
                  ? "status: loads\n"
                  : "status: loads, but the widget copies the file aside before its next save, for the "
                    "bytes it does not read\n";
    // What the widget keeps aside for this diary, and what of it the diary does not hold.
    if (tool.Host().keptFolders && !file.path.empty()) {
        NoteMap notes;
        DecodeNotes(std::string_view(bytes), notes);
        for (const FsPath& folder : tool.Host().keptFolders(file.path)) {
            for (const KeptItem& item : KeptItemsOf(*tool.Host().fs, folder, notes)) {
                report +=
                    "kept aside: " + Utf8FromWidePath(item.path) + ": " +
                    (item.notesBeyond < 0 ? std::string("not readable as a diary or a journal")
                                          : std::to_string(item.notesBeyond) + " notes the diary lacks") +
                    "\n";
            }
        }
    }
    std::vector<std::string> problems;
    const almanac::HolidaySchedule schedule = ScheduleFor(tool, file.path, &problems);
    report += "official holidays: " + std::to_string(schedule.FirstYear()) + " to " +
              std::to_string(schedule.LastYear()) + "\n";
    for (const std::string& problem : problems) {
        report += "holidays file: " + problem + "; its years are left out, the built-in ones stay\n";
    }
    tool.Out(report);
}

// The command line as parsed; a *Given flag tells an option left out from one given empty.
struct Arguments {
    std::string file, day, needle, in, second, out, format, from, to, text, helpOn, url, user;
    std::string collection = kCollectionName;
    std::string onConflict = "keep";
    bool regex = false, includeEvents = false, force = false, lunar = false;
    std::string month; // cal's YYYY-MM
    int pivot = 0;
    bool fileGiven = false, formatGiven = false, outGiven = false, fromGiven = false, toGiven = false,
         textGiven = false;
};

std::string Filed(const FilingCounts& c) {
    return std::to_string(c.added) + " added, " + std::to_string(c.replaced) + " replaced, " +
           std::to_string(c.appended) + " appended, " + std::to_string(c.kept) + " kept, " +
           std::to_string(c.deleted) + " deleted, " + std::to_string(c.unchanged) + " unchanged, " +
           std::to_string(c.blank) + " blank";
}

// Entries read from the diary's bytes one at a time: an export holds the file once, plus a few
// bytes a note, whatever the size of the diary.
EntrySource SourceOf(const std::string& bytes, const std::vector<std::size_t>& offsets) {
    return {offsets.size(), [&bytes, &offsets](std::size_t i) {
                const std::string_view rest = std::string_view(bytes).substr(offsets[i]);
                return DiaryEntryAt(rest);
            }};
}

void Export(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile source = tool.NotesFile(a.fileGiven, a.file);
    ExportOptions options;
    options.pivot = a.pivot;
    if (a.fromGiven) {
        options.from = DayOption(host, "--from", a.from, a.pivot);
    }
    if (a.toGiven) {
        options.to = DayOption(host, "--to", a.to, a.pivot);
    }
    if (options.from && options.to && *options.from > *options.to) {
        Fail("", "--from " + a.from + " comes after --to " + a.to, kExitUsage);
    }
    const bool toStandardOutput = !a.outGiven || a.out == "-";
    std::optional<NamedFile> target;
    if (!toStandardOutput) {
        target = tool.Named(a.out);
        tool.RefuseSame(*target, source);
    }
    std::optional<Format> format = FormatOfName(a.format);
    if (!a.formatGiven && !toStandardOutput) {
        // A name that says no format would otherwise get json under a name that promises another.
        format = FormatOfFileName(a.out);
        if (!format) {
            Fail(a.out,
                 "its extension names no format this tool writes (json, csv, md, txt, ics, html); give "
                 "--format",
                 kExitUsage);
        }
    }
    std::string bytes;
    const std::vector<std::size_t> offsets = tool.LoadOffsets(source, bytes);
    if (host.fixedStamp) {
        options.stamp = *host.fixedStamp;
    } else if (const auto modified = host.fs->ModifiedTime(source.path)) {
        // The file layer's times are Windows file times: 100 ns steps since 1601.
        options.stamp = static_cast<std::int64_t>(*modified / 10000000) - 11644473600;
    }
    const EntrySource entries = SourceOf(bytes, offsets);
    const Format chosen = format.value_or(Format::kJson);
    std::size_t written = 0;
    if (target) {
        tool.StreamFile(*target,
                        [&](const Sink& sink) { written = WriteExport(chosen, entries, options, sink); });
    } else {
        written = WriteExport(chosen, entries, options, tool.StandardOutput());
    }
    if (written == 0 && chosen == Format::kIcs) {
        tool.Warn(target ? target->name : "-",
                  "no notes to export; the calendar holds only an empty placeholder");
    }
}

// The name SaveDataFile's copy aside takes: the first of name, name-2, name-3, ... not yet taken.
std::string AsideName(Tool& tool, const NamedFile& file, const std::string& stamp) {
    const std::string base = ".unreadable-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        const std::string suffix = base + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (!tool.Host().fs->Exists(file.path + FsPath(suffix.begin(), suffix.end()))) {
            return file.name + suffix;
        }
    }
    return file.name + base;
}

std::optional<Format> ImportFormat(Tool& tool, const Arguments& a, const NamedFile& source) {
    if (a.formatGiven) {
        return FormatOfName(a.format);
    }
    if (source.name != "-") {
        if (const auto byName = FormatOfFileName(source.name);
            byName && (*byName == Format::kJson || *byName == Format::kCsv || *byName == Format::kIcs)) {
            return byName;
        }
    }
    (void)tool;
    return std::nullopt;
}

// Saves a diary the way the widget does, keeping an old file it could not read whole aside.
void SaveDiary(Tool& tool, const NamedFile& target, const std::string& bytes, bool existed,
               const NotesScan& scan, const std::string& summary) {
    ToolHost& host = tool.Host();
    const bool keepAside = existed && (scan.damaged || scan.unread > 0);
    if (!existed && target.path == host.defaultNotes && host.ensureFolderOf) {
        host.ensureFolderOf(target.path);
    }
    const std::string stamp = host.fileStamp();
    const std::string asideName = AsideName(tool, target, stamp);
    const SaveResult saved = SaveDataFile(*host.fs, target.path, bytes, keepAside, stamp);
    if (saved.outcome == SaveOutcome::kKeptBeside) {
        Fail(target.name, Writing(saved.error) + "; it is left as it was and the new diary is beside it");
    }
    if (saved.outcome != SaveOutcome::kSaved) {
        Fail(target.name, Writing(saved.error));
    }
    tool.Out(target.name + ": " + summary + "\n");
    if (keepAside) {
        tool.Out(target.name + ": the old file " +
                 (scan.damaged
                      ? "was damaged at byte " + std::to_string(scan.damageOffset) + " (" + scan.damage + ")"
                      : "held " + std::to_string(scan.unread) + " bytes after its last entry") +
                 "; it is kept as " + asideName + "\n");
    }
}

void AppendInt32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void Import(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile source = tool.Named(a.in);
    const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
    if (source.name != "-") {
        tool.RefuseSame(target, source);
    }
    tool.RefuseRunningWidget(target);

    // The target as the widget would load it; one it could not load whole is copied aside before
    // it is replaced, as the widget does.
    std::string old;
    const FileError error = LoadFile(*host.fs, target.path, old);
    if (error != FileError::kNone && error != FileError::kNotFound) {
        Fail(target.name, Reading(error));
    }
    const bool existed = error == FileError::kNone;
    const NotesScan scan = ScanNotes(old);
    const bool restoring = !existed || scan.entries.empty();

    ImportOptions options;
    options.pivot = a.pivot;
    // A note of no calendar day is carried back into a diary that already holds it (a diary's own
    // export imported again); filed anew it would never show, which is checked once it is read.
    options.allowUndated = true;
    options.includeEvents = a.includeEvents;
    options.localDateOf = host.localDateOf;

    // Into an empty diary the notes are written as they are read: a large json export is never
    // held whole, nor its notes one by one beside the file they make.
    std::string restored;
    std::size_t restoredCount = 0;
    std::vector<DiaryEntry> incoming;
    auto take = [&](DiaryEntry&& entry) {
        if (restoring) {
            restored += entry.stored.empty() ? WrittenEntry(entry.key, entry.text) : entry.stored;
            ++restoredCount;
        } else {
            incoming.push_back(std::move(entry));
        }
    };
    std::optional<Format> kind = ImportFormat(tool, a, source);
    std::string why;
    if ((!kind || *kind == Format::kJson) && source.name != "-" && host.openInput) {
        std::unique_ptr<std::istream> in = host.openInput(source.path);
        if (!in) {
            tool.Read(source); // names why it cannot be read
            Fail(source.name, "cannot be read");
        }
        const auto first = in->peek();
        if (!kind && first != std::char_traits<char>::eof() && first == '{') {
            kind = Format::kJson;
        }
        if (kind == Format::kJson) {
            in->seekg(0, std::ios::end);
            const auto size = in->tellg();
            in->seekg(0);
            if (restoring && size > 0) {
                // The diary is never longer than its json: reserved address space costs nothing
                // until it is written, and the file then grows in place.
                restored.reserve(static_cast<std::size_t>(size));
            }
            AppendInt32(restored, 0);
            why = ReadJson(*in, options, take);
        }
    }
    if (kind != Format::kJson || !host.openInput || source.name == "-") {
        const std::string input = tool.ReadInput(source);
        if (!kind) {
            kind = GuessImportFormat(source.name == "-" ? "" : source.name, input);
        }
        if (!kind) {
            Fail(source.name, "is neither json, csv nor ics: only those can be imported", kExitUsage);
        }
        restored.clear();
        AppendInt32(restored, 0);
        Imported imported;
        if (*kind == Format::kJson) {
            why = ReadJson(*std::make_unique<std::istringstream>(input), options, take);
        } else {
            imported = *kind == Format::kCsv ? ImportCsv(input, options) : ImportIcs(input, options);
            why = imported.error;
            for (DiaryEntry& entry : imported.entries) {
                take(std::move(entry));
            }
        }
    }
    if (!why.empty()) {
        Fail(source.name, why);
    }

    FilingCounts counts;
    std::string bytes;
    if (restoring) {
        counts.restored = restoredCount;
        const auto n = static_cast<std::uint32_t>(restoredCount);
        for (int i = 0; i < 4; ++i) {
            restored[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        }
        bytes = std::move(restored);
    } else {
        NoteMap shown;
        for (const StoredEntry& entry : scan.entries) {
            shown.Append({entry.key.value, entry.text.value});
        }
        for (std::size_t i = 0; i < incoming.size(); ++i) {
            const DiaryEntry& entry = incoming[i];
            if (!DateOfKey(entry.key, a.pivot) && shown.GetNote(entry.key) != entry.text) {
                Fail(source.name, "note " + std::to_string(i + 1) + ": key \"" + Utf8FromNotes(entry.key) +
                                      "\" names no day, and a note filed under it would never show");
            }
        }
        bytes = FileNotes(DiaryEntries(old, scan.entries), incoming, *OnConflictOfName(a.onConflict), counts);
    }
    const std::string summary =
        restoring ? Count(counts.restored, "entry", "entries") + " restored into an empty diary"
                  : Filed(counts);
    // Nothing was filed: the file stays as it is, even where writing it again would change how
    // its strings are stored.
    const bool changed = counts.added + counts.replaced + counts.appended + counts.deleted > 0;
    const bool keepAside = existed && (scan.damaged || scan.unread > 0);
    if (existed && !keepAside && (bytes == old || (!restoring && !changed))) {
        tool.Out(target.name + ": " + summary + "; nothing changed, the file is left as it was\n");
        return;
    }
    SaveDiary(tool, target, bytes, existed, scan, summary);
}

// ---- add and edit

// The target of add and edit: its notes as the widget holds them, refused while the widget runs.
struct DayEdit {
    NamedFile file;
    std::string old;
    NotesScan scan;
    bool existed = false;
    NoteMap notes;
};

DayEdit OpenForEdit(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    DayEdit edit;
    edit.file = tool.NotesFile(a.fileGiven, a.file);
    tool.RefuseRunningWidget(edit.file);
    const FileError error = LoadFile(*host.fs, edit.file.path, edit.old);
    if (error != FileError::kNone && error != FileError::kNotFound) {
        Fail(edit.file.name, Reading(error));
    }
    edit.existed = error == FileError::kNone;
    edit.scan = ScanNotes(edit.old);
    if (edit.existed && edit.scan.damaged) {
        Fail(edit.file.name, "damaged at byte " + std::to_string(edit.scan.damageOffset) + ": " +
                                 edit.scan.damage +
                                 " (salvage recovers what is left; nothing is written into a damaged diary)");
    }
    for (const StoredEntry& entry : edit.scan.entries) {
        edit.notes.Append({entry.key.value, entry.text.value});
    }
    return edit;
}

// Text typed at a terminal or in an editor, as the note box holds it: CR LF line ends.
std::string NoteOfTyped(const std::string& utf8) {
    std::size_t bad = 0;
    const auto bytes = NotesFromUtf8(utf8, &bad);
    if (!bytes) {
        Fail("", "TEXT is not UTF-8 (at byte " + std::to_string(bad) + ")", kExitUsage);
    }
    std::string out;
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        const char c = (*bytes)[i];
        if (c == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') {
            continue;
        }
        out += c == '\n' || c == '\r' ? std::string("\r\n") : std::string(1, c);
    }
    if (out.find('\0') != std::string::npos) {
        Fail("", "TEXT holds a zero byte, which the notes file cannot hold", kExitUsage);
    }
    return out;
}

void Add(Tool& tool, const Arguments& a) {
    const std::string key = KeyOfDay(tool.Host(), "DATE", a.day, a.pivot);
    std::string typed = a.text;
    if (!a.textGiven || a.text == "-") {
        typed = tool.ReadInput({"-", {}});
        // What a terminal or echo leaves at the end is not part of the note.
        while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r')) {
            typed.pop_back();
        }
    }
    const std::string text = NoteOfTyped(typed);
    if (IsBlankNote(text)) {
        Fail("", "TEXT is blank: add files no blank part (edit deletes a note)", kExitUsage);
    }
    DayEdit edit = OpenForEdit(tool, a);
    const std::string existing = edit.notes.GetNote(key);
    const bool appended = !IsBlankNote(existing);
    edit.notes.SetNote(key, appended ? existing + kAppendSeparator + text : text);
    SaveDiary(tool, edit.file, EncodeNotes(edit.notes), edit.existed, edit.scan,
              std::string(appended ? "a part added to the note of " : "a note added on ") +
                  Heading(key, a.pivot));
}

void Edit(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const std::string key = KeyOfDay(host, "DATE", a.day, a.pivot);
    DayEdit edit = OpenForEdit(tool, a);
    if (!host.editText) {
        Fail("", "there is no editor to run here", kExitFailed);
    }
    const std::string before = edit.notes.GetNote(key);
    std::string utf8 = Utf8FromNotes(before);
    std::string why;
    if (!host.editText(utf8, why)) {
        Fail("", "the editor could not be run: " + why + "; the note is left as it was", kExitFailed);
    }
    std::string after = NoteOfTyped(utf8);
    // Editors end a file with a line end the note box would not have added.
    if (after.size() >= 2 && after.ends_with("\r\n") && !before.ends_with("\r\n")) {
        after.resize(after.size() - 2);
    }
    if (after == before || (IsBlankNote(after) && IsBlankNote(before))) {
        tool.Out(edit.file.name + ": the note of " + Heading(key, a.pivot) +
                 " is unchanged; the file is left as it was\n");
        return;
    }
    edit.notes.SetNote(key, after);
    SaveDiary(tool, edit.file, EncodeNotes(edit.notes), edit.existed, edit.scan,
              std::string(IsBlankNote(after) ? "the note of " + Heading(key, a.pivot) + " deleted"
                                             : "the note of " + Heading(key, a.pivot) + " saved"));
}

// ---- stats

struct Tally {
    std::size_t notes = 0, words = 0, characters = 0;
};

// Words as a reader counts them: a run of letters or digits, and every CJK character on its own.
void Count(std::u16string_view text, Tally& tally) {
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

void Stats(Tool& tool, const LoadedNotes& notes, int pivot) {
    // The notes the window shows: the first entry of each key that names a day and holds text.
    std::map<Date, const StoredEntry*> shown;
    std::size_t undated = 0;
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
    std::map<std::pair<int, int>, Tally> months;
    std::map<int, Tally> years;
    Tally all;
    std::int64_t runStart = 0, previous = 0, bestStart = 0, bestLength = 0, length = 0;
    for (const auto& [date, entry] : shown) {
        Tally one;
        one.notes = 1;
        Count(Utf16FromGb18030(entry->text.value), one);
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
    auto row = [](const std::string& period, const Tally& t) {
        return period + "\t" + std::to_string(t.notes) + "\t" + std::to_string(t.words) + "\t" +
               std::to_string(t.characters) + "\n";
    };
    std::string out = "period\tnotes\twords\tcharacters\n";
    for (const auto& [year, tally] : years) {
        out += row(IsoDate({year, 1, 1}).substr(0, 4), tally);
        for (auto it = months.lower_bound({year, 1}); it != months.end() && it->first.first == year; ++it) {
            out += row(IsoDate({year, it->first.second, 1}).substr(0, 7), it->second);
        }
    }
    out += row("all", all);
    out += bestLength == 0 ? std::string("longest streak: 0 days\n")
                           : "longest streak: " + Count(static_cast<std::size_t>(bestLength), "day", "days") +
                                 ", " + IsoDate(DateOfDayNumber(bestStart)) + " to " +
                                 IsoDate(DateOfDayNumber(bestStart + bestLength - 1)) + "\n";
    if (undated > 0) {
        out += "not counted: " + Count(undated, "note", "notes") + " of no calendar day\n";
    }
    tool.Out(out);
}

void Merge(Tool& tool, const Arguments& a) {
    const NamedFile first = tool.Named(a.file);
    const NamedFile other = tool.Named(a.second);
    const NamedFile target = tool.Named(a.out);
    tool.RefuseSame(target, first);
    tool.RefuseSame(target, other);
    tool.RefuseRunningWidget(target);
    const LoadedNotes x = tool.Load(first);
    const LoadedNotes y = tool.Load(other);
    FilingCounts counts;
    const std::string bytes =
        FileNotes(DiaryEntries(x.bytes, x.scan.entries), DiaryEntries(y.bytes, y.scan.entries),
                  *OnConflictOfName(a.onConflict), counts);
    tool.WriteFile(target, bytes);
    if (x.scan.entries.empty()) {
        tool.Out(target.name + ": " + first.name + " holds no entries; " +
                 Count(counts.restored, "entry", "entries") + " of " + other.name + " written\n");
    } else {
        tool.Out(target.name + ": " + Count(x.scan.entries.size(), "entry", "entries") + " of " + first.name +
                 ", and from " + other.name + ": " + Filed(counts) + "\n");
    }
}

void SalvageTo(Tool& tool, const Arguments& a) {
    const NamedFile source = tool.Named(a.file);
    const NamedFile target = tool.Named(a.out);
    tool.RefuseSame(target, source);
    tool.RefuseRunningWidget(target);
    const std::string input = tool.Read(source);
    const Salvaged result = Salvage(input);
    const NotesScan& scan = result.scan;
    // Bytes that are no diary at all still hold the odd run that looks like an entry: when not
    // even the first entry reads and most bytes belong to none, what was found is chance.
    if (scan.entries.empty() && !a.force && (result.found == 0 || result.skipped * 2 > input.size())) {
        Fail(source.name,
             "does not look like a notes file: no entry reads from its start, and " +
                 (result.found == 0 ? std::string("no entry was found in it")
                                    : Count(result.found, "entry", "entries") + " found cover only " +
                                          std::to_string(input.size() - result.skipped) + " of its " +
                                          std::to_string(input.size()) + " bytes") +
                 "; nothing is written (--force writes what was found)");
    }
    tool.WriteFile(target, result.bytes);
    std::string report = source.name + ": " + Count(scan.entries.size(), "entry", "entries");
    report += scan.damaged ? " before the damage at byte " + std::to_string(scan.damageOffset) + " (" +
                                 scan.damage + "), " + std::to_string(result.found) + " more found after it"
                           : " the widget reads, " + std::to_string(result.found) + " more found after them";
    report += ", " + Count(result.skipped, "byte", "bytes") + " skipped\n";
    report +=
        target.name + ": " + Count(scan.entries.size() + result.found, "entry", "entries") + " written\n";
    tool.Out(report);
}

// ---- sync

// A moment of the record of tries, which holds UTC seconds, as the status prints it.
std::string UtcTime(std::int64_t seconds) {
    if (seconds <= 0) {
        return "never";
    }
    const std::int64_t inDay = seconds % 86400;
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d UTC", static_cast<int>(inDay / 3600),
                  static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
    return IsoDate(DateOfDayNumber(seconds / 86400)) + clock;
}

// The diary's safety folder the widget keeps its copies in, where the sync's files are too: the
// first of the folders that can be had, as the widget picks it at start.
FsPath SyncFolderOf(Tool& tool, const NamedFile& file) {
    ToolHost& host = tool.Host();
    const std::vector<FsPath> folders =
        host.keptFolders ? host.keptFolders(file.path) : std::vector<FsPath>();
    if (folders.empty()) {
        Fail(file.name, "there is no safety folder for this diary here, where the sync keeps its account");
    }
    for (const FsPath& folder : folders) {
        if (host.fs->MakeFolders(folder) == FileError::kNone) {
            return folder;
        }
    }
    Fail(file.name, "its safety folder " + Utf8FromWidePath(folders.front()) + " cannot be made");
}

void RequireServerAccess(const ToolHost& host) {
    if (!host.openTransport || !host.secrets) {
        Fail("", "this build cannot reach a server or keep a password: sync runs in the Windows program");
    }
}

std::string Did(const SyncReport& r) {
    return std::to_string(r.pushed) + " pushed (" + std::to_string(r.joined) + " joined), " +
           std::to_string(r.pulled) + " pulled, " + std::to_string(r.deletedHere) + " deleted here, " +
           std::to_string(r.deletedThere) + " deleted on the server";
}

void SyncSetup(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(a.fileGiven, a.file);
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(a.url);
    if (!origin) {
        Fail("", "URL \"" + a.url + "\" is no address of a server: https://HOST/..., with no user name in it",
             kExitUsage);
    }
    if (origin->scheme == "http" && !origin->loopback) {
        // The password would cross the network in the clear.
        Fail("",
             "URL \"" + a.url +
                 "\": plain http:// goes only to this computer (localhost, 127.0.0.1); use https://",
             kExitUsage);
    }
    if (a.user.empty() || a.collection.empty()) {
        Fail("", a.user.empty() ? "--user is empty" : "--collection is empty", kExitUsage);
    }
    RequireServerAccess(host);
    const SyncAccount account{a.url, a.user, a.collection};
    FileSystem& fs = *host.fs;
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<std::string> password =
        host.readPassword ? host.readPassword("Password for " + a.user + " at " + origin->Text() + ": ")
                          : std::nullopt;
    if (!password || password->empty()) {
        Fail("", "no password was given; nothing is kept");
    }
    // The account is checked before anything is kept: a wrong address or password is said now, not
    // at the first sync.
    SyncStatus why = SyncStatus::kOk;
    const std::unique_ptr<HttpTransport> transport = host.openTransport(account, *password, why);
    if (!transport) {
        Fail(a.url, std::string(DescribeSyncStatus(why)) + "; nothing is kept");
    }
    CalDavClient client(*transport);
    std::string collectionUrl;
    const SyncStatus found = client.Discover(account.serverUrl, collectionUrl, account.collection);
    if (found != SyncStatus::kOk) {
        Fail(a.url, std::string(DescribeSyncStatus(found)) + "; nothing is kept");
    }

    const std::optional<SyncAccount> before = LoadSyncAccount(fs, folder);
    const std::string target = CredentialTarget(account);
    const std::optional<std::string> oldPassword = host.secrets->Load(target);
    if (!host.secrets->Save(target, account.user, *password)) {
        Fail("", "the password could not be kept in the system's password store; nothing is kept");
    }
    const SaveResult saved = SaveSyncAccount(fs, folder, account);
    if (saved.outcome != SaveOutcome::kSaved) {
        if (oldPassword) {
            host.secrets->Save(target, account.user, *oldPassword);
        } else {
            host.secrets->Remove(target);
        }
        if (saved.outcome == SaveOutcome::kKeptBeside) {
            RemoveFile(fs, saved.keptAt);
        }
        Fail(Utf8FromWidePath(folder + kSyncAccountFileName), Writing(saved.error) + "; nothing is kept");
    }
    if (before && CredentialTarget(*before) != target) {
        host.secrets->Remove(CredentialTarget(*before)); // never left where no account points to it
    }
    // Another account starts with no tries; the same one again is told of its next failure.
    SyncLastRun last = before && *before == account ? LoadSyncLastRun(fs, folder) : SyncLastRun{};
    last.userTold = false;
    SaveSyncLastRun(fs, folder, last);
    tool.Out(file.name + ": syncs with " + collectionUrl + " (collection \"" + account.collection +
             "\") as " + account.user + "; the password is kept in the system's password store\n");
}

void SyncNow(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    FileSystem& fs = *host.fs;
    const NamedFile file = tool.NotesFile(a.fileGiven, a.file);
    if (host.widgetRunningOn && host.widgetRunningOn(file.path)) {
        // Its next save would replace what is written here, and it syncs this diary itself.
        Fail(file.name,
             "Quillidar is running on this diary and syncs it by itself; close it to sync from here");
    }
    RequireServerAccess(host);
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(fs, folder);
    if (!account) {
        Fail(file.name,
             "sync is not set up for this diary (" + std::string(kToolName) + " sync setup URL --user NAME)");
    }
    const std::optional<std::string> password = host.secrets->Load(CredentialTarget(*account));
    if (!password) {
        Fail(file.name, "no password is kept for " + account->user + " at " + account->serverUrl +
                            "; run sync setup again");
    }
    std::string old;
    const FileError error = LoadFile(fs, file.path, old);
    if (error != FileError::kNone && error != FileError::kNotFound) {
        Fail(file.name, Reading(error));
    }
    const bool existed = error == FileError::kNone;
    const NotesScan scan = ScanNotes(old);
    if (existed && scan.damaged) {
        Fail(file.name, "damaged at byte " + std::to_string(scan.damageOffset) + ": " + scan.damage +
                            " (salvage recovers what is left; nothing is synced into a damaged diary)");
    }
    NoteMap notes;
    for (const StoredEntry& entry : scan.entries) {
        notes.Append({entry.key.value, entry.text.value});
    }
    const std::int64_t now = host.now ? host.now() : 0;
    SyncStatus why = SyncStatus::kOk;
    const std::unique_ptr<HttpTransport> transport = host.openTransport(*account, *password, why);
    if (!transport) {
        SyncReport refused;
        refused.status = why;
        RecordSyncTry(fs, folder, refused, now);
        Fail(file.name, "not synced: " + std::string(DescribeSyncStatus(why)));
    }
    SyncSessionInput input;
    input.account = *account;
    input.folder = folder;
    input.pivot = a.pivot;
    input.now = now;
    if (host.localDateOf) {
        input.localDateOf = [&host](std::int64_t seconds) {
            const Date d = host.localDateOf(seconds);
            return SyncDate{d.year, d.month, d.day};
        };
    }
    const SyncSessionResult result = RunSyncSession(*transport, notes, fs, input);
    const SyncReport& report = result.report;
    const std::string summary = report.status == SyncStatus::kOk
                                    ? "synced with " + result.state.collection + ": " + Did(report)
                                    : "sync stopped: " + std::string(DescribeSyncStatus(report.status)) +
                                          "; before that " + Did(report);
    // The notes reach the disk before the state that takes them as agreed: a failed write leaves
    // the old state, and the next sync finds the same changes again instead of losing them.
    if (!report.changedKeys.empty()) {
        SaveDiary(tool, file, EncodeNotes(notes), existed, scan, summary);
    } else {
        tool.Out(file.name + ": " + summary + "; the file is left as it was\n");
    }
    const FsPath statePath = folder + kSyncStateFileName;
    if (KeepSyncState(fs, statePath, result.state, result.stateFileSum).outcome != SaveOutcome::kSaved) {
        tool.Warn(Utf8FromWidePath(statePath),
                  "the sync's state could not be saved; the next sync compares these days again");
    }
    RecordSyncTry(fs, folder, report, now);
    for (const std::string& href : report.refused) {
        tool.Warn(file.name, "left as it is on the server, too large or unreadable: " + href);
    }
    if (report.status != SyncStatus::kOk) {
        Fail(file.name, summary);
    }
}

void SyncShow(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(a.fileGiven, a.file);
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(*host.fs, folder);
    if (!account) {
        tool.Out("sync: off\n");
        return;
    }
    const SyncLastRun last = LoadSyncLastRun(*host.fs, folder);
    const bool kept = host.secrets && host.secrets->Load(CredentialTarget(*account)).has_value();
    std::string out = "sync: on\nserver: " + account->serverUrl + "\nuser: " + account->user +
                      "\ncollection: " + account->collection +
                      "\npassword: " + (kept ? "kept" : "missing (sync setup keeps it again)") + "\n";
    out += "last tried: " + UtcTime(last.tried) + "\n";
    out += "last succeeded: " + UtcTime(last.succeeded) + "\n";
    out += "result: " +
           (last.tried == 0 ? std::string("not tried yet")
            : last.status == SyncStatus::kOk
                ? "synced: " + std::to_string(last.pushed) + " pushed (" + std::to_string(last.joined) +
                      " joined), " + std::to_string(last.pulled) + " pulled"
                : std::string(DescribeSyncStatus(last.status)) +
                      (NeedsUser(last.status) ? " (trying again changes nothing until this is put right)"
                                              : "")) +
           "\n";
    out += "failures in a row: " + std::to_string(last.failures) + "\n";
    tool.Out(out);
}

void SyncOff(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(a.fileGiven, a.file);
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(*host.fs, folder);
    if (account && host.secrets) {
        const std::string target = CredentialTarget(*account);
        // The password goes first: an account left without one fails and says so, a password left
        // without an account would stay in the store unseen.
        if (!host.secrets->Remove(target) && host.secrets->Load(target)) {
            Fail(file.name,
                 "the password could not be removed from the system's password store; sync stays on");
        }
    }
    if (!RemoveSyncAccount(*host.fs, folder)) {
        Fail(file.name,
             "the sync's account " + Utf8FromWidePath(folder + kSyncAccountFileName) + " cannot be removed");
    }
    tool.Out(file.name +
             (account ? ": sync is off; the account and its password are removed, the sync's state is kept\n"
                      : ": sync was not on\n"));
}

// The commands and what each is for, in the order the usage lists them.
const std::pair<const char*, const char*> kCommands[] = {
    {"list", "one line per note in file order: date, key, byte length, first line"},
    {"show", "the note of a day, as the widget shows it"},
    {"cal", "a month as cal prints it: each day with its lunar day, term or festival, its official rest or "
            "make-up working day and * for a note"},
    {"search", "the lines of notes that contain TEXT"},
    {"add", "appends TEXT (or standard input) to the note of a day"},
    {"edit", "opens the note of a day in %EDITOR% / $EDITOR"},
    {"export", "the diary as json, csv, md, txt, ics or html (UTF-8)"},
    {"import", "files the notes of a json, csv or ics file into a diary"},
    {"merge", "the union of two diaries"},
    {"stats", "notes, words and characters per year and month, the longest streak"},
    {"check", "reads a notes file without trusting it and says what is in it"},
    {"salvage", "writes every entry that can be recovered to a new file"},
    {"sync", "two-way sync with a CalDAV server: setup, now, status, off"},
    {"help", "the usage, or a command's"},
};

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The command a mistyped one was most likely meant to be: the nearest within two edits, or the
// one it starts.
std::string Suggestion(const std::string& typed) {
    std::string best;
    std::size_t bestDistance = 3;
    for (const auto& [name, help] : kCommands) {
        const std::size_t d =
            std::string_view(name).starts_with(typed) && typed.size() >= 2 ? 1 : EditDistance(typed, name);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    return best;
}

} // namespace

ToolRun RunNotesTool(const std::vector<std::string>& args, ToolHost& host) {
    ToolRun run;
    Tool tool(host, run);
    Arguments a;
    a.pivot = DefaultPivot(host.today.year);

    CLI::App app{"Reads, searches, exports, imports, merges and repairs a Quillidar diary (nts.ini).",
                 kToolName};
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string(kToolName) + " " + QUILL_VERSION);
    app.footer(
        "DATE: YYYY-MM-DD, MM-DD (this year), today, yesterday, tomorrow, -N (N days ago) or a six-digit "
        "key. FILE or IN \"-\" is standard input, -o - standard output.");
    const std::string fileHelp = "the notes file (default: the widget's own, %TEMP%\\nts.ini, on Windows)";
    std::vector<CLI::Option*> fileOptions;
    auto addFile = [&](CLI::App* command, const char* name) {
        fileOptions.push_back(command->add_option(name, a.file, fileHelp));
    };
    auto addPivot = [&](CLI::App* command) {
        command
            ->add_option("--pivot", a.pivot,
                         "last year of the hundred years a key's date is taken from (default: next year)")
            ->check(CLI::Range(kFirstPivot, kLastPivot));
    };
    const auto conflictNames = CLI::IsMember({"keep", "replace", "append"});
    auto help = [&](const char* name) {
        for (const auto& [command, text] : kCommands) {
            if (std::string_view(command) == name) {
                return std::string(text);
            }
        }
        return std::string();
    };

    CLI::App* list = app.add_subcommand("list", help("list"));
    addFile(list, "FILE");
    addPivot(list);
    list->add_flag("--lunar", a.lunar,
                   "a fifth column: the lunar date, festivals, term and rest or make-up working day");

    CLI::App* show = app.add_subcommand("show", help("show"));
    show->add_option("DATE", a.day, "the day")->required();
    addFile(show, "FILE");
    addPivot(show);
    show->add_flag("--lunar", a.lunar,
                   "DATE in digits is a lunar date (2026-08-15; a leap month 2026-L04-01), and the note is "
                   "headed by the day and its lunar date");

    CLI::App* cal = app.add_subcommand("cal", help("cal"));
    cal->add_option("MONTH", a.month, "YYYY-MM (default: this month)");
    addFile(cal, "FILE");

    CLI::App* search = app.add_subcommand("search", help("search"));
    search->add_option("TEXT", a.needle, "the text to look for")->required();
    addFile(search, "FILE");
    search->add_flag("--regex", a.regex, "TEXT is an ECMAScript regular expression");
    addPivot(search);

    CLI::App* adding = app.add_subcommand("add", help("add"));
    adding->add_option("DATE", a.day, "the day")->required();
    const CLI::Option* addText =
        adding->add_option("TEXT", a.text, "the text; left out or -, standard input");
    addFile(adding, "--into");
    addPivot(adding);

    CLI::App* editing = app.add_subcommand("edit", help("edit"));
    editing->add_option("DATE", a.day, "the day")->required();
    addFile(editing, "--into");
    addPivot(editing);

    CLI::App* exporting = app.add_subcommand("export", help("export"));
    addFile(exporting, "FILE");
    const CLI::Option* exportFormat =
        exporting
            ->add_option(
                "--format", a.format,
                "json, csv, md, txt, ics or html (default: from OUT's extension; json to standard output)")
            ->check(CLI::IsMember({"json", "csv", "md", "txt", "ics", "html"}, CLI::ignore_case));
    const CLI::Option* exportOut =
        exporting->add_option("-o,--output", a.out, "the file to write (default, or -: standard output)");
    const CLI::Option* from = exporting->add_option("--from", a.from, "leave out the days before this one");
    const CLI::Option* to = exporting->add_option("--to", a.to, "leave out the days after this one");
    addPivot(exporting);

    CLI::App* importing = app.add_subcommand("import", help("import"));
    importing->add_option("IN", a.in, "the json, csv or ics file; - for standard input")->required();
    const CLI::Option* importFormat =
        importing->add_option("--format", a.format, "json, csv or ics (default: from IN)")
            ->check(CLI::IsMember({"json", "csv", "ics"}, CLI::ignore_case));
    addFile(importing, "--into");
    importing
        ->add_option("--on-conflict", a.onConflict,
                     "when the day holds another note: keep, replace or append")
        ->check(conflictNames);
    importing->add_flag("--include-events", a.includeEvents,
                        "ics: also the calendar's events (all-day and timed), not only its journal entries");
    addPivot(importing);

    CLI::App* merge = app.add_subcommand("merge", help("merge"));
    merge->add_option("A", a.file, "the first diary")->required();
    merge->add_option("B", a.second, "the second diary, whose notes are filed into the first")->required();
    merge->add_option("-o,--output", a.out, "the notes file to write")->required();
    merge
        ->add_option("--on-conflict", a.onConflict,
                     "when a day holds two different notes: keep, replace or append")
        ->check(conflictNames);

    CLI::App* stats = app.add_subcommand("stats", help("stats"));
    addFile(stats, "FILE");
    addPivot(stats);

    CLI::App* check = app.add_subcommand("check", help("check"));
    addFile(check, "FILE");

    CLI::App* salvage = app.add_subcommand("salvage", help("salvage"));
    salvage->add_option("FILE", a.file, "the damaged notes file")->required();
    salvage->add_option("-o,--output", a.out, "the notes file to write")->required();
    salvage->add_flag("--force", a.force, "write what was found even in bytes that look like no notes file");

    CLI::App* sync = app.add_subcommand("sync", help("sync"));
    sync->require_subcommand(1);
    CLI::App* syncSetup = sync->add_subcommand(
        "setup", "checks the account with the server, then keeps it for the diary and the password in the "
                 "system's password store (read from standard input, or asked for)");
    syncSetup->add_option("URL", a.url, "the server's address (https://; http:// only to this computer)")
        ->required();
    syncSetup->add_option("--user", a.user, "the user name on the server")->required();
    syncSetup->add_option("--collection", a.collection,
                          "the display name of the collection to use or make (default: Quillidar)");
    addFile(syncSetup, "FILE");
    CLI::App* syncNow = sync->add_subcommand(
        "now",
        "syncs the diary with its server once (refused while the widget runs on it, which syncs itself)");
    addFile(syncNow, "FILE");
    CLI::App* syncStatus = sync->add_subcommand(
        "status", "the account, when the last sync was tried and succeeded, and its result");
    addFile(syncStatus, "FILE");
    CLI::App* syncOff =
        sync->add_subcommand("off", "forgets the account and its password; the sync's state stays");
    addFile(syncOff, "FILE");

    CLI::App* helping = app.add_subcommand("help", help("help"));
    helping->add_option("COMMAND", a.helpOn, "the command");

    std::vector<const char*> argv{kToolName};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    try {
        try {
            app.parse(static_cast<int>(argv.size()), argv.data());
        } catch (const CLI::Success& e) {
            std::ostringstream out, err;
            app.exit(e, out, err);
            run.out = out.str();
            return run;
        } catch (const CLI::ParseError& e) {
            const auto& commands = app.get_subcommands({});
            const bool unknown = !args.empty() && !args[0].empty() && args[0][0] != '-' &&
                                 std::none_of(commands.begin(), commands.end(), [&](const CLI::App* command) {
                                     return command->get_name() == args[0];
                                 });
            std::string what = std::string(e.what()) + " (see " + kToolName + " help)";
            if (unknown) {
                const std::string near = Suggestion(args[0]);
                what = "there is no command " + args[0] +
                       (near.empty() ? "" : "; did you mean " + near + "?") + " (see " + kToolName + " help)";
            }
            throw ToolError{kExitUsage, what};
        }
        a.fileGiven = std::any_of(fileOptions.begin(), fileOptions.end(),
                                  [](const CLI::Option* o) { return o->count() > 0; });
        a.formatGiven = exportFormat->count() > 0 || importFormat->count() > 0;
        a.outGiven = exportOut->count() > 0;
        a.fromGiven = from->count() > 0;
        a.toGiven = to->count() > 0;
        a.textGiven = addText->count() > 0;

        if (app.get_subcommands().empty() || helping->parsed()) {
            CLI::App* about = &app;
            if (!a.helpOn.empty()) {
                const auto& commands = app.get_subcommands({});
                const auto it = std::find_if(commands.begin(), commands.end(),
                                             [&](const CLI::App* c) { return c->get_name() == a.helpOn; });
                if (it == commands.end()) {
                    const std::string near = Suggestion(a.helpOn);
                    throw ToolError{kExitUsage, "there is no command " + a.helpOn +
                                                    (near.empty() ? "" : "; did you mean " + near + "?")};
                }
                about = *it;
            }
            run.out = about->help();
            return run;
        }
        if (list->parsed()) {
            const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
            const almanac::HolidaySchedule schedule = ScheduleFor(tool, target.path, nullptr);
            List(tool, tool.Load(target), a.pivot, a.lunar ? &schedule : nullptr);
        } else if (show->parsed()) {
            std::string key;
            if (a.lunar) {
                std::optional<Date> date = ParseLunarDigits(a.day);
                if (!date) {
                    date = ParseDay(a.day, host.today, a.pivot);
                }
                if (!date) {
                    date = ParseLunarWords(a.day, host.today);
                }
                if (!date) {
                    Fail("",
                         "DATE \"" + a.day + "\" is no lunar date: YYYY-MM-DD, YYYY-LMM-DD or " +
                             Utf8FromNotes("农历八月十五"),
                         kExitUsage);
                }
                key = KeyOfDate(*date);
                const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
                const LoadedNotes notes = tool.Load(target);
                const almanac::HolidaySchedule schedule = ScheduleFor(tool, target.path, nullptr);
                tool.Out(IsoDate(*date) + " " + LunarHeading(*date, &schedule) + "\n");
                Show(tool, notes, key, a.day);
            } else {
                key = KeyOfDay(host, "DATE", a.day, a.pivot);
                Show(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), key, a.day);
            }
        } else if (cal->parsed()) {
            // One positional that is no month is the FILE.
            if (!a.month.empty() && !a.fileGiven && !ParseIsoDate(a.month + "-01")) {
                a.file = a.month;
                a.month.clear();
                a.fileGiven = true;
            }
            Cal(tool, a.month, a.fileGiven, a.file);
        } else if (search->parsed()) {
            Search(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), a.needle, a.regex, a.pivot);
        } else if (adding->parsed()) {
            Add(tool, a);
        } else if (editing->parsed()) {
            Edit(tool, a);
        } else if (exporting->parsed()) {
            Export(tool, a);
        } else if (importing->parsed()) {
            Import(tool, a);
        } else if (merge->parsed()) {
            Merge(tool, a);
        } else if (stats->parsed()) {
            Stats(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), a.pivot);
        } else if (check->parsed()) {
            const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
            Check(tool, target, tool.Read(target), run.status);
        } else if (salvage->parsed()) {
            SalvageTo(tool, a);
        } else if (syncSetup->parsed()) {
            SyncSetup(tool, a);
        } else if (syncNow->parsed()) {
            SyncNow(tool, a);
        } else if (syncStatus->parsed()) {
            SyncShow(tool, a);
        } else if (syncOff->parsed()) {
            SyncOff(tool, a);
        }
    } catch (const ToolError& e) {
        run.status = e.status;
        run.out.clear();
        run.err += std::string(kToolName) + ": " + e.message + "\n";
    } catch (const std::bad_alloc&) {
        run.status = kExitFailed;
        run.out.clear();
        run.err += std::string(kToolName) + ": out of memory\n";
    }
    return run;
}

} // namespace notes_tool
