// Health URLs on Linux, through libcurl.
//
// One easy handle and one multi handle serve the whole run: libcurl is set up
// once, and a connection that the server keeps open is used again by the
// next check, as a client that polls an endpoint would. The transfer runs on
// the multi interface because only there can its wait watch the stop pipe
// as well.
#include "platform/http.h"

#include <curl/curl.h>
#include <strings.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "platform/posix/stop.h"
#include "platform/stop.h"
#include "platform/posix/system_error.h"

namespace procguard {

namespace {

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

// Made on first use and kept for the run; null when libcurl could not be set up.
Client* client() {
    static Client* made = []() -> Client* {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
        static Client state;
        state.easy = curl_easy_init();
        state.multi = curl_multi_init();
        if (state.easy == nullptr || state.multi == nullptr) return nullptr;
        CURL* easy = state.easy;
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discardBody);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, noteHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, state.error);
        // No SIGALRM around name lookups: the watchdog's signals are its own.
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        // "" turns off the proxy, also one named by http_proxy and the like.
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "procguard");
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
#else
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
        return &state;
    }();
    return made;
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
        curl_easy_getinfo(state.easy, CURLINFO_OS_ERRNO, &osError);
        if (osError != 0) return url + L": " + lowerFirst(systemErrorMessage(static_cast<int>(osError)));
    }
    if (code == CURLE_COULDNT_RESOLVE_HOST) return url + L": host not found";
    const char* text = state.error[0] != '\0' ? state.error : curl_easy_strerror(code);
    return url + L": " + lowerFirst(decodeUtf8(text));
}

} // namespace

Result checkHealthUrl(const std::wstring& url) {
    CURLU* parsed = curl_url();
    if (parsed == nullptr) return failure(L"\"" + url + L"\" cannot be checked: out of memory");
    // Any scheme parses, so that one of another kind is named as such.
    CURLUcode code = curl_url_set(parsed, CURLUPART_URL, encodeUtf8(url).c_str(), CURLU_NON_SUPPORT_SCHEME);
    char* scheme = nullptr;
    if (code == CURLUE_OK) code = curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    Result result;
    if (code != CURLUE_OK)
        result = failure(L"\"" + url + L"\" is not a URL: " + lowerFirst(decodeUtf8(curl_url_strerror(code))));
    else if (strcasecmp(scheme, "http") != 0 && strcasecmp(scheme, "https") != 0)
        result = failure(L"\"" + url + L"\" is not an http:// or https:// URL");
    curl_free(scheme);
    curl_url_cleanup(parsed);
    return result;
}

Result probeHealthUrl(const std::wstring& url, std::uint32_t timeoutMs) {
    Client* state = client();
    if (state == nullptr) return failure(url + L": the HTTP library could not be set up");
    if (timeoutMs == 0) timeoutMs = 1; // libcurl takes 0 for no limit
    state->answered = 0;
    state->pending = 0;
    state->error[0] = '\0';
    std::string bytes = encodeUtf8(url);
    if (bytes != state->url) {
        curl_easy_setopt(state->easy, CURLOPT_URL, bytes.c_str());
        state->url = std::move(bytes);
    }
    if (timeoutMs != state->timeoutMs) {
        curl_easy_setopt(state->easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
        state->timeoutMs = timeoutMs;
    }
    if (curl_multi_add_handle(state->multi, state->easy) != CURLM_OK)
        return failure(url + L": the request could not be made");

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool stopped = false;
    bool timedOut = false;
    CURLcode result = CURLE_OK;
    for (;;) {
        if (stopRequested()) {
            stopped = true;
            break;
        }
        int running = 0;
        if (curl_multi_perform(state->multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(state->multi, &left))
                if (message->msg == CURLMSG_DONE) result = message->data.result;
            break;
        }
        // libcurl ends the transfer itself at its time limit; this one only
        // guards against a wait that would outlast it.
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) {
            timedOut = true;
            break;
        }
        curl_waitfd stop{stopWakeDescriptor(), CURL_WAIT_POLLIN, 0};
        curl_multi_poll(state->multi, &stop, stop.fd >= 0 ? 1 : 0,
                        static_cast<int>(remaining.count() > INT_MAX ? INT_MAX : remaining.count()), nullptr);
    }
    // Removing an unfinished transfer ends it and closes its connection.
    curl_multi_remove_handle(state->multi, state->easy);

    if (stopped) return failure(L"the check was cut short by a stop request");
    if (state->answered != 0) {
        if (state->answered >= 200 && state->answered <= 399) return {};
        return failure(url + L" answered " + std::to_wstring(state->answered));
    }
    if (timedOut) return failure(noAnswer(url, timeoutMs));
    return failure(failureReason(result == CURLE_OK ? CURLE_GOT_NOTHING : result, *state, url, timeoutMs));
}

} // namespace procguard
