// What every command of quillidar-notes works through: the host, the files named on the command
// line, the output, and the one-line messages a command ends with.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "almanac/almanac.h"
#include "diary/note_map.h"
#include "files/file_store.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/notes_scan.h"
#include "notes_tool/tool_commands.h"

namespace notes_tool {

// Ends the command: nothing more is written, and the message is its one line on standard error.
struct ToolError {
    int status;
    std::string message;
};

[[noreturn]] void Fail(const std::string& file, const std::string& message, int status = kExitFailed);

// Why a file could not be read or written, as the messages say it.
std::string Reading(FileError error);
std::string Writing(FileError error);

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

// A diary about to be written: what its scan found, and its notes as the widget holds them (the
// file's bytes and the scan's entries are let go once the notes hold them).
struct DiaryToWrite {
    NamedFile file;
    NotesScan scan;
    bool existed = false;
    NoteMap notes;
};

class Tool {
  public:
    Tool(ToolHost& host, ToolRun& run) : m_host(host), m_run(run) {}

    NamedFile Named(const std::string& name) const { return {name, m_host.pathOf(name)}; }
    const ToolHost& Host() const { return m_host; }
    ToolHost& Host() { return m_host; }

    // FILE when given, else the widget's own notes file.
    NamedFile NotesFile(bool given, const std::string& name) const;

    void Warn(const std::string& file, const std::string& message);
    void Out(std::string_view text) { m_run.out += text; }
    // The exit status of a command that still shows what it found.
    void SetStatus(int status) { m_run.status = status; }

    std::string Read(const NamedFile& file);
    // The bytes of IN, or of standard input for "-".
    std::string ReadInput(const NamedFile& file);

    // A diary as the widget loads it; a damaged one ends the command.
    LoadedNotes Load(const NamedFile& file);
    // A diary as the widget loads it, as the offsets of its entries: for a command that reads
    // each note once, so no second copy of the diary is made.
    std::vector<std::size_t> LoadOffsets(const NamedFile& file, std::string& bytes);
    // A diary to write notes into, which need not exist yet; a damaged one is never written into,
    // and the message says what would have been done (written, synced).
    DiaryToWrite OpenToWrite(const NamedFile& file, const std::string& done);

    void RefuseSame(const NamedFile& out, const NamedFile& in) const;
    void RefuseRunningWidget(const NamedFile& file) const;

    void WriteFile(const NamedFile& file, std::string_view bytes);
    // Writes what `produce` hands to its sink into a new file beside the target, then moves it over
    // the target, as SaveFileAtomically does with bytes held whole; a device or pipe is written as
    // it is. On failure nothing is left behind.
    void StreamFile(const NamedFile& file, const std::function<void(const Sink&)>& produce);
    // Standard output as a stream when the host has one, else collected like Out.
    Sink StandardOutput();

    // Saves a diary the way the widget does, keeping an old file it could not read whole aside.
    void SaveDiary(const NamedFile& target, const std::string& bytes, bool existed, const NotesScan& scan,
                   const std::string& summary);
    // The same of the notes, encoded as they are written: a big diary is never held twice.
    void SaveDiary(const NamedFile& target, const NoteMap& notes, bool existed, const NotesScan& scan,
                   const std::string& summary);

  private:
    void SaveDiary(const NamedFile& target, const BytePieces& pieces, bool existed, const NotesScan& scan,
                   const std::string& summary);
    void WarnOfScan(const NamedFile& file, const NotesScan& scan);

    ToolHost& m_host;
    ToolRun& m_run;
};

// A key's day as the reports head it, or the key itself where it names none.
std::string Heading(const std::string& key, int pivot);
std::string Count(std::size_t n, const char* one, const char* many);
// What filing did, in the order of FilingCounts.
std::string Filed(const FilingCounts& c);

// A DATE argument as a key: a day as people say it, or a six-digit key as it stands.
std::string KeyOfDay(const ToolHost& host, const std::string& name, const std::string& text, int pivot);

// The official schedule: the built-in years and, when the diary's safety folder holds a holidays
// file, the years it adds. A file with any fault adds nothing; problems says what it is.
almanac::HolidaySchedule ScheduleFor(Tool& tool, const FsPath& notesPath, std::vector<std::string>* problems);

} // namespace notes_tool
