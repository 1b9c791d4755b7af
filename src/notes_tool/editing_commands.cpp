// add, edit and merge: notes filed into a diary the way the widget would file them.
#include "notes_tool/editing_commands.h"

#include <CLI/CLI.hpp>

#include "diary/notes_file.h"
#include "notes_tool/filing.h"
#include "notes_tool/text_codec.h"

namespace notes_tool {

namespace {

// The target of add and edit: its notes as the widget holds them, refused while the widget runs.
DiaryToWrite OpenForEdit(Tool& tool, const FileArgument& file) {
    const NamedFile target = tool.NotesFile(file.Given(), file.name);
    tool.RefuseRunningWidget(target);
    return tool.OpenToWrite(target, "written");
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

} // namespace

void SetUpAdd(CLI::App& command, AddArguments& o, int defaultPivot) {
    command.add_option("DATE", o.day, "the day")->required();
    o.textOption = command.add_option("TEXT", o.text, "the text; left out or -, standard input");
    AddFileOption(command, o.file, "--into");
    AddPivotOption(command, o.pivot, defaultPivot);
}

void RunAdd(Tool& tool, const AddArguments& o) {
    const std::string key = KeyOfDay(tool.Host(), "DATE", o.day, o.pivot);
    std::string typed = o.text;
    if (!GivenOption(o.textOption) || o.text == "-") {
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
    DiaryToWrite edit = OpenForEdit(tool, o.file);
    const std::string existing = edit.notes.GetNote(key);
    const bool appended = !IsBlankNote(existing);
    edit.notes.SetNote(key, appended ? existing + kAppendSeparator + text : text);
    tool.SaveDiary(edit.file, edit.notes, edit.existed, edit.scan,
                   std::string(appended ? "a part added to the note of " : "a note added on ") +
                       Heading(key, o.pivot));
}

void SetUpEdit(CLI::App& command, EditArguments& o, int defaultPivot) {
    command.add_option("DATE", o.day, "the day")->required();
    AddFileOption(command, o.file, "--into");
    AddPivotOption(command, o.pivot, defaultPivot);
}

void RunEdit(Tool& tool, const EditArguments& o) {
    ToolHost& host = tool.Host();
    const std::string key = KeyOfDay(host, "DATE", o.day, o.pivot);
    DiaryToWrite edit = OpenForEdit(tool, o.file);
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
        tool.Out(edit.file.name + ": the note of " + Heading(key, o.pivot) +
                 " is unchanged; the file is left as it was\n");
        return;
    }
    edit.notes.SetNote(key, after);
    tool.SaveDiary(edit.file, edit.notes, edit.existed, edit.scan,
                   std::string(IsBlankNote(after) ? "the note of " + Heading(key, o.pivot) + " deleted"
                                                  : "the note of " + Heading(key, o.pivot) + " saved"));
}

void SetUpMerge(CLI::App& command, MergeArguments& o, int) {
    command.add_option("A", o.first, "the first diary")->required();
    command.add_option("B", o.second, "the second diary, whose notes are filed into the first")->required();
    command.add_option("-o,--output", o.out, "the notes file to write")->required();
    AddConflictOption(command, o.onConflict, "when a day holds two different notes: keep, replace or append");
}

void RunMerge(Tool& tool, const MergeArguments& o) {
    const NamedFile first = tool.Named(o.first);
    const NamedFile other = tool.Named(o.second);
    const NamedFile target = tool.Named(o.out);
    tool.RefuseSame(target, first);
    tool.RefuseSame(target, other);
    tool.RefuseRunningWidget(target);
    const LoadedNotes x = tool.Load(first);
    const LoadedNotes y = tool.Load(other);
    FilingCounts counts;
    const std::string bytes =
        FileNotes(DiaryEntries(x.bytes, x.scan.entries), DiaryEntries(y.bytes, y.scan.entries),
                  *OnConflictOfName(o.onConflict), counts);
    tool.WriteFile(target, bytes);
    if (x.scan.entries.empty()) {
        tool.Out(target.name + ": " + first.name + " holds no entries; " +
                 Count(counts.restored, "entry", "entries") + " of " + other.name + " written\n");
    } else {
        tool.Out(target.name + ": " + Count(x.scan.entries.size(), "entry", "entries") + " of " + first.name +
                 ", and from " + other.name + ": " + Filed(counts) + "\n");
    }
}

} // namespace notes_tool
