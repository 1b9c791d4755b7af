// Names of the kernel objects that keep one Quillidar per user and temporary folder.
#include "safety/instance_name.h"

namespace quill {
namespace {

constexpr std::wstring_view kVerbatimPrefix = L"\\\\?\\";
constexpr std::wstring_view kVerbatimUncPrefix = L"\\\\?\\UNC\\";

// FNV-1a over the UTF-16 code units, low byte first: the name must not change between builds or
// compilers, or an old and a new copy would both run on one folder.
class Fnv1a64 {
  public:
    void Add(std::wstring_view text) {
        for (const wchar_t unit : text) {
            const auto code = static_cast<std::uint32_t>(unit);
            AddByte(code & 0xFF);
            AddByte((code >> 8) & 0xFF);
        }
    }
    void AddByte(std::uint32_t byte) {
        m_hash ^= byte;
        m_hash *= 0x100000001B3ULL;
    }
    std::uint64_t Value() const { return m_hash; }

  private:
    std::uint64_t m_hash = 0xCBF29CE484222325ULL;
};

std::wstring Hex16(std::uint64_t value) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(16, L'0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

} // namespace

std::wstring NormaliseFolder(std::wstring_view folder) {
    std::wstring path(folder);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    std::wstring out;
    std::wstring_view rest = path;
    if (rest.substr(0, kVerbatimUncPrefix.size()) == kVerbatimUncPrefix) {
        out = L"\\\\";
        rest.remove_prefix(kVerbatimUncPrefix.size());
    } else if (rest.substr(0, kVerbatimPrefix.size()) == kVerbatimPrefix) {
        rest.remove_prefix(kVerbatimPrefix.size());
    } else if (rest.substr(0, 2) == L"\\\\") {
        out = L"\\\\";
        rest.remove_prefix(2);
    }
    for (const wchar_t c : rest) {
        if (c == L'\\' && !out.empty() && out.back() == L'\\')
            continue;
        out.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c);
    }
    if (!out.empty() && out.back() != L'\\')
        out.push_back(L'\\');
    return out;
}

InstanceNames MakeInstanceNames(std::wstring_view user, std::wstring_view tempFolder) {
    Fnv1a64 hash;
    hash.Add(user);
    // A separator no name holds, so "ab" + "c" and "a" + "bc" differ.
    hash.AddByte(0);
    hash.AddByte(0);
    hash.Add(NormaliseFolder(tempFolder));
    const std::wstring base = L"Local\\Quillidar-" + Hex16(hash.Value());
    return {base, base + L"-window"};
}

} // namespace quill
