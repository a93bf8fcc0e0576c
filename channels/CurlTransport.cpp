#include "channels/CurlTransport.h"

#include "channels/Rendering.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using List = std::unique_ptr<curl_slist, ListDeleter>;

void Append(List& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
        list.release();
        list.reset(grown);
    }
}

int Progress(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// Answers are read and thrown away; a receiver that talks for ever meets the total time-out.
size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct Upload {
    const std::string* text;
    std::size_t offset = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const std::size_t length = std::min(size * count, upload->text->size() - upload->offset);
    std::memcpy(buffer, upload->text->data() + upload->offset, length);
    upload->offset += length;
    return length;
}

// What every attempt shares; `error` receives libcurl's detail.
Easy NewEasy(const CurlTimeouts& timeouts, const std::string& caFile, const std::atomic<bool>& stop,
             char* error) {
    Easy easy(curl_easy_init());
    if (!easy)
        return easy;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total.count()));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&stop));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    // Verification stays on (libcurl's default); a private authority is added, never skipped.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, caFile.c_str());
    return easy;
}

std::string Reason(CURLcode code, const char* error) {
    // libcurl's detail names the host and port at most, never the URL's path or query.
    return error[0] ? std::string(error) : std::string(curl_easy_strerror(code));
}

// A libcurl failure as the worker sees it.
DeliveryAttempt Classify(CURLcode code, const char* error, const std::atomic<bool>& stop) {
    using Result = DeliveryAttempt::Result;
    if (code == CURLE_ABORTED_BY_CALLBACK || stop)
        return {Result::Stopped, "stopped"};
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return {Result::Unreachable, Reason(code, error)};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_LOGIN_DENIED:
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_USE_SSL_FAILED:
        return {Result::Refused, Reason(code, error)};
    default:
        return {Result::Failed, Reason(code, error)};
    }
}

} // namespace

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

DeliveryTransport WebhookTransport(WebhookSetting setting, CurlTimeouts timeouts) {
    return [setting = std::move(setting), timeouts](const Message& message, bool late,
                                                    const std::atomic<bool>& stop) {
        using Result = DeliveryAttempt::Result;
        const Rendering::WebhookRequest request = Rendering::Webhook(message, setting, late);
        char error[CURL_ERROR_SIZE] = "";
        Easy easy = NewEasy(timeouts, setting.caFile, stop, error);
        if (!easy)
            return DeliveryAttempt{Result::Failed, "libcurl could not start a transfer"};
        CURL* e = easy.get();
        List headers;
        for (const std::string& line : request.headers)
            Append(headers, line);
        // No "Expect: 100-continue" round trip for a body of a few hundred bytes.
        Append(headers, "Expect:");
        curl_easy_setopt(e, CURLOPT_URL, setting.url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_USERAGENT, "servermonitor");
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        const CURLcode code = curl_easy_perform(e);
        if (code != CURLE_OK)
            return Classify(code, error, stop);
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200 && status < 300)
            return DeliveryAttempt{Result::Delivered, {}};
        const std::string reason = "the receiver answered HTTP " + std::to_string(status);
        if (status == 408 || status == 429 || status >= 500)
            return DeliveryAttempt{Result::Failed, reason};
        return DeliveryAttempt{Result::Refused, reason};
    };
}

DeliveryTransport MailTransport(MailSetting setting, CurlTimeouts timeouts) {
    return [setting = std::move(setting), timeouts](const Message& message, bool late,
                                                    const std::atomic<bool>& stop) {
        using Result = DeliveryAttempt::Result;
        const std::string text =
            Rendering::Mail(message, setting, late, std::chrono::system_clock::now());
        char error[CURL_ERROR_SIZE] = "";
        Easy easy = NewEasy(timeouts, setting.caFile, stop, error);
        if (!easy)
            return DeliveryAttempt{Result::Failed, "libcurl could not start a transfer"};
        CURL* e = easy.get();
        const bool tls = setting.security == MailSetting::Security::Tls;
        const std::string url = std::string(tls ? "smtps://" : "smtp://") + setting.server + ":" +
                                std::to_string(setting.port);
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        if (setting.security == MailSetting::Security::StartTls)
            curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (!setting.user.empty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, setting.user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, setting.password.c_str());
        }
        const std::string from = "<" + setting.from + ">";
        curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
        List recipients;
        for (const std::string& to : setting.to)
            Append(recipients, "<" + to + ">");
        curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
        Upload upload{&text};
        curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
        curl_easy_setopt(e, CURLOPT_READDATA, &upload);
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        const CURLcode code = curl_easy_perform(e);
        if (code == CURLE_OK)
            return DeliveryAttempt{Result::Delivered, {}};
        DeliveryAttempt attempt = Classify(code, error, stop);
        long reply = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply);
        // SMTP's permanent replies (5xx) will not pass by trying again.
        if (attempt.result == Result::Failed && reply >= 500 && reply < 600)
            attempt.result = Result::Refused;
        if (reply > 0 && attempt.result != Result::Stopped)
            attempt.reason += " (the server replied " + std::to_string(reply) + ")";
        return attempt;
    };
}
