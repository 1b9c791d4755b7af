// The close and the sign-out against a sync server that takes the connection and then never answers,
// or answers a byte a second: only the real program shows whether WinHTTP's waits, the worker's
// thread and the process's exit all give way within the promised budget, and that the note typed
// just before is on disk afterwards.
#include "safety_helpers.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "sync/sync_account.h"

namespace e2e::safety {
namespace {

// A loopback server that accepts every connection and then either reads forever without a word or,
// once a request's headers arrived, sends a long reply one byte a second.
class StuckServer {
  public:
    explicit StuckServer(bool trickle) : m_trickle(trickle) {
        WSADATA data{};
        m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        if (m_listener == INVALID_SOCKET ||
            bind(m_listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            listen(m_listener, 16) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &size) != 0)
            return;
        m_port = ntohs(at.sin_port);
        m_accepting = std::thread([this] { Accept(); });
    }
    ~StuckServer() {
        m_stop = true;
        closesocket(m_listener);
        {
            std::lock_guard lock(m_mutex);
            for (SOCKET s : m_clients)
                closesocket(s);
        }
        if (m_accepting.joinable())
            m_accepting.join();
        for (std::thread& t : m_serving)
            t.join();
        if (m_started)
            WSACleanup();
    }
    StuckServer(const StuckServer&) = delete;
    StuckServer& operator=(const StuckServer&) = delete;

    int Port() const { return m_port; }
    int Connections() const { return m_connections; }

  private:
    void Accept() {
        for (;;) {
            const SOCKET client = accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET || m_stop)
                return;
            std::lock_guard lock(m_mutex);
            m_clients.push_back(client);
            ++m_connections;
            m_serving.emplace_back([this, client] { Serve(client); });
        }
    }
    void Serve(SOCKET client) {
        std::string request;
        char buffer[4096];
        while (!m_stop) {
            const int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(n));
            if (m_trickle && request.find("\r\n\r\n") != std::string::npos)
                break;
        }
        const std::string reply = "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                                  "Content-Length: 100000\r\n\r\n<?xml version=\"1.0\"?>";
        for (std::size_t i = 0; !m_stop && i < reply.size(); ++i) {
            if (send(client, reply.data() + i, 1, 0) != 1)
                return;
            for (int tenth = 0; tenth < 10 && !m_stop; ++tenth)
                Sleep(100);
        }
    }

    const bool m_trickle;
    bool m_started = false;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::vector<SOCKET> m_clients;
    std::thread m_accepting;
    std::vector<std::thread> m_serving;
};

struct Way {
    const char* name;
    bool trickle; // the server answers a byte a second; otherwise not at all
    bool signOut; // WM_ENDSESSION instead of WM_CLOSE
    DWORD budget; // what the widget promises, in ms
};

// Wine under a loaded machine adds its own seconds to a process's end: the bound is the promise
// plus a margin that keeps this from ever flaking, not a measurement.
constexpr DWORD kMarginMs = 3000;

class CloseBound : public Safety, public ::testing::WithParamInterface<Way> {};

TEST_P(CloseBound, TheProcessEndsWithinItsBudgetAndTheTypedNoteIsSaved) {
    const Way& way = GetParam();
    StuckServer server(way.trickle);
    ASSERT_NE(server.Port(), 0) << "no loopback port to listen on";

    QuillProcess app;
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", NotesBytesOf("before")));
    SyncAccount account;
    account.serverUrl = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    account.user = "me";
    std::error_code ec;
    std::filesystem::create_directories(DiaryFolder(app), ec);
    ASSERT_TRUE(WriteWholeFile(DiaryFolder(app) + kSyncAccountFileName, EncodeSyncAccount(account)));

    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    // The sync after the first paint is stuck on the server before anything is typed.
    ASSERT_TRUE(WaitUntil([&] { return server.Connections() > 0; }, 15000))
        << "the widget never reached the sync server";
    ASSERT_TRUE(BringToFront(run.window));
    TypeIntoNoteBox(run, L"typed-before-the-end");

    const ULONGLONG asked = GetTickCount64();
    if (way.signOut) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(run.window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, way.budget + kMarginMs,
                            &ignored);
    } else {
        PostMessageW(run.window, WM_CLOSE, 0, 0);
    }
    const bool gone = app.WaitForExit(way.budget + kMarginMs);
    const ULONGLONG took = GetTickCount64() - asked;
    RecordProperty("ended_after_ms", std::to_string(took));
    EXPECT_TRUE(gone) << "still running " << took << " ms after the request to end";
    EXPECT_LE(took, way.budget + kMarginMs);
    if (!gone) {
        app.Kill();
        app.WaitForExit();
    }
    const std::optional<std::string> notes = app.ReadTempFile(L"nts.ini");
    ASSERT_TRUE(notes.has_value());
    EXPECT_NE(notes->find("typed-before-the-end"), std::string::npos) << "the typed note is not in nts.ini";
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CloseBound,
    ::testing::Values(Way{"CloseSilent", false, false, 4000}, Way{"SignOutSilent", false, true, 1500},
                      Way{"CloseTrickling", true, false, 4000}, Way{"SignOutTrickling", true, true, 1500}),
    [](const ::testing::TestParamInfo<Way>& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e::safety
