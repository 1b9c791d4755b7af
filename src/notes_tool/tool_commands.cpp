// The commands of quillidar-notes: argument parsing, reading and writing files, the reports.
#include "notes_tool/tool_commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <new>
#include <regex>
#include <sstream>
#include <unordered_set>

#include "version.h"
#include "diary/gb18030.h"
#include "diary/note_map.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/notes_scan.h"
#include "notes_tool/text_codec.h"

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

void List(Tool& tool, const LoadedNotes& notes, int pivot) {
    for (const StoredEntry& entry : notes.scan.entries) {
        tool.Out(Heading(entry.key.value, pivot) + "\t" + Utf8FromNotes(entry.key.value) + "\t" +
                 std::to_string(entry.text.value.size()) + "\t" + Utf8FromNotes(FirstLine(entry.text.value)) +
                 "\n");
    }
}

void Show(Tool& tool, const LoadedNotes& notes, const std::string& day) {
    const auto key = KeyOfDayArgument(day);
    if (!key) {
        Fail("", "DATE \"" + day + "\" is neither a day written YYYY-MM-DD nor a six-digit key", kExitUsage);
    }
    // The window shows the first entry of a key; later copies stay hidden.
    for (const StoredEntry& entry : notes.scan.entries) {
        if (entry.key.value == *key) {
            tool.Out(Utf8FromNotes(entry.text.value));
            return;
        }
    }
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
                tool.Out(Heading(entry.key.value, pivot) + "\t" + Utf8FromNotes(entry.key.value) + "\t" +
                         Utf8FromUtf16(line) + "\n");
            }
            if (end == text.size()) {
                break;
            }
            start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
        }
    }
}

// ---- export

std::optional<Date> DayOption(const std::string& name, const std::string& value, int pivot) {
    if (const auto date = ParseIsoDate(value)) {
        return date;
    }
    if (const auto date = DateOfKey(value, pivot)) {
        return date;
    }
    Fail("", name + " \"" + value + "\" is no day written YYYY-MM-DD or as a six-digit key", kExitUsage);
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
    tool.Out(report);
}

// The command line as parsed; a *Given flag tells an option left out from one given empty.
struct Arguments {
    std::string file, day, needle, in, second, out, format, from, to;
    std::string onConflict = "keep";
    bool regex = false;
    int pivot = 0;
    bool fileGiven = false, formatGiven = false, outGiven = false, fromGiven = false, toGiven = false;
};

std::string Filed(const FilingCounts& c) {
    return std::to_string(c.added) + " added, " + std::to_string(c.replaced) + " replaced, " +
           std::to_string(c.appended) + " appended, " + std::to_string(c.kept) + " kept, " +
           std::to_string(c.deleted) + " deleted, " + std::to_string(c.unchanged) + " unchanged, " +
           std::to_string(c.blank) + " blank";
}

void Export(Tool& tool, const Arguments& a) {
    const NamedFile source = tool.NotesFile(a.fileGiven, a.file);
    ExportOptions options;
    options.pivot = a.pivot;
    if (a.fromGiven) {
        options.from = DayOption("--from", a.from, a.pivot);
    }
    if (a.toGiven) {
        options.to = DayOption("--to", a.to, a.pivot);
    }
    if (options.from && options.to && *options.from > *options.to) {
        Fail("", "--from " + a.from + " comes after --to " + a.to, kExitUsage);
    }
    std::optional<Format> format = FormatOfName(a.format);
    if (!a.formatGiven && a.outGiven) {
        const auto dot = a.out.find_last_of('.');
        format = dot == std::string::npos ? std::nullopt : FormatOfName(a.out.substr(dot + 1));
    }
    std::optional<NamedFile> target;
    if (a.outGiven) {
        target = tool.Named(a.out);
        tool.RefuseSame(*target, source);
    }
    const LoadedNotes notes = tool.Load(source);
    ToolHost& host = tool.Host();
    if (host.fixedStamp) {
        options.stamp = *host.fixedStamp;
    } else if (const auto modified = host.fs->ModifiedTime(source.path)) {
        // The file layer's times are Windows file times: 100 ns steps since 1601.
        options.stamp = static_cast<std::int64_t>(*modified / 10000000) - 11644473600;
    }
    const std::string bytes =
        ExportNotes(format.value_or(Format::kJson), DiaryEntries(notes.bytes, notes.scan.entries), options);
    if (target) {
        tool.WriteFile(*target, bytes);
    } else {
        tool.Out(bytes);
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

void Import(Tool& tool, const Arguments& a) {
    ToolHost& host = tool.Host();
    const NamedFile source = tool.Named(a.in);
    const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
    tool.RefuseSame(target, source);
    tool.RefuseRunningWidget(target);
    const std::string input = tool.Read(source);
    const Format kind = a.formatGiven ? *FormatOfName(a.format) : GuessImportFormat(a.in, input);
    const Imported imported = kind == Format::kJson ? ImportJson(input) : ImportCsv(input);
    if (!imported.error.empty()) {
        Fail(source.name, imported.error);
    }

    // The target as the widget would load it; one it could not load whole is copied aside before
    // it is replaced, as the widget does.
    std::string old;
    const FileError error = LoadFile(*host.fs, target.path, old);
    if (error != FileError::kNone && error != FileError::kNotFound) {
        Fail(target.name, Reading(error));
    }
    const bool existed = error == FileError::kNone;
    const NotesScan scan = ScanNotes(old);
    const bool keepAside = existed && (scan.damaged || scan.unread > 0);
    FilingCounts counts;
    const std::string bytes = FileNotes(existed ? DiaryEntries(old, scan.entries) : std::vector<DiaryEntry>{},
                                        imported.entries, *OnConflictOfName(a.onConflict), counts);
    const std::string summary =
        !existed || scan.entries.empty()
            ? Count(counts.restored, "entry", "entries") + " restored into an empty diary"
            : Filed(counts);
    if (existed && !keepAside && bytes == old) {
        tool.Out(target.name + ": " + summary + "; nothing changed, the file is left as it was\n");
        return;
    }
    if (!existed && target.path == host.defaultNotes && host.ensureFolderOf) {
        host.ensureFolderOf(target.path);
    }
    const std::string stamp = host.fileStamp();
    const std::string asideName = AsideName(tool, target, stamp);
    const SaveResult saved = SaveDataFile(*host.fs, target.path, bytes, keepAside, stamp);
    if (saved.outcome == SaveOutcome::kKeptBeside) {
        Fail(target.name,
             Writing(saved.error) + "; it is left as it was and the imported diary is beside it");
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
    const Salvaged result = Salvage(tool.Read(source));
    tool.WriteFile(target, result.bytes);
    const NotesScan& scan = result.scan;
    std::string report = source.name + ": " + Count(scan.entries.size(), "entry", "entries");
    report += scan.damaged ? " before the damage at byte " + std::to_string(scan.damageOffset) + " (" +
                                 scan.damage + "), " + std::to_string(result.found) + " more found after it"
                           : " the widget reads, " + std::to_string(result.found) + " more found after them";
    report += ", " + Count(result.skipped, "byte", "bytes") + " skipped\n";
    report +=
        target.name + ": " + Count(scan.entries.size() + result.found, "entry", "entries") + " written\n";
    tool.Out(report);
}

} // namespace

ToolRun RunNotesTool(const std::vector<std::string>& args, ToolHost& host) {
    ToolRun run;
    Tool tool(host, run);
    Arguments a;
    a.pivot = DefaultPivot(host.currentYear);

    CLI::App app{"Reads, searches, exports, imports, merges and repairs a Quillidar diary (nts.ini).",
                 kToolName};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string(kToolName) + " " + QUILL_VERSION);
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

    CLI::App* list =
        app.add_subcommand("list", "one line per note in file order: date, key, byte length, first line");
    addFile(list, "FILE");
    addPivot(list);

    CLI::App* show = app.add_subcommand("show", "the note of a day, as the widget shows it");
    show->add_option("DATE", a.day, "YYYY-MM-DD or a six-digit key")->required();
    addFile(show, "FILE");

    CLI::App* search = app.add_subcommand("search", "the lines of notes that contain TEXT");
    search->add_option("TEXT", a.needle, "the text to look for")->required();
    addFile(search, "FILE");
    search->add_flag("--regex", a.regex, "TEXT is an ECMAScript regular expression");
    addPivot(search);

    CLI::App* exporting = app.add_subcommand("export", "the diary as json, csv, md, txt or ics (UTF-8)");
    addFile(exporting, "FILE");
    const CLI::Option* exportFormat =
        exporting
            ->add_option("--format", a.format,
                         "json, csv, md, txt or ics (default: from OUT's name, else json)")
            ->check(CLI::IsMember({"json", "csv", "md", "txt", "ics"}));
    const CLI::Option* exportOut =
        exporting->add_option("-o,--output", a.out, "the file to write (default: standard output)");
    const CLI::Option* from = exporting->add_option("--from", a.from, "leave out the days before this one");
    const CLI::Option* to = exporting->add_option("--to", a.to, "leave out the days after this one");
    addPivot(exporting);

    CLI::App* importing =
        app.add_subcommand("import", "files the notes of a json or csv export into a diary");
    importing->add_option("IN", a.in, "the json or csv file")->required();
    const CLI::Option* importFormat =
        importing->add_option("--format", a.format, "json or csv (default: from IN)")
            ->check(CLI::IsMember({"json", "csv"}));
    addFile(importing, "--into");
    importing
        ->add_option("--on-conflict", a.onConflict,
                     "when the day holds another note: keep, replace or append")
        ->check(conflictNames);

    CLI::App* merge = app.add_subcommand("merge", "the union of two diaries");
    merge->add_option("A", a.file, "the first diary")->required();
    merge->add_option("B", a.second, "the second diary, whose notes are filed into the first")->required();
    merge->add_option("-o,--output", a.out, "the notes file to write")->required();
    merge
        ->add_option("--on-conflict", a.onConflict,
                     "when a day holds two different notes: keep, replace or append")
        ->check(conflictNames);

    CLI::App* check =
        app.add_subcommand("check", "reads a notes file without trusting it and says what is in it");
    addFile(check, "FILE");

    CLI::App* salvage =
        app.add_subcommand("salvage", "writes every entry that can be recovered to a new file");
    salvage->add_option("FILE", a.file, "the damaged notes file")->required();
    salvage->add_option("-o,--output", a.out, "the notes file to write")->required();

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
            const std::string what = unknown ? "there is no command " + args[0] : std::string(e.what());
            throw ToolError{kExitUsage, what + " (see " + kToolName + " --help)"};
        }
        a.fileGiven = std::any_of(fileOptions.begin(), fileOptions.end(),
                                  [](const CLI::Option* o) { return o->count() > 0; });
        a.formatGiven = exportFormat->count() > 0 || importFormat->count() > 0;
        a.outGiven = exportOut->count() > 0;
        a.fromGiven = from->count() > 0;
        a.toGiven = to->count() > 0;

        if (list->parsed()) {
            List(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), a.pivot);
        } else if (show->parsed()) {
            Show(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), a.day);
        } else if (search->parsed()) {
            Search(tool, tool.Load(tool.NotesFile(a.fileGiven, a.file)), a.needle, a.regex, a.pivot);
        } else if (exporting->parsed()) {
            Export(tool, a);
        } else if (importing->parsed()) {
            Import(tool, a);
        } else if (merge->parsed()) {
            Merge(tool, a);
        } else if (check->parsed()) {
            const NamedFile target = tool.NotesFile(a.fileGiven, a.file);
            Check(tool, target, tool.Read(target), run.status);
        } else if (salvage->parsed()) {
            SalvageTo(tool, a);
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
