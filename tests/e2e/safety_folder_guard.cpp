// Keeps the program's safety folder (in the user's local application data) out of the way of the
// tests: the user's own folder is moved aside for the run and put back at the end, and every test
// starts with an empty folder, so copies saved by one test are never recovered by the next.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "harness.h"

namespace e2e {
namespace {

void RemoveFolder(const std::wstring& folder) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

class SafetyFolderGuard : public ::testing::Environment, public ::testing::EmptyTestEventListener {
  public:
    void SetUp() override {
        m_folder = SafetyFolderPath();
        if (m_folder.empty())
            return;
        m_aside = m_folder + L".e2e-user-" + std::to_wstring(GetCurrentProcessId());
        if (GetFileAttributesW(m_folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (MoveFileW(m_folder.c_str(), m_aside.c_str()))
                m_movedAside = true;
            else
                std::fwprintf(stderr, L"e2e: could not move %ls aside\n", m_folder.c_str());
        }
    }

    void TearDown() override {
        if (m_folder.empty())
            return;
        RemoveFolder(m_folder);
        if (m_movedAside && !MoveFileW(m_aside.c_str(), m_folder.c_str()))
            std::fwprintf(stderr, L"e2e: the user's folder is still at %ls\n", m_aside.c_str());
    }

    void OnTestStart(const ::testing::TestInfo&) override {
        if (!m_folder.empty())
            RemoveFolder(m_folder);
    }

  private:
    std::wstring m_folder;
    std::wstring m_aside;
    bool m_movedAside = false;
};

const bool g_registered = [] {
    auto* guard = new SafetyFolderGuard;
    ::testing::AddGlobalTestEnvironment(guard);
    // The listener list owns what it is given; the environment list owns the same object, so the
    // listener is a forwarding shell.
    struct Forward : ::testing::EmptyTestEventListener {
        explicit Forward(SafetyFolderGuard* g) : guard(g) {}
        void OnTestStart(const ::testing::TestInfo& info) override { guard->OnTestStart(info); }
        SafetyFolderGuard* guard;
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new Forward(guard));
    return true;
}();

} // namespace
} // namespace e2e
