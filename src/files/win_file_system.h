// The file layer on Win32, the data files' folder, and the reading of wide strings met in the files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "files/file_store.h"

class WinFileSystem : public FileSystem {
  public:
    FileError CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) override;
    FileError ReadAll(const FsPath& path, std::string& bytes) override;
    FileError CopyNew(const FsPath& source, const FsPath& target) override;
    FileError Replace(const FsPath& source, const FsPath& target) override;
    FileError OpenAppend(const FsPath& path, std::unique_ptr<OutputFile>& file) override;
    FileError ListFolder(const FsPath& folder, std::vector<FsPath>& names) override;
    FileError MakeFolders(const FsPath& folder) override;
    FileError Remove(const FsPath& path) override;
    bool Exists(const FsPath& path) override;
    std::optional<std::uint64_t> ModifiedTime(const FsPath& path) override;
    void Pause(int milliseconds) override;
};

// The user's temporary folder followed directly by the name; the folder may be of any length.
// Empty when the system cannot name the folder, or names one that is not a full path, so no file
// is read or written anywhere else (a relative name would land in the current directory).
FsPath GetTempFilePath(std::wstring_view name);

// The path as the file APIs take it at any length: a full path of MAX_PATH or more gets the "\\?\"
// form (which turns off the 260-character limit), with '/' made '\' since that form takes no other.
FsPath LongPath(const FsPath& path);

// What the file system says the folder is: its volume serial and file id; where the file system
// gives no id, its final path as FolderPathIdentity gives it. One diary is the notes file of one
// such folder, whatever spelling or mount reached it.
std::wstring FolderIdentity(const FsPath& folder);
// The folder's final path (junctions, another drive letter for the same folder, 8.3 names, "..",
// "\\?\" and letter case all give the same), upper-cased with the system's table; else its volume
// serial and file id; else its full long path. Older versions named a diary this way.
std::wstring FolderPathIdentity(const FsPath& folder);

// Creates the folder that holds the file, and the folders above it, when they are missing: a
// temporary folder cleaned away while the program ran must not cost the save.
bool EnsureFolderOf(const FsPath& file);

// Full paths of the files in the folder of `file` whose names start with its name followed by
// `suffix` ("*" matches anything after it).
std::vector<FsPath> FilesBeside(const FsPath& file, std::wstring_view suffix);

// UTF-16 to the notes' bytes (Gb18030FromUtf16, as ArchiveReader's own default). For ArchiveReader.
std::string NarrowFromUtf16(std::u16string_view text);

// "YYYYMMDD-HHMMSS" of the local time now.
std::string LocalFileStamp();
