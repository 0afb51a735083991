// Health URLs on Windows, through WinHTTP.
//
// The session is opened once for the run, in asynchronous mode: only then can
// the wait for the answer also wait on the stop event. WinHTTP keeps the
// connections of a session, so one that the server keeps open serves the
// next check. Each request has an exchange record that WinHTTP's callback
// threads fill in; it lives until the request handle is closed.
#include "platform/http.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>

#include "platform/stop.h"
#include "platform/win32/stop.h"
#include "platform/win32/system_error.h"

namespace procguard {

namespace {

struct Exchange {
    HANDLE done = nullptr;        // set once the exchange has ended, one way or another
    std::atomic<DWORD> status{0}; // the answer's status once its headers are in
    std::atomic<DWORD> error{0};  // the WinHTTP error that ended it
    char body[4096];              // the body is read to its end and dropped
};

void finish(Exchange& exchange, DWORD error) {
    if (error != 0) exchange.error = error;
    SetEvent(exchange.done);
}

// Reading the body to its end lets the session keep the connection.
void readOn(HINTERNET request, Exchange& exchange) {
    if (!WinHttpQueryDataAvailable(request, nullptr)) finish(exchange, 0);
}

void CALLBACK onRequestEvent(HINTERNET request, DWORD_PTR context, DWORD event, void* information, DWORD length) {
    auto* exchange = reinterpret_cast<Exchange*>(context);
    if (exchange == nullptr) return; // the connection handle, which has none
    switch (event) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        if (!WinHttpReceiveResponse(request, nullptr)) finish(*exchange, GetLastError());
        break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: {
        DWORD status = 0;
        DWORD size = sizeof status;
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        exchange->status = status;
        readOn(request, *exchange);
        break;
    }
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
        const DWORD available = *static_cast<DWORD*>(information);
        if (available == 0) {
            finish(*exchange, 0);
        } else if (!WinHttpReadData(request, exchange->body,
                                    available < sizeof exchange->body ? available : sizeof exchange->body, nullptr)) {
            finish(*exchange, 0);
        }
        break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        if (length == 0) {
            finish(*exchange, 0);
        } else {
            readOn(request, *exchange);
        }
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        finish(*exchange, static_cast<WINHTTP_ASYNC_RESULT*>(information)->dwError);
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        // The last call for this request: nothing refers to the exchange now.
        CloseHandle(exchange->done);
        delete exchange;
        break;
    default: break;
    }
}

// Opened on first use and kept for the run; null when WinHTTP refused.
HINTERNET session() {
    static const HINTERNET opened = [] {
        HINTERNET handle = WinHttpOpen(L"procguard", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
        if (handle != nullptr &&
            WinHttpSetStatusCallback(handle, onRequestEvent,
                                     WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                     0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            WinHttpCloseHandle(handle);
            handle = nullptr;
        }
        return handle;
    }();
    return opened;
}

std::wstring noAnswer(const std::wstring& url, std::uint32_t timeoutMs) {
    return L"no answer from " + url + L" within " + std::to_wstring(timeoutMs) + L" ms";
}

std::wstring failureReason(DWORD error, const std::wstring& url, std::uint32_t timeoutMs) {
    switch (error) {
    case ERROR_WINHTTP_TIMEOUT: return noAnswer(url, timeoutMs);
    case ERROR_WINHTTP_CANNOT_CONNECT: return url + L": cannot connect";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return url + L": host not found";
    case ERROR_WINHTTP_CONNECTION_ERROR: return url + L": the connection was broken off";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return url + L": the answer is not HTTP";
    case ERROR_WINHTTP_SECURE_FAILURE: return url + L": the secure connection failed";
    default: break;
    }
    // The system's messages do not know WinHTTP's codes; winhttp.dll does.
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       GetModuleHandleW(L"winhttp.dll"), error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 && buffer != nullptr ? std::wstring(buffer, length) : systemErrorMessage(error);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return url + L": " + text;
}

// The parts of `url` WinHTTP takes apart; false when it is not an http or
// https URL with a host, with the reason in `error`.
bool crackUrl(const std::wstring& url, URL_COMPONENTS& parts, std::wstring& error) {
    parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) && parts.dwHostNameLength != 0)
        return true;
    const DWORD code = GetLastError();
    // It knows no scheme but http and https; a URL of another one, or with
    // none, is named so.
    if (code == ERROR_WINHTTP_UNRECOGNIZED_SCHEME)
        error = L"\"" + url + L"\" is not an http:// or https:// URL";
    else
        error = L"\"" + url + L"\" is not a URL";
    return false;
}

} // namespace

Result checkHealthUrl(const std::wstring& url) {
    URL_COMPONENTS parts;
    std::wstring error;
    if (!crackUrl(url, parts, error)) return failure(error);
    return {};
}

Result probeHealthUrl(const std::wstring& url, std::uint32_t timeoutMs) {
    URL_COMPONENTS parts;
    std::wstring error;
    if (!crackUrl(url, parts, error)) return failure(error);
    if (timeoutMs == 0) timeoutMs = 1;
    const HINTERNET open = session();
    if (open == nullptr) return failure(url + L": the HTTP library could not be set up");
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    const HINTERNET connection = WinHttpConnect(open, host.c_str(), parts.nPort, 0);
    if (connection == nullptr) return failure(failureReason(GetLastError(), url, timeoutMs));
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    const HINTERNET request = WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, secure);
    if (request == nullptr) {
        const DWORD code = GetLastError();
        WinHttpCloseHandle(connection);
        return failure(failureReason(code, url, timeoutMs));
    }
    auto* exchange = new Exchange;
    exchange->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(exchange);
    // Set before anything can fail, so that closing the handle always frees it.
    WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    DWORD noCookies = WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noCookies, sizeof noCookies);
    const int limit = timeoutMs > 0x7fffffff ? 0x7fffffff : static_cast<int>(timeoutMs);
    WinHttpSetTimeouts(request, limit, limit, limit, limit);

    DWORD waited = WAIT_FAILED;
    DWORD code = 0;
    if (exchange->done == nullptr) {
        code = GetLastError();
    } else if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
        code = GetLastError();
    } else {
        const HANDLE stop = stopEvent();
        const HANDLE waits[2] = {exchange->done, stop};
        waited = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, timeoutMs);
        code = exchange->error;
    }
    const DWORD status = exchange->status;
    // From here on the exchange belongs to the closing request.
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);

    if (waited == WAIT_OBJECT_0 + 1) return failure(L"the check was cut short by a stop request");
    if (status != 0) {
        if (status >= 200 && status <= 399) return {};
        return failure(url + L" answered " + std::to_wstring(status));
    }
    if (waited == WAIT_TIMEOUT) return failure(noAnswer(url, timeoutMs));
    return failure(failureReason(code, url, timeoutMs));
}

} // namespace procguard
