// check and salvage: a notes file read without trusting it.
#include "notes_tool/repair_commands.h"

#include <CLI/CLI.hpp>

#include <unordered_set>

#include "diary/notes_file.h"
#include "safety/diary_keeper.h"
#include "safety/manifest.h"

namespace notes_tool {

void SetUpCheck(CLI::App& command, CheckArguments& o, int) {
    AddFileOption(command, o.file, "FILE");
}

namespace {

// What the widget keeps aside for this diary, and what of it the diary does not hold.
std::string KeptAside(Tool& tool, const NamedFile& file, const std::string& bytes) {
    std::string report;
    if (!tool.Host().keptFolders || file.path.empty()) {
        return report;
    }
    NoteMap notes;
    DecodeNotes(std::string_view(bytes), notes);
    for (const FsPath& folder : tool.Host().keptFolders(file.path)) {
        for (const KeptItem& item : KeptItemsOf(*tool.Host().fs, folder, notes)) {
            report += "kept aside: " + Utf8FromWidePath(item.path) + ": " +
                      (item.notesBeyond < 0 ? std::string("not readable as a diary or a journal")
                                            : std::to_string(item.notesBeyond) + " notes the diary lacks") +
                      "\n";
        }
    }
    return report;
}

} // namespace

void RunCheck(Tool& tool, const CheckArguments& o) {
    const NamedFile file = tool.NotesFile(o.file.Given(), o.file.name);
    const std::string bytes = tool.Read(file);
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
        tool.SetStatus(kExitFailed);
        return;
    }
    report += "unread bytes: " + std::to_string(scan.unread) + "\n";
    report += scan.unread == 0
                  ? "status: loads\n"
                  : "status: loads, but the widget copies the file aside before its next save, for the "
                    "bytes it does not read\n";
    report += KeptAside(tool, file, bytes);
    std::vector<std::string> problems;
    const almanac::HolidaySchedule schedule = ScheduleFor(tool, file.path, &problems);
    report += "official holidays: " + std::to_string(schedule.FirstYear()) + " to " +
              std::to_string(schedule.LastYear()) + "\n";
    for (const std::string& problem : problems) {
        report += "holidays file: " + problem + "; its years are left out, the built-in ones stay\n";
    }
    tool.Out(report);
}

void SetUpSalvage(CLI::App& command, SalvageArguments& o, int) {
    command.add_option("FILE", o.file, "the damaged notes file")->required();
    command.add_option("-o,--output", o.out, "the notes file to write")->required();
    command.add_flag("--force", o.force, "write what was found even in bytes that look like no notes file");
}

void RunSalvage(Tool& tool, const SalvageArguments& o) {
    const NamedFile source = tool.Named(o.file);
    const NamedFile target = tool.Named(o.out);
    tool.RefuseSame(target, source);
    tool.RefuseRunningWidget(target);
    const std::string input = tool.Read(source);
    const Salvaged result = Salvage(input);
    const NotesScan& scan = result.scan;
    // Bytes that are no diary at all still hold the odd run that looks like an entry: when not
    // even the first entry reads and most bytes belong to none, what was found is chance.
    if (scan.entries.empty() && !o.force && (result.found == 0 || result.skipped * 2 > input.size())) {
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

} // namespace notes_tool
