// Files the driver prepares for a program and reads back after it, over Windows paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// Replaces the file with the bytes; false if it cannot be written whole.
bool WriteWholeFile(const std::wstring& path, std::string_view bytes);
// Every byte of the file, read to its end; the file may be open elsewhere for writing or deletion.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
std::optional<std::uint64_t> FileSize(const std::wstring& path);
// Names of the files directly inside the folder (no folders), in the order the system lists them.
std::vector<std::wstring> FilesIn(const std::wstring& folder);
// Names of the folders directly inside the folder, in the order the system lists them.
std::vector<std::wstring> FoldersIn(const std::wstring& folder);
// Creates the folder and every missing folder above it (a path with a drive, backslashes only).
void MakeFolders(const std::wstring& path);
// Removes the files directly inside the folder (not the folder, not sub-folders).
void EmptyFolder(const std::wstring& folder);
// The user's local application data folder (FOLDERID_LocalAppData), without a trailing backslash;
// empty when the system names none.
std::wstring LocalAppDataFolder();

} // namespace driver
