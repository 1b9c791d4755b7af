// Reading and writing the tool's files the way the widget does, and the messages a command ends with.
#include "notes_tool/tool_context.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "diary/notes_file.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/text_codec.h"

namespace notes_tool {

void Fail(const std::string& file, const std::string& message, int status) {
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

NamedFile Tool::NotesFile(bool given, const std::string& name) const {
    if (given) {
        return Named(name);
    }
    if (m_host.defaultNotes.empty()) {
        Fail("", "FILE is needed: there is no widget notes file to take here", kExitUsage);
    }
    return {m_host.defaultNotesName, m_host.defaultNotes};
}

void Tool::Warn(const std::string& file, const std::string& message) {
    m_run.err += std::string(kToolName) + ": " + file + ": " + message + "\n";
}

std::string Tool::Read(const NamedFile& file) {
    std::string bytes;
    const FileError error = LoadFile(*m_host.fs, file.path, bytes);
    if (error != FileError::kNone) {
        Fail(file.name, Reading(error));
    }
    return bytes;
}

std::string Tool::ReadInput(const NamedFile& file) {
    if (file.name == "-") {
        if (!m_host.standardInput) {
            Fail("-", "there is no standard input to read", kExitUsage);
        }
        return std::string(std::istreambuf_iterator<char>(*m_host.standardInput), {});
    }
    return Read(file);
}

void Tool::WarnOfScan(const NamedFile& file, const NotesScan& scan) {
    if (scan.damaged) {
        Fail(file.name, "damaged at byte " + std::to_string(scan.damageOffset) + ": " + scan.damage +
                            " (check tells more, salvage recovers what is left)");
    }
    if (scan.unread > 0) {
        Warn(file.name,
             std::to_string(scan.unread) +
                 " bytes after the last entry are not read; salvage recovers any entries among them");
    }
}

LoadedNotes Tool::Load(const NamedFile& file) {
    LoadedNotes loaded{file, Read(file), {}};
    loaded.scan = ScanNotes(loaded.bytes);
    WarnOfScan(file, loaded.scan);
    return loaded;
}

std::vector<std::size_t> Tool::LoadOffsets(const NamedFile& file, std::string& bytes) {
    bytes = Read(file);
    std::vector<std::size_t> offsets;
    const NotesScan scan =
        ScanNotes(bytes, [&](const StoredEntry& entry) { offsets.push_back(entry.Offset()); });
    WarnOfScan(file, scan);
    return offsets;
}

DiaryToWrite Tool::OpenToWrite(const NamedFile& file, const std::string& done) {
    DiaryToWrite diary;
    diary.file = file;
    {
        std::string bytes;
        const FileError error = LoadFile(*m_host.fs, file.path, bytes);
        if (error != FileError::kNone && error != FileError::kNotFound) {
            Fail(file.name, Reading(error));
        }
        diary.existed = error == FileError::kNone;
        // Each entry straight into the notes: a big diary is not held as its bytes, its scan and
        // its notes at once.
        diary.scan = ScanNotes(bytes, [&diary](const StoredEntry& entry) {
            diary.notes.Append({entry.key.value, entry.text.value});
        });
    }
    if (diary.existed && diary.scan.damaged) {
        Fail(file.name, "damaged at byte " + std::to_string(diary.scan.damageOffset) + ": " +
                            diary.scan.damage + " (salvage recovers what is left; nothing is " + done +
                            " into a damaged diary)");
    }
    return diary;
}

void Tool::RefuseSame(const NamedFile& out, const NamedFile& in) const {
    if (m_host.sameFile(out.path, in.path)) {
        Fail(out.name, "is the input file " + in.name + ", which is never written over", kExitUsage);
    }
}

void Tool::RefuseRunningWidget(const NamedFile& file) const {
    if (m_host.widgetRunningOn && m_host.widgetRunningOn(file.path)) {
        Fail(file.name,
             "Quillidar is running on this diary and would save over it when closed; close it first");
    }
}

void Tool::WriteFile(const NamedFile& file, std::string_view bytes) {
    const SaveResult saved = SaveFileAtomically(*m_host.fs, file.path, bytes);
    if (saved.outcome == SaveOutcome::kKeptBeside) {
        Fail(file.name, Writing(saved.error) + " over the old file; the new one is beside it");
    }
    if (saved.outcome != SaveOutcome::kSaved) {
        Fail(file.name, Writing(saved.error));
    }
}

Sink Tool::StandardOutput() {
    if (m_host.writeOut) {
        return m_host.writeOut;
    }
    return [this](std::string_view piece) { m_run.out += piece; };
}

namespace {

// Hands everything produced to `out` until a write fails; the first failure is what is reported.
FileError WriteProduced(OutputFile& out, const std::function<void(const Sink&)>& produce) {
    FileError error = FileError::kNone;
    produce([&](std::string_view piece) {
        if (error == FileError::kNone) {
            error = out.Write(piece);
        }
    });
    return error;
}

} // namespace

void Tool::StreamFile(const NamedFile& file, const std::function<void(const Sink&)>& produce) {
    if (m_host.openDevice) {
        if (std::unique_ptr<OutputFile> device = m_host.openDevice(file.path)) {
            FileError error = WriteProduced(*device, produce);
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
    error = WriteProduced(*out, produce);
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

namespace {

// The name SaveDataFile's copy aside takes: the first of name, name-2, name-3, ... not yet taken.
std::string AsideName(FileSystem& fs, const NamedFile& file, const std::string& stamp) {
    const std::string base = ".unreadable-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        std::string suffix = base;
        if (n > 1) {
            suffix += '-';
            suffix += std::to_string(n);
        }
        if (!fs.Exists(file.path + FsPath(suffix.begin(), suffix.end()))) {
            return file.name + suffix;
        }
    }
    return file.name + base;
}

} // namespace

void Tool::SaveDiary(const NamedFile& target, const std::string& bytes, bool existed, const NotesScan& scan,
                     const std::string& summary) {
    SaveDiary(
        target, [&bytes](const auto& put) { return put(bytes); }, existed, scan, summary);
}

void Tool::SaveDiary(const NamedFile& target, const NoteMap& notes, bool existed, const NotesScan& scan,
                     const std::string& summary) {
    const BytePieces pieces = [&notes](const std::function<FileError(std::string_view)>& put) {
        FileError error = FileError::kNone;
        WriteNotes(notes, [&](std::string_view piece) {
            error = put(piece);
            return error == FileError::kNone;
        });
        return error;
    };
    SaveDiary(target, pieces, existed, scan, summary);
}

void Tool::SaveDiary(const NamedFile& target, const BytePieces& pieces, bool existed, const NotesScan& scan,
                     const std::string& summary) {
    const bool keepAside = existed && (scan.damaged || scan.unread > 0);
    if (!existed && target.path == m_host.defaultNotes && m_host.ensureFolderOf) {
        m_host.ensureFolderOf(target.path);
    }
    const std::string stamp = m_host.fileStamp();
    const std::string asideName = AsideName(*m_host.fs, target, stamp);
    const SaveResult saved = SaveDataFile(*m_host.fs, target.path, pieces, keepAside, stamp);
    if (saved.outcome == SaveOutcome::kKeptBeside) {
        Fail(target.name, Writing(saved.error) + "; it is left as it was and the new diary is beside it");
    }
    if (saved.outcome != SaveOutcome::kSaved) {
        Fail(target.name, Writing(saved.error));
    }
    Out(target.name + ": " + summary + "\n");
    if (keepAside) {
        Out(target.name + ": the old file " +
            (scan.damaged
                 ? "was damaged at byte " + std::to_string(scan.damageOffset) + " (" + scan.damage + ")"
                 : "held " + std::to_string(scan.unread) + " bytes after its last entry") +
            "; it is kept as " + asideName + "\n");
    }
}

std::string Heading(const std::string& key, int pivot) {
    const auto date = DateOfKey(key, pivot);
    return date ? IsoDate(*date) : Utf8FromNotes(key);
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Filed(const FilingCounts& c) {
    return std::to_string(c.added) + " added, " + std::to_string(c.replaced) + " replaced, " +
           std::to_string(c.appended) + " appended, " + std::to_string(c.kept) + " kept, " +
           std::to_string(c.deleted) + " deleted, " + std::to_string(c.unchanged) + " unchanged, " +
           std::to_string(c.blank) + " blank";
}

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

} // namespace notes_tool
