// Health URLs on Linux, through libcurl.
//
// libcurl is loaded on the first URL check or config check, not linked: it
// brings some forty libraries along (TLS, Kerberos, LDAP, IDN, ...), which
// would more than double the resident memory of every run, and most runs
// never ask a URL.
//
// One easy handle and one multi handle serve the whole run: libcurl is set up
// once, and a connection that the server keeps open is used again by the
// next check, as a client that polls an endpoint would. The transfer runs on
// the multi interface because only there can its wait watch the stop pipe
// as well.
#include "platform/http.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <strings.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "platform/clock.h"
#include "platform/posix/stop.h"
#include "platform/stop.h"
#include "platform/posix/system_error.h"

namespace procguard {

namespace {

// The functions of libcurl this file calls, found in the library once.
struct Curl {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_url) url;
    decltype(&curl_url_set) url_set;
    decltype(&curl_url_get) url_get;
    decltype(&curl_url_strerror) url_strerror;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_free) free;
};

template <typename Function>
bool bind(void* library, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr && missing.empty()) missing = name;
    return function != nullptr;
}

// Null, with `why` saying so, when the library cannot be loaded.
const Curl* curl(std::wstring& why) {
    static std::wstring failed;
    static const Curl* loaded = []() -> const Curl* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* error = dlerror();
            failed = L"libcurl could not be loaded: " + decodeUtf8(error != nullptr ? error : "libcurl.so.4");
            return nullptr;
        }
        static Curl table;
        std::string missing;
        bind(library, "curl_global_init", table.global_init, missing);
        bind(library, "curl_easy_init", table.easy_init, missing);
        bind(library, "curl_easy_setopt", table.easy_setopt, missing);
        bind(library, "curl_easy_getinfo", table.easy_getinfo, missing);
        bind(library, "curl_easy_strerror", table.easy_strerror, missing);
        bind(library, "curl_multi_init", table.multi_init, missing);
        bind(library, "curl_multi_add_handle", table.multi_add_handle, missing);
        bind(library, "curl_multi_remove_handle", table.multi_remove_handle, missing);
        bind(library, "curl_multi_perform", table.multi_perform, missing);
        bind(library, "curl_multi_poll", table.multi_poll, missing);
        bind(library, "curl_multi_info_read", table.multi_info_read, missing);
        bind(library, "curl_url", table.url, missing);
        bind(library, "curl_url_set", table.url_set, missing);
        bind(library, "curl_url_get", table.url_get, missing);
        bind(library, "curl_url_strerror", table.url_strerror, missing);
        bind(library, "curl_url_cleanup", table.url_cleanup, missing);
        bind(library, "curl_free", table.free, missing);
        if (!missing.empty()) {
            failed = L"libcurl.so.4 is too old: it has no " + decodeUtf8(missing);
            return nullptr;
        }
        return &table;
    }();
    why = failed;
    return loaded;
}

struct Client {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    // The status of the last complete header block that was not a 1xx
    // (100 Continue comes before the real answer); 0 until the answer's
    // headers are in.
    long answered = 0;
    long pending = 0; // the status line of the block being read
    char error[CURL_ERROR_SIZE] = {};
    std::string url; // as last handed to libcurl, which parses it anew each time it is set
    std::uint32_t timeoutMs = 0;
    const Curl* curl = nullptr;
    std::wstring unavailable; // why there is no client
};

std::size_t discardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// libcurl hands over every header line, status lines included ("HTTP/1.1 200
// OK", "HTTP/2 200"); a blank line ends a block.
std::size_t noteHeader(char* line, std::size_t size, std::size_t count, void* user) {
    const std::size_t length = size * count;
    Client& client = *static_cast<Client*>(user);
    if (length >= 5 && std::memcmp(line, "HTTP/", 5) == 0) {
        const char* space = static_cast<const char*>(std::memchr(line, ' ', length));
        client.pending = space != nullptr && space + 4 <= line + length ? std::strtol(space + 1, nullptr, 10) : 0;
    } else if (length <= 2 && (line[0] == '\r' || line[0] == '\n')) {
        if (client.pending >= 200) client.answered = client.pending;
    }
    return length;
}

// Made on first use and kept for the run; without `easy`, `unavailable` says why.
Client& client() {
    static Client state;
    static const bool made = [] {
        const Curl* lib = curl(state.unavailable);
        if (lib == nullptr) return false;
        state.curl = lib;
        if (lib->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return false;
        state.easy = lib->easy_init();
        state.multi = lib->multi_init();
        if (state.easy == nullptr || state.multi == nullptr) return false;
        CURL* easy = state.easy;
        lib->easy_setopt(easy, CURLOPT_WRITEFUNCTION, discardBody);
        lib->easy_setopt(easy, CURLOPT_HEADERFUNCTION, noteHeader);
        lib->easy_setopt(easy, CURLOPT_HEADERDATA, &state);
        lib->easy_setopt(easy, CURLOPT_ERRORBUFFER, state.error);
        // No SIGALRM around name lookups: the watchdog's signals are its own.
        lib->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        lib->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        // "" turns off the proxy, also one named by http_proxy and the like.
        lib->easy_setopt(easy, CURLOPT_PROXY, "");
        lib->easy_setopt(easy, CURLOPT_USERAGENT, "procguard");
#if LIBCURL_VERSION_NUM >= 0x075500
        lib->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
#else
        lib->easy_setopt(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
        return true;
    }();
    if (!made) {
        state.easy = nullptr;
        if (state.unavailable.empty()) state.unavailable = L"the HTTP library could not be set up";
    }
    return state;
}

// "Connection refused" reads "connection refused" behind the URL; names
// and abbreviations ("SSL") keep their capitals.
std::wstring lowerFirst(std::wstring text) {
    if (text.size() >= 2 && text[0] >= L'A' && text[0] <= L'Z' && text[1] >= L'a' && text[1] <= L'z')
        text[0] = static_cast<wchar_t>(text[0] - L'A' + L'a');
    return text;
}

std::wstring noAnswer(const std::wstring& url, std::uint32_t timeoutMs) {
    return L"no answer from " + url + L" within " + std::to_wstring(timeoutMs) + L" ms";
}

std::wstring failureReason(CURLcode code, const Client& state, const std::wstring& url, std::uint32_t timeoutMs) {
    if (code == CURLE_OPERATION_TIMEDOUT) return noAnswer(url, timeoutMs);
    if (code == CURLE_COULDNT_CONNECT) {
        long osError = 0;
        state.curl->easy_getinfo(state.easy, CURLINFO_OS_ERRNO, &osError);
        if (osError != 0) return url + L": " + lowerFirst(systemErrorMessage(static_cast<int>(osError)));
    }
    if (code == CURLE_COULDNT_RESOLVE_HOST) return url + L": host not found";
    const char* text = state.error[0] != '\0' ? state.error : state.curl->easy_strerror(code);
    return url + L": " + lowerFirst(decodeUtf8(text));
}

} // namespace

Result checkHealthUrl(const std::wstring& url) {
    std::wstring why;
    const Curl* lib = curl(why);
    if (lib == nullptr) return failure(L"\"" + url + L"\" cannot be checked: " + why);
    CURLU* parsed = lib->url();
    if (parsed == nullptr) return failure(L"\"" + url + L"\" cannot be checked: out of memory");
    // Any scheme parses, so that one of another kind is named as such.
    CURLUcode code = lib->url_set(parsed, CURLUPART_URL, encodeUtf8(url).c_str(), CURLU_NON_SUPPORT_SCHEME);
    char* scheme = nullptr;
    if (code == CURLUE_OK) code = lib->url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    Result result;
    if (code != CURLUE_OK)
        result = failure(L"\"" + url + L"\" is not a URL: " + lowerFirst(decodeUtf8(lib->url_strerror(code))));
    else if (strcasecmp(scheme, "http") != 0 && strcasecmp(scheme, "https") != 0)
        result = failure(L"\"" + url + L"\" is not an http:// or https:// URL");
    lib->free(scheme);
    lib->url_cleanup(parsed);
    return result;
}

Result probeHealthUrl(const std::wstring& url, std::uint32_t timeoutMs) {
    Client* state = &client();
    if (state->easy == nullptr) return failure(url + L": " + state->unavailable);
    const Curl& lib = *state->curl;
    if (timeoutMs == 0) timeoutMs = 1; // libcurl takes 0 for no limit
    state->answered = 0;
    state->pending = 0;
    state->error[0] = '\0';
    std::string bytes = encodeUtf8(url);
    if (bytes != state->url) {
        lib.easy_setopt(state->easy, CURLOPT_URL, bytes.c_str());
        state->url = std::move(bytes);
    }
    if (timeoutMs != state->timeoutMs) {
        lib.easy_setopt(state->easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
        state->timeoutMs = timeoutMs;
    }
    if (lib.multi_add_handle(state->multi, state->easy) != CURLM_OK)
        return failure(url + L": the request could not be made");

    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    bool stopped = false;
    bool timedOut = false;
    CURLcode result = CURLE_OK;
    for (;;) {
        if (stopRequested()) {
            stopped = true;
            break;
        }
        int running = 0;
        if (lib.multi_perform(state->multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = lib.multi_info_read(state->multi, &left))
                if (message->msg == CURLMSG_DONE) result = message->data.result;
            break;
        }
        // libcurl ends the transfer itself at its time limit; this one only
        // guards against a wait that would outlast it.
        const std::int64_t remaining = deadline - monotonicMilliseconds();
        if (remaining <= 0) {
            timedOut = true;
            break;
        }
        curl_waitfd stop{stopWakeDescriptor(), CURL_WAIT_POLLIN, 0};
        lib.multi_poll(state->multi, &stop, stop.fd >= 0 ? 1 : 0,
                       static_cast<int>(remaining > INT_MAX ? INT_MAX : remaining), nullptr);
    }
    // Removing an unfinished transfer ends it and closes its connection.
    lib.multi_remove_handle(state->multi, state->easy);

    if (stopped) return failure(L"the check was cut short by a stop request");
    if (state->answered != 0) {
        if (state->answered >= 200 && state->answered <= 399) return {};
        return failure(url + L" answered " + std::to_wstring(state->answered));
    }
    if (timedOut) return failure(noAnswer(url, timeoutMs));
    return failure(failureReason(result == CURLE_OK ? CURLE_GOT_NOTHING : result, *state, url, timeoutMs));
}

} // namespace procguard
