// The safety folder's manifest: which diary the folder belongs to, the generation of its last save
// (a number only the program advances), and the generation, size and hash of each copy it made. A
// copy is ranked by what the manifest says of it and only while its bytes still match, never by
// its name or its file time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_store.h"

inline constexpr wchar_t kManifestName[] = L"manifest.txt";

struct ManifestCopy {
    FsPath name;
    std::uint64_t generation = 0;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};

struct Manifest {
    std::wstring folder;          // the diary's folder, as the file system names it
    std::uint64_t generation = 0; // of the last save; 0 before the first
    std::uint64_t size = 0;       // of what it saved
    std::uint64_t hash = 0;
    std::vector<ManifestCopy> copies;

    const ManifestCopy* CopyNamed(std::wstring_view name) const;
    // Records the copy, replacing everything said of that name before.
    void SetCopy(ManifestCopy copy);
    void Forget(std::wstring_view name);
};

std::string EncodeManifest(const Manifest& manifest);
// nullopt for bytes that are no manifest. Lines it does not know are skipped, so a later version's
// manifest still reads; a copy's name with a path separator in it is refused.
std::optional<Manifest> DecodeManifest(std::string_view bytes);

// UTF-8 of a wide string (UTF-16 where wchar_t has 16 bits), and back; invalid units become U+FFFD.
std::string Utf8FromWidePath(std::wstring_view text);
std::wstring WidePathFromUtf8(std::string_view text);
