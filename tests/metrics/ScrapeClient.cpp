#include "ScrapeClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

TestConnection::TestConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TestConnection::~TestConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TestConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void TestConnection::CloseSending() {
    ::shutdown(fd_, SHUT_WR);
}

TestConnection::Received TestConnection::ReadToEnd(std::chrono::milliseconds limit) {
    Received received;
    if (fd_ < 0) {
        received.closed = true;
        return received;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return received;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            received.bytes.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            received.closed = true;
            return received;
        }
    }
}

namespace {

std::string Dechunked(const std::string& chunked) {
    std::string body;
    size_t at = 0;
    for (;;) {
        const size_t lineEnd = chunked.find("\r\n", at);
        if (lineEnd == std::string::npos)
            return body;
        const size_t size = std::stoul(chunked.substr(at, lineEnd - at), nullptr, 16);
        if (size == 0 || lineEnd + 2 + size > chunked.size())
            return body;
        body += chunked.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
}

} // namespace

HttpAnswer HttpRequest(int port, const std::string& method, const std::string& path) {
    HttpAnswer answer;
    TestConnection connection(port);
    if (!connection.connected() ||
        !connection.Send(method + " " + path +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"))
        return answer;
    const std::string bytes = connection.ReadToEnd().bytes;
    const size_t end = bytes.find("\r\n\r\n");
    if (bytes.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return answer;
    answer.status = std::stoi(bytes.substr(9, 3));
    answer.head = bytes.substr(0, end + 2);
    answer.body = bytes.substr(end + 4);
    if (HeaderValue(answer.head, "Transfer-Encoding") == "chunked")
        answer.body = Dechunked(answer.body);
    return answer;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        const size_t begin = at + 2;
        const size_t end = head.find("\r\n", begin);
        const std::string line = head.substr(begin, end - begin);
        const size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0)
            return line.substr(line.find_first_not_of(' ', colon + 1));
        at = end;
    }
    return "";
}

std::map<std::string, std::string> Samples(const std::string& text) {
    std::map<std::string, std::string> samples;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        // The value follows the last blank; label values may hold blanks of their own.
        const size_t blank = line.rfind(' ');
        if (blank != std::string::npos)
            samples[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return samples;
}
