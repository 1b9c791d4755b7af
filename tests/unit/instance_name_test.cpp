// The names that keep one copy per user and temporary folder.
#include <gtest/gtest.h>

#include "app/instance_name.h"

#include <string>

using namespace quill;

namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(InstanceName, SpellingsOfOneFolderShareANameAndOthersDoNot) {
    const std::wstring reference =
        MakeInstanceNames(kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\").mutex;
    struct Case {
        const wchar_t* user;
        const wchar_t* folder;
        bool same;
    } cases[] = {
        {kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\", true},
        {kUser, L"c:\\users\\zhang\\appdata\\local\\temp\\", true},
        {kUser, L"C:\\USERS\\ZHANG\\APPDATA\\LOCAL\\TEMP", true},
        {kUser, L"C:/Users/Zhang/AppData/Local/Temp/", true},
        {kUser, L"C:\\Users\\\\Zhang\\AppData\\Local\\Temp\\\\\\", true},
        {kUser, L"\\\\?\\C:\\Users\\Zhang\\AppData\\Local\\Temp\\", true},
        {kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\x\\", false},
        {kUser, L"C:\\Users\\Zhang\\AppData\\Local\\Tem\\", false},
        {kUser, L"D:\\Users\\Zhang\\AppData\\Local\\Temp\\", false},
        {kUser, L"", false},
        {L"S-1-5-21-1-2-3-1002", L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\", false},
        {L"", L"C:\\Users\\Zhang\\AppData\\Local\\Temp\\", false},
        // The user's end and the folder's start cannot trade characters.
        {L"S-1-5-21-1-2-3-100", L"1C:\\Users\\Zhang\\AppData\\Local\\Temp\\", false},
    };
    for (const Case& c : cases) {
        const InstanceNames names = MakeInstanceNames(c.user, c.folder);
        EXPECT_EQ(names.mutex == reference, c.same) << Narrow(c.user) << " " << Narrow(c.folder);
        EXPECT_EQ(names.window, names.mutex + L"-window");
    }
    // A fixed value: a copy built later must still meet a copy built now.
    EXPECT_EQ(reference, L"Local\\Quillidar-08EF5DE26C33A6E5");
}

TEST(InstanceName, NamesAreValidKernelObjectNamesOfOneLength) {
    const std::wstring longFolder = L"\\\\server\\share\\" + std::wstring(4000, L'd') + L"\\";
    for (const std::wstring& folder :
         {std::wstring(), std::wstring(L"C:\\"), longFolder, std::wstring(L"C:\\\x4E34\x65F6\\\\Temp\\")}) {
        const InstanceNames names = MakeInstanceNames(std::wstring(300, L'\\'), folder);
        for (const std::wstring& name : {names.mutex, names.window}) {
            ASSERT_EQ(name.rfind(L"Local\\", 0), 0u) << Narrow(name);
            EXPECT_EQ(name.find(L'\\', 6), std::wstring::npos) << Narrow(name);
            EXPECT_EQ(name.find(L'\0'), std::wstring::npos);
        }
        EXPECT_EQ(names.mutex.size(), 32u);
        EXPECT_EQ(names.window.size(), 39u);
    }
}

TEST(InstanceName, NormaliseFolder) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* expected;
    } cases[] = {
        {L"", L""},
        {L"C:", L"C:\\"},
        {L"c:\\", L"C:\\"},
        {L"C:\\\\", L"C:\\"},
        {L"C:/tmp//x/", L"C:\\TMP\\X\\"},
        {L"\\\\?\\c:\\Temp", L"C:\\TEMP\\"},
        {L"\\\\?\\UNC\\srv\\share\\t", L"\\\\SRV\\SHARE\\T\\"},
        {L"\\\\srv\\share\\t\\", L"\\\\SRV\\SHARE\\T\\"},
        {L"//srv//share", L"\\\\SRV\\SHARE\\"},
        {L"\\\\\\srv\\share", L"\\\\SRV\\SHARE\\"},
        // Beyond ASCII the system's case table applies, before this is called.
        {L"C:\\\x00E9t\x00E9\\", L"C:\\\x00E9T\x00E9\\"},
        {L"C:\\\x4E34\x65F6", L"C:\\\x4E34\x65F6\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NormaliseFolder(c.folder), c.expected) << Narrow(c.folder);
        EXPECT_EQ(NormaliseFolder(NormaliseFolder(c.folder)), NormaliseFolder(c.folder)) << Narrow(c.folder);
    }
}

} // namespace
