// The sync's HTTP over WinHTTP. Every entry is looked up in the system's winhttp.dll at run time.
// One session and one connection handle for the server's origin: WinHTTP keeps the connection alive
// between the requests made on it. Redirects, credentials and reply sizes are decided here rather
// than by WinHTTP, so a password never follows a redirect to another host and a reply never grows
// past what the caller can take.
#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <vector>

#include "sync/http_digest.h"
#include "sync/http_url.h"
#include "sync/winhttp_transport.h"
#include "text/text_codec.h"
#include "ui/dll_search.h"
#include "ui/handle.h"
#include "ui/text.h"

namespace {

constexpr int kMaxRedirects = 5;
constexpr DWORD kReadPiece = 64 * 1024;
// Requests of one SendAll in flight at once: as many as the sync writes at a time.
constexpr std::size_t kMaxInFlight = kWritesAtOnce;

struct WinHttpApi {
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpConnect) connect = nullptr;
    decltype(&::WinHttpOpenRequest) openRequest = nullptr;
    decltype(&::WinHttpAddRequestHeaders) addRequestHeaders = nullptr;
    decltype(&::WinHttpSendRequest) sendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
    decltype(&::WinHttpReadData) readData = nullptr;
    decltype(&::WinHttpSetOption) setOption = nullptr;
    decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
    decltype(&::WinHttpQueryAuthSchemes) queryAuthSchemes = nullptr;
    decltype(&::WinHttpSetCredentials) setCredentials = nullptr;
    decltype(&::WinHttpCloseHandle) closeHandle = nullptr;

    bool Ready() const {
        return open && connect && openRequest && addRequestHeaders && sendRequest && receiveResponse &&
               queryHeaders && readData && setOption && setTimeouts && queryAuthSchemes && setCredentials &&
               closeHandle;
    }
};

template <typename Fn> void Find(HMODULE module, Fn& fn, const char* name) {
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

const WinHttpApi& Api() {
    static const WinHttpApi api = [] {
        WinHttpApi a;
        HMODULE m = ui::LoadSystemDll(L"winhttp.dll");
        Find(m, a.open, "WinHttpOpen");
        Find(m, a.connect, "WinHttpConnect");
        Find(m, a.openRequest, "WinHttpOpenRequest");
        Find(m, a.addRequestHeaders, "WinHttpAddRequestHeaders");
        Find(m, a.sendRequest, "WinHttpSendRequest");
        Find(m, a.receiveResponse, "WinHttpReceiveResponse");
        Find(m, a.queryHeaders, "WinHttpQueryHeaders");
        Find(m, a.readData, "WinHttpReadData");
        Find(m, a.setOption, "WinHttpSetOption");
        Find(m, a.setTimeouts, "WinHttpSetTimeouts");
        Find(m, a.queryAuthSchemes, "WinHttpQueryAuthSchemes");
        Find(m, a.setCredentials, "WinHttpSetCredentials");
        Find(m, a.closeHandle, "WinHttpCloseHandle");
        return a;
    }();
    return api;
}

std::wstring Wide(std::string_view utf8) {
    return ui::WideFromUtf8(utf8);
}

std::string Narrow(std::wstring_view text) {
    return text_codec::Utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void Wipe(std::wstring& text) {
    if (!text.empty()) {
        SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    }
}

void Wipe(std::string& text) {
    if (!text.empty()) {
        SecureZeroMemory(text.data(), text.size());
    }
}

TransportError ErrorOf(DWORD code) {
    switch (code) {
    // Wine's WinHTTP passes some socket errors on as they are.
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return TransportError::kResolve;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return TransportError::kConnect;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
        return TransportError::kTimeout;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
        return TransportError::kCertificate;
    case ERROR_WINHTTP_REDIRECT_FAILED:
        return TransportError::kRedirect;
    default:
        // Reset, aborted, a reply that stopped making sense, a handle closed by Cancel.
        return TransportError::kCut;
    }
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::vector<HttpHeader> ParseHeaders(std::string_view raw) {
    std::vector<HttpHeader> headers;
    bool statusLine = true;
    while (!raw.empty()) {
        const std::size_t end = raw.find("\r\n");
        std::string_view line = raw.substr(0, end);
        raw = end == std::string_view::npos ? std::string_view() : raw.substr(end + 2);
        if (statusLine) {
            statusLine = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos) {
            continue;
        }
        std::string_view value = line.substr(colon + 1);
        const std::size_t first = value.find_first_not_of(" \t");
        value = first == std::string_view::npos ? std::string_view() : value.substr(first);
        value = value.substr(0, value.find_last_not_of(" \t") + 1);
        headers.push_back({std::string(line.substr(0, colon)), std::string(value)});
    }
    return headers;
}

void CloseInternet(HINTERNET h) {
    Api().closeHandle(h);
}
using InternetHandle = ui::Unique<HINTERNET, CloseInternet>;
using KernelHandle = ui::Unique<HANDLE, ui::CloseKernelHandle>;

// Owned by the transport and by every Send still running, so a call abandoned by Cancel finishes
// with its handles intact.
struct Shared {
    HttpUrl origin;
    std::wstring host;
    std::wstring user;
    std::wstring password;
    std::string authorization; // the Basic header's value; empty without credentials
    int timeoutMs = 30000;
    int deadlineMs = 300000;
    InternetHandle session;
    InternetHandle connection;
    std::mutex lock;
    std::vector<struct CallSlot*> live; // every exchange in flight, under lock: Cancel closes them all
    bool cancelled = false;
    KernelHandle cancelEvent;

    ~Shared() {
        Wipe(password);
        Wipe(authorization);
    }
};

// What a deadline or a Cancel needs of one Send running on its thread.
struct CallSlot {
    std::atomic<bool> abandoned{false}; // past its deadline: no further request is made for it
    HINTERNET current = nullptr;        // its exchange in flight, under Shared::lock; closed by
                                        // Cancel or the deadline, else by the exchange itself
};

HttpResponse Failed(TransportError error) {
    HttpResponse r;
    r.error = error;
    return r;
}

// The request handle of one exchange, given up to Cancel and the deadline while it is in flight.
class Exchange {
  public:
    Exchange(Shared& shared, HINTERNET request, CallSlot& slot)
        : m_shared(shared), m_slot(slot), m_request(request) {
        std::lock_guard<std::mutex> hold(shared.lock);
        if (shared.cancelled || slot.abandoned) {
            Api().closeHandle(request);
            m_request = nullptr;
        } else {
            slot.current = request;
            shared.live.push_back(&slot);
        }
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    ~Exchange() {
        std::lock_guard<std::mutex> hold(m_shared.lock);
        if (!m_request) {
            return;
        }
        std::erase(m_shared.live, &m_slot);
        if (m_slot.current == m_request) {
            m_slot.current = nullptr;
            Api().closeHandle(m_request);
        }
    }
    HINTERNET get() const { return m_request; }

  private:
    Shared& m_shared;
    CallSlot& m_slot;
    HINTERNET m_request;
};

// Ends the slot's exchange in flight, if any; under Shared::lock.
void CloseCurrent(CallSlot& slot) {
    if (slot.current) {
        Api().closeHandle(slot.current);
        slot.current = nullptr;
    }
}

TransportError LastError(Shared& shared) {
    const DWORD code = ::GetLastError();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.cancelled ? TransportError::kCut : ErrorOf(code);
}

// A request handle on the origin's connection with this transport's own rules on it.
HINTERNET OpenRequest(Shared& shared, const std::string& method, const std::string& path) {
    const WinHttpApi& api = Api();
    const std::wstring wideMethod = Wide(method);
    const std::wstring widePath = Wide(path);
    HINTERNET request = api.openRequest(shared.connection.get(), wideMethod.c_str(), widePath.c_str(),
                                        nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        shared.origin.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) {
        return nullptr;
    }
    // WinHTTP would follow a redirect anywhere, and answer a server's NTLM challenge with the
    // Windows logon: both are decided here instead.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    api.setOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    // The older switch too, for a WinHTTP that knows only that one.
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    api.setOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
    // The wait for a reply's headers has a timeout of its own (90 s by default), which the
    // session's timeouts do not set.
    DWORD timeout = static_cast<DWORD>(shared.timeoutMs);
    api.setTimeouts(request, shared.timeoutMs, shared.timeoutMs, shared.timeoutMs, shared.timeoutMs);
    api.setOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof timeout);
    DWORD high = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    api.setOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &high, sizeof high);
    return request;
}

// The caller's headers and the credentials, kept on the request handle so a second send for a
// Digest challenge can drop the Basic line.
bool AddHeaders(Shared& shared, HINTERNET request, const std::vector<HttpHeader>& extra) {
    std::wstring headers;
    for (const HttpHeader& h : extra) {
        // A header is one line; a value that would start another is dropped.
        if (h.name.find_first_of(":\r\n") != std::string::npos ||
            h.value.find_first_of("\r\n") != std::string::npos) {
            continue;
        }
        headers += Wide(h.name) + L": " + Wide(h.value) + L"\r\n";
    }
    if (!shared.authorization.empty()) {
        headers += L"Authorization: " + Wide(shared.authorization) + L"\r\n";
    }
    const bool added =
        headers.empty() || Api().addRequestHeaders(request, headers.c_str(), static_cast<DWORD>(-1L),
                                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    Wipe(headers);
    return added;
}

std::vector<HttpHeader> ReplyHeaders(HINTERNET request);

// The Digest line for the send again, in place of the Basic one: an answer of our own where one can
// be made (Wine's WinHTTP has no Digest), else WinHTTP's.
bool AnswerDigestChallenge(Shared& shared, HINTERNET request, const std::string& method,
                           const std::string& path) {
    const WinHttpApi& api = Api();
    std::string password = Narrow(shared.password);
    std::random_device random;
    const std::string cnonce = std::to_string(random()) + "x" + std::to_string(random());
    const std::optional<std::string> own =
        AnswerDigest(ReplyHeaders(request), {method, path, Narrow(shared.user), password, cnonce});
    Wipe(password);
    if (!own) {
        if (!api.setCredentials(request, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_DIGEST,
                                shared.user.c_str(), shared.password.c_str(), nullptr))
            return false;
        // An empty value removes the header.
        api.addRequestHeaders(request, L"Authorization:", static_cast<DWORD>(-1L),
                              WINHTTP_ADDREQ_FLAG_REPLACE);
        return true;
    }
    const std::wstring line = L"Authorization: " + Wide(*own) + L"\r\n";
    return api.addRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1L),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
}

// Sends the request and waits for the reply's status, answering a Digest challenge once, on this
// same origin's connection; Basic was offered up front already. 0 when the exchange failed (*error
// says how).
DWORD SendForStatus(Shared& shared, HINTERNET request, const std::string& method, const std::string& path,
                    const std::string& body, TransportError& error, bool* sendStopped) {
    const WinHttpApi& api = Api();
    const DWORD bodySize = static_cast<DWORD>(body.size());
    bool digestTried = false;
    for (;;) {
        const bool sent = api.sendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                          bodySize ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA,
                                          bodySize, bodySize, 0);
        if (!sent || !api.receiveResponse(request, nullptr)) {
            error = LastError(shared);
            if (sendStopped) {
                *sendStopped = bodySize && (error == TransportError::kCut ||
                                            (!sent && error == TransportError::kTimeout));
            }
            return 0;
        }
        DWORD status = 0, size = sizeof status;
        if (!api.queryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            error = TransportError::kCut;
            return 0;
        }
        DWORD supported = 0, first = 0, target = 0;
        if (status != 401 || digestTried || shared.user.empty() ||
            !api.queryAuthSchemes(request, &supported, &first, &target) ||
            !(supported & WINHTTP_AUTH_SCHEME_DIGEST) || (supported & WINHTTP_AUTH_SCHEME_BASIC) ||
            target != WINHTTP_AUTH_TARGET_SERVER || !AnswerDigestChallenge(shared, request, method, path)) {
            return status;
        }
        digestTried = true;
    }
}

std::vector<HttpHeader> ReplyHeaders(HINTERNET request) {
    const WinHttpApi& api = Api();
    DWORD rawSize = 0;
    api.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                     WINHTTP_NO_OUTPUT_BUFFER, &rawSize, WINHTTP_NO_HEADER_INDEX);
    if (!rawSize) {
        return {};
    }
    std::wstring raw(rawSize / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    if (!api.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(),
                          &got, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    raw.resize(got / sizeof(wchar_t));
    return ParseHeaders(Narrow(raw));
}

// The body into response.body, never past maxBody nor short of an announced length.
void ReadBody(Shared& shared, HINTERNET request, std::optional<unsigned long long> length,
              std::size_t maxBody, HttpResponse& response) {
    std::string& data = response.body;
    for (;;) {
        const std::size_t had = data.size();
        data.resize(had + kReadPiece);
        DWORD got = 0;
        if (!Api().readData(request, data.data() + had, kReadPiece, &got)) {
            const TransportError error = LastError(shared);
            data.clear();
            response.error = error;
            return;
        }
        data.resize(had + got);
        if (got == 0) {
            break;
        }
        if (data.size() > maxBody) {
            data.clear();
            response.error = TransportError::kTooLarge;
            return;
        }
    }
    // The connection closed before the announced length arrived.
    if (length && data.size() != *length) {
        data.clear();
        response.error = TransportError::kCut;
    }
}

HttpResponse ExchangeOnce(Shared& shared, const std::string& method, const std::string& path,
                          const std::vector<HttpHeader>& extra, const std::string& body, std::size_t maxBody,
                          CallSlot& slot, bool* sendStopped = nullptr) {
    HINTERNET opened = OpenRequest(shared, method, path);
    if (!opened) {
        return Failed(LastError(shared));
    }
    Exchange exchange(shared, opened, slot);
    HINTERNET request = exchange.get();
    if (!request) {
        return Failed(TransportError::kCut);
    }
    if (!AddHeaders(shared, request, extra)) {
        return Failed(LastError(shared));
    }
    if (body.size() > MAXDWORD) {
        return Failed(TransportError::kTooLarge);
    }
    TransportError error = TransportError::kNone;
    const DWORD status = SendForStatus(shared, request, method, path, body, error, sendStopped);
    if (!status) {
        return Failed(error);
    }
    HttpResponse response;
    response.status = static_cast<int>(status);
    response.headers = ReplyHeaders(request);

    // A length announced beyond the limit is refused before a byte of it is read; closing the
    // request unread drops the connection rather than draining it.
    std::optional<unsigned long long> length;
    const std::string announced = response.Header("Content-Length");
    if (!announced.empty()) {
        length = 0;
        for (const char c : announced) {
            if (c < '0' || c > '9' || *length > (~0ull - 9) / 10) {
                return Failed(TransportError::kCut);
            }
            *length = *length * 10 + static_cast<unsigned>(c - '0');
        }
        if (*length > maxBody) {
            response.error = TransportError::kTooLarge;
            return response;
        }
    }
    if (method == "HEAD" || status == 204 || status == 304) {
        return response;
    }
    ReadBody(shared, request, length, maxBody, response);
    return response;
}

// A server that refuses the password may answer 401 as soon as it has the headers and close on the
// body still coming (the reset that meets the body's send takes the 401 with it), or stop reading
// the body and wait: a request without a body, which never writes, then asks again whether the
// password is what it refuses.
bool RefusedPassword(Shared& shared, const std::string& path, CallSlot& slot) {
    const HttpResponse probe = ExchangeOnce(shared, "PROPFIND", path, {{"Depth", "0"}}, {}, kReadPiece, slot);
    return probe.error == TransportError::kNone && probe.status == 401;
}

HttpResponse Perform(Shared& shared, const HttpRequest& request, std::size_t maxBody, CallSlot& slot) {
    const std::optional<HttpUrl> url = ParseHttpUrl(request.url);
    // Requests go to the origin the credentials were given for and nowhere else.
    if (!url || !url->SameOrigin(shared.origin)) {
        return Failed(TransportError::kRedirect);
    }
    HttpUrl at = *url;
    std::string method = request.method;
    std::string body = request.body;
    for (int hops = 0;; ++hops) {
        if (slot.abandoned) {
            return Failed(TransportError::kTimeout);
        }
        bool sendStopped = false;
        HttpResponse response =
            ExchangeOnce(shared, method, at.path, request.headers, body, maxBody, slot, &sendStopped);
        if (sendStopped && !slot.abandoned && RefusedPassword(shared, at.path, slot)) {
            HttpResponse refused;
            refused.status = 401;
            return refused;
        }
        if (response.error != TransportError::kNone || !IsRedirect(response.status)) {
            return response;
        }
        const std::string location = response.Header("Location");
        if (location.empty()) {
            return response;
        }
        const std::optional<HttpUrl> next = ResolveLocation(at, location);
        if (!next || !next->SameOrigin(shared.origin) || hops == kMaxRedirects) {
            response.error = TransportError::kRedirect;
            response.body.clear();
            return response;
        }
        if (response.status == 303 ||
            ((response.status == 301 || response.status == 302) && method == "POST")) {
            method = "GET";
            body.clear();
        }
        at = *next;
    }
}

// One Send, run on a thread of its own so the caller can walk away from it at Cancel even where
// closing the handle does not end a blocked call at once.
struct Call {
    std::shared_ptr<Shared> shared;
    HttpRequest request;
    std::size_t maxBody = 0;
    HttpResponse response;
    KernelHandle done;
    CallSlot slot;
};

DWORD WINAPI RunCall(void* parameter) {
    auto* call = static_cast<std::shared_ptr<Call>*>(parameter);
    (*call)->response = Perform(*(*call)->shared, (*call)->request, (*call)->maxBody, (*call)->slot);
    ::SetEvent((*call)->done.get());
    delete call;
    return 0;
}

// The call started on its thread; without a thread, carried out here and already done.
std::shared_ptr<Call> StartCall(const std::shared_ptr<Shared>& shared, const HttpRequest& request,
                                std::size_t maxBody) {
    auto call = std::make_shared<Call>();
    call->shared = shared;
    call->request = request;
    call->maxBody = maxBody;
    call->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto* parameter = new std::shared_ptr<Call>(call);
    const KernelHandle thread(call->done ? ::CreateThread(nullptr, 0, RunCall, parameter, 0, nullptr)
                                         : nullptr);
    if (!thread) {
        delete parameter;
        call->response = Perform(*shared, request, maxBody, call->slot);
        call->done.reset();
    }
    return call;
}

// Waits for calls started together, until each is done, the deadline passes (what is left is
// abandoned, its exchange closed, kTimeout) or Cancel is called (kCut).
void AwaitCalls(Shared& shared, std::vector<std::shared_ptr<Call>>& calls,
                std::vector<HttpResponse>& responses) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(shared.deadlineMs);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i]->done) {
            open.push_back(i);
        } else {
            responses[i] = std::move(calls[i]->response);
        }
    }
    while (!open.empty()) {
        std::vector<HANDLE> waits;
        for (const std::size_t i : open) {
            waits.push_back(calls[i]->done.get());
        }
        waits.push_back(shared.cancelEvent.get());
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
        const DWORD waited =
            ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, left);
        if (waited >= WAIT_OBJECT_0 && waited < WAIT_OBJECT_0 + open.size()) {
            const std::size_t i = open[waited - WAIT_OBJECT_0];
            responses[i] = std::move(calls[i]->response);
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(waited - WAIT_OBJECT_0));
            continue;
        }
        const bool late = waited == WAIT_TIMEOUT;
        // Closing its handle ends an exchange in flight; the call's thread then finishes by itself,
        // and the connection is opened afresh for the next request.
        std::lock_guard<std::mutex> hold(shared.lock);
        for (const std::size_t i : open) {
            calls[i]->slot.abandoned = true;
            CloseCurrent(calls[i]->slot);
            responses[i] = Failed(late ? TransportError::kTimeout : TransportError::kCut);
        }
        open.clear();
    }
}

} // namespace

struct WinHttpTransport::Impl {
    std::shared_ptr<Shared> shared;
};

WinHttpTransport::WinHttpTransport(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
WinHttpTransport::~WinHttpTransport() = default;

std::unique_ptr<WinHttpTransport> WinHttpTransport::Open(const TransportOptions& options, SyncStatus& why) {
    const std::optional<HttpUrl> url = ParseHttpUrl(options.url);
    // Plain http carries the password readable by anyone on the way; only this machine may have it.
    if (!url || (!url->secure && !IsLoopbackHost(url->host))) {
        why = SyncStatus::kNoCalendar;
        return nullptr;
    }
    const WinHttpApi& api = Api();
    if (!api.Ready()) {
        why = SyncStatus::kOffline;
        return nullptr;
    }
    auto shared = std::make_shared<Shared>();
    shared->origin = *url;
    shared->host = Wide(url->host);
    if (!options.user.empty()) {
        shared->user = Wide(options.user);
        shared->password = Wide(options.password);
        shared->authorization = BasicAuthorization(options.user, options.password);
    }
    shared->cancelEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // No proxy between this machine and itself.
    const DWORD access = url->secure || !IsLoopbackHost(url->host) ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
                                                                   : WINHTTP_ACCESS_TYPE_NO_PROXY;
    shared->session.reset(api.open(L"Quillidar", access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!shared->session.get() || !shared->cancelEvent) {
        why = SyncStatus::kOffline;
        return nullptr;
    }
    shared->timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : 30000;
    shared->deadlineMs = options.deadlineMs > 0 ? options.deadlineMs : 300000;
    const int timeout = shared->timeoutMs;
    api.setTimeouts(shared->session.get(), timeout, timeout, timeout, timeout);
    shared->connection.reset(
        api.connect(shared->session.get(), shared->host.c_str(), static_cast<INTERNET_PORT>(url->port), 0));
    if (!shared->connection.get()) {
        why = SyncStatus::kOffline;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->shared = std::move(shared);
    why = SyncStatus::kOk;
    return std::unique_ptr<WinHttpTransport>(new WinHttpTransport(std::move(impl)));
}

HttpResponse WinHttpTransport::Send(const HttpRequest& request, std::size_t maxBody) {
    return std::move(SendAll({request}, maxBody)[0]);
}

std::vector<HttpResponse> WinHttpTransport::SendAll(const std::vector<HttpRequest>& requests,
                                                    std::size_t maxBody, const std::atomic<bool>* stop) {
    Shared& shared = *m_impl->shared;
    std::vector<HttpResponse> responses(requests.size());
    // A few at a time, each on a connection of its own from WinHTTP's pool: a server that holds
    // back its acknowledgement of each request costs one wait for all of them.
    for (std::size_t at = 0; at < requests.size(); at += kMaxInFlight) {
        const std::size_t end = std::min(requests.size(), at + kMaxInFlight);
        std::vector<std::shared_ptr<Call>> calls;
        for (std::size_t i = at; i < end; ++i) {
            {
                std::lock_guard<std::mutex> hold(shared.lock);
                if (shared.cancelled || (stop && stop->load())) {
                    break;
                }
            }
            calls.push_back(StartCall(m_impl->shared, requests[i], maxBody));
        }
        std::vector<HttpResponse> answered(calls.size());
        AwaitCalls(shared, calls, answered);
        for (std::size_t k = 0; k < answered.size(); ++k) {
            responses[at + k] = std::move(answered[k]);
        }
        for (std::size_t i = at + calls.size(); i < requests.size(); ++i) {
            responses[i].error = TransportError::kCut; // never sent
        }
        if (calls.size() < end - at) {
            break;
        }
    }
    return responses;
}

void WinHttpTransport::Cancel() {
    Shared& shared = *m_impl->shared;
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.cancelled = true;
    ::SetEvent(shared.cancelEvent.get());
    for (CallSlot* slot : shared.live) {
        CloseCurrent(*slot);
    }
}
