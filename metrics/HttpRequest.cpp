#include "metrics/HttpRequest.h"

namespace {

// Where the head ends (just past its empty line), or npos.
size_t HeadEnd(std::string_view text) {
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        const size_t next = at + 1;
        if (next < text.size() && text[next] == '\n')
            return next + 1;
        if (next + 1 < text.size() && text[next] == '\r' && text[next + 1] == '\n')
            return next + 2;
    }
    return std::string_view::npos;
}

bool IsMethod(std::string_view text) {
    if (text.empty() || text.size() > 16)
        return false;
    for (char c : text)
        if (c < 'A' || c > 'Z')
            return false;
    return true;
}

bool IsTarget(std::string_view text) {
    if (text.empty() || text.front() != '/')
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    return true;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Error";
    }
}

} // namespace

RequestHead ParseRequestHead(std::string_view received) {
    RequestHead head;
    const size_t end = HeadEnd(received.substr(0, kMaxRequestHead));
    // The request line can be judged before the head is complete: garbage is refused at once.
    const size_t lineEnd = received.find('\n');
    if (lineEnd == std::string_view::npos) {
        const std::string_view start = received.substr(0, received.find(' '));
        if (!start.empty() && !IsMethod(start.substr(0, 16)))
            head.state = RequestHead::State::Malformed;
        else if (received.size() >= kMaxRequestHead)
            head.state = RequestHead::State::TooLarge;
        return head;
    }
    std::string_view line = received.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const size_t space1 = line.find(' ');
    const size_t space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
    if (space2 == std::string_view::npos || line.find(' ', space2 + 1) != std::string_view::npos) {
        head.state = RequestHead::State::Malformed;
        return head;
    }
    const std::string_view method = line.substr(0, space1);
    const std::string_view target = line.substr(space1 + 1, space2 - space1 - 1);
    const std::string_view version = line.substr(space2 + 1);
    if (!IsMethod(method) || !IsTarget(target) || version.size() != 8 ||
        version.substr(0, 7) != "HTTP/1." || version[7] < '0' || version[7] > '9') {
        head.state = RequestHead::State::Malformed;
        return head;
    }
    if (end == std::string_view::npos) {
        if (received.size() >= kMaxRequestHead)
            head.state = RequestHead::State::TooLarge;
        return head;
    }
    head.state = RequestHead::State::Complete;
    head.method = std::string(method);
    head.path = std::string(target.substr(0, target.find('?')));
    return head;
}

int StatusFor(const RequestHead& head) {
    if (head.path != "/metrics")
        return 404;
    if (head.method != "GET" && head.method != "HEAD")
        return 405;
    return 200;
}

std::string BuildResponse(int status, const std::string& contentType, const std::string& body,
                          bool headOnly) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (status == 405)
        out += "Allow: GET, HEAD\r\n";
    out += "Connection: close\r\n\r\n";
    if (!headOnly)
        out += body;
    return out;
}
