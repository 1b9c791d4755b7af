// The names that keep one copy per user and temporary folder.
#include <gtest/gtest.h>

#include "safety/instance_name.h"

#include <string>

using namespace quill;

namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";
constexpr wchar_t kTemp[] = L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(InstanceName, SpellingsOfOneFolderShareANameAndOthersDoNot) {
    struct Case {
        const wchar_t* user;
        const wchar_t* folder;
        const wchar_t* sameAs; // another spelling that must give the same names; null: must differ
    } cases[] = {
        {kUser, L"c:\\users\\zhang\\appdata\\local\\temp\\", kTemp},
        {kUser, L"C:\\USERS\\ZHANG\\APPDATA\\LOCAL\\TEMP", kTemp},
        {kUser, L"C:/Users//Zhang/AppData/Local/Temp///", kTemp},
        {kUser, L"\\\\?\\C:\\Users\\Zhang\\AppData\\Local\\Temp\\", kTemp},
        {kUser, L"\\\\?\\UNC\\srv\\share\\t", L"\\\\SRV\\Share\\t\\"},
        {kUser, L"//srv/share/t/", L"\\\\SRV\\Share\\t\\"},
        {kUser, L"C:\\", L"c:"},
        // Beyond ASCII the system's case table is applied before the call.
        {kUser, L"C:\\\x4E34\x65F6\\", L"c:\\\x4E34\x65F6"},
        {kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\x\\", nullptr},
        {kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Tem\\", nullptr},
        {kUser, L"", nullptr},
        {L"S-1-5-21-1-2-3-1002", kTemp, nullptr},
        {L"", kTemp, nullptr},
        // The user's end and the folder's start cannot trade characters.
        {L"S-1-5-21-1-2-3-100", L"1C:\\Users\\Zhang\\AppData\\Local\\Temp\\", nullptr},
    };
    const InstanceNames reference = MakeInstanceNames(kUser, kTemp);
    for (const Case& c : cases) {
        const InstanceNames names = MakeInstanceNames(c.user, c.folder);
        const InstanceNames other = c.sameAs ? MakeInstanceNames(kUser, c.sameAs) : reference;
        EXPECT_EQ(names.mutex == other.mutex, c.sameAs != nullptr)
            << Narrow(c.user) << " " << Narrow(c.folder);
        EXPECT_EQ(names.window, names.mutex + L"-window");
    }
    // A fixed value: a copy built later must still meet a copy built now.
    EXPECT_EQ(reference.mutex, L"Local\\Quillidar-08EF5DE26C33A6E5");
}

TEST(InstanceName, NamesAreValidKernelObjectNamesOfOneLength) {
    const std::wstring longFolder = L"\\\\server\\share\\" + std::wstring(4000, L'd') + L"\\";
    for (const std::wstring& folder : {std::wstring(), std::wstring(L"C:\\"), longFolder}) {
        const InstanceNames names = MakeInstanceNames(std::wstring(300, L'\\'), folder);
        for (const std::wstring& name : {names.mutex, names.window}) {
            ASSERT_EQ(name.rfind(L"Local\\", 0), 0u) << Narrow(name);
            EXPECT_EQ(name.find(L'\\', 6), std::wstring::npos) << Narrow(name);
        }
        EXPECT_EQ(names.mutex.size(), 32u);
        EXPECT_EQ(names.window.size(), 39u);
    }
}

} // namespace
