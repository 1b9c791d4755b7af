// The floor of a push through WinHTTP: the PUTs the sync's first push makes (the bench's bodies,
// one per day, If-None-Match: *, Basic credentials), made the plainest way WinHTTP allows: one
// session, one connection handle, THREADS threads each taking the next day until none is left, every
// request on WinHTTP's kept-alive pool. What the sync costs beyond this is the sync's own; what this
// costs beyond curl is WinHTTP's (and Wine's) own. One line goes to the file named:
//   SECONDS PUTS_CONFIRMED
//   winhttp_put_floor --host=H --port=P --path=/COLLECTION/ --user=U --password=W --work=DIR
//                     --threads=N --out=FILE
// DIR is the bench's work folder (days.txt, bodies/DAY.ics).
#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::wstring host, path, user, password, work, out;
    int port = 80;
    int threads = 4;
};

std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string Base64(const std::string& in) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            v |= static_cast<unsigned char>(in[i + 2]);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < in.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? digits[v & 63] : '=';
    }
    return out;
}

bool ParseArgs(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const std::size_t eq = a.find(L'=');
        if (eq == std::wstring::npos) {
            return false;
        }
        const std::wstring name = a.substr(0, eq + 1), v = a.substr(eq + 1);
        if (name == L"--host=")
            o.host = v;
        else if (name == L"--port=")
            o.port = std::stoi(v);
        else if (name == L"--path=")
            o.path = v;
        else if (name == L"--user=")
            o.user = v;
        else if (name == L"--password=")
            o.password = v;
        else if (name == L"--work=")
            o.work = v;
        else if (name == L"--threads=")
            o.threads = std::stoi(v);
        else if (name == L"--out=")
            o.out = v;
        else
            return false;
    }
    return !o.host.empty() && !o.path.empty() && !o.work.empty() && !o.out.empty() && o.threads > 0;
}

struct Day {
    std::wstring path;
    std::string body;
};

std::vector<Day> ReadDays(const Options& o) {
    std::vector<Day> days;
    std::ifstream list((o.work + L"\\days.txt").c_str());
    std::string day;
    while (std::getline(list, day)) {
        if (day.empty())
            continue;
        std::ifstream f((o.work + L"\\bodies\\" + std::wstring(day.begin(), day.end()) + L".ics").c_str(),
                        std::ios::binary);
        std::ostringstream body;
        body << f.rdbuf();
        days.push_back({o.path + L"floor-day-" + std::wstring(day.begin(), day.end()) + L".ics", body.str()});
    }
    return days;
}

// One PUT and its reply read to the end; true when the server confirmed it.
bool Put(HINTERNET connection, const std::wstring& headers, const Day& day) {
    HINTERNET r = ::WinHttpOpenRequest(connection, L"PUT", day.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                       WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (!r)
        return false;
    const DWORD size = static_cast<DWORD>(day.body.size());
    bool ok = ::WinHttpSendRequest(r, headers.c_str(), static_cast<DWORD>(-1L),
                                   const_cast<char*>(day.body.data()), size, size, 0) &&
              ::WinHttpReceiveResponse(r, nullptr);
    DWORD status = 0, len = sizeof status;
    ok = ok && ::WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &len, WINHTTP_NO_HEADER_INDEX);
    char piece[4096];
    DWORD got = 0;
    while (ok && ::WinHttpReadData(r, piece, sizeof piece, &got) && got) {
    }
    ::WinHttpCloseHandle(r);
    return ok && status >= 200 && status < 300;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        std::fwprintf(stderr, L"usage: winhttp_put_floor --host= --port= --path= --user= --password= "
                              L"--work= --threads= --out=\n");
        return 2;
    }
    const std::vector<Day> days = ReadDays(o);
    const std::string auth = Base64(Utf8(o.user) + ":" + Utf8(o.password));
    std::wstring headers = L"If-None-Match: *\r\nContent-Type: text/calendar; charset=utf-8\r\n";
    if (!o.user.empty())
        headers += L"Authorization: Basic " + std::wstring(auth.begin(), auth.end()) + L"\r\n";
    HINTERNET session = ::WinHttpOpen(L"put-floor", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session ? ::WinHttpConnect(session, o.host.c_str(), static_cast<INTERNET_PORT>(o.port), 0) : nullptr;
    if (!connection) {
        std::fwprintf(stderr, L"winhttp_put_floor: no connection\n");
        return 1;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<int> confirmed{0};
    const ULONGLONG t0 = ::GetTickCount64();
    std::vector<std::thread> workers;
    for (int t = 0; t < o.threads; ++t) {
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < days.size();) {
                confirmed += Put(connection, headers, days[i]) ? 1 : 0;
            }
        });
    }
    for (std::thread& w : workers)
        w.join();
    const double seconds = static_cast<double>(::GetTickCount64() - t0) / 1000.0;
    ::WinHttpCloseHandle(connection);
    ::WinHttpCloseHandle(session);
    FILE* f = _wfopen(o.out.c_str(), L"w");
    if (!f)
        return 1;
    std::fprintf(f, "%.2f %d\n", seconds, confirmed.load());
    std::fclose(f);
    return confirmed.load() == static_cast<int>(days.size()) ? 0 : 1;
}
