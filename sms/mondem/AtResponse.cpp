#include "sms/mondem/AtResponse.h"

#include <array>
#include <cctype>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The number after "+CMS ERROR:"; -1 for verbose (text) reports.
int ErrorCode(std::string_view rest) {
    rest = Trim(rest);
    if (rest.empty() || rest.size() > 6)
        return -1;
    int value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

constexpr size_t kMaxLineBytes = 64 * 1024;

// Final results that only say "failed".
constexpr std::array<std::string_view, 7> kPlainFailures = {"ERROR",
                                                            "NO CARRIER",
                                                            "BUSY",
                                                            "NO ANSWER",
                                                            "NO DIALTONE",
                                                            "COMMAND NOT SUPPORT",
                                                            "TOO MANY PARAMETERS"};

// Notices modems send on their own between replies: new messages and status reports, calls,
// cell broadcasts, network and signal reports, and the vendor "^" family.
constexpr std::array<std::string_view, 19> kUnsolicitedPrefixes = {
    "RING",    "+CMTI:",   "+CMT:",   "+CDSI:",  "+CDS:",           "+CBM:",  "+CLIP:",
    "+CRING:", "+CREG:",   "+CGREG:", "+CEREG:", "+CUSD:",          "+CIEV:", "+CSQ:",
    "^",       "+PBREADY", "+QIND:",  "RDY",     "+CPIN: NOT READY"};

} // namespace

void AtTokenizer::feed(std::string_view bytes) {
    pending_.append(bytes);
}

std::optional<AtToken> AtTokenizer::next() {
    while (!pending_.empty()) {
        size_t start = pending_.find_first_not_of("\r\n");
        if (start == std::string::npos) {
            pending_.clear();
            return std::nullopt;
        }
        pending_.erase(0, start);
        if (pending_.starts_with("> ")) {
            pending_.erase(0, 2);
            return AtToken{AtToken::Kind::Prompt, "> "};
        }
        size_t end = pending_.find_first_of("\r\n");
        if (end == std::string::npos) {
            // No modem line comes near this length: a port that sends without line ends is
            // sending garbage, and keeping it would make every later scan slower and slower.
            if (pending_.size() > kMaxLineBytes)
                pending_.clear();
            return std::nullopt;
        }
        AtToken token{AtToken::Kind::Line, pending_.substr(0, end)};
        pending_.erase(0, end);
        return token;
    }
    return std::nullopt;
}

void AtTokenizer::clear() {
    pending_.clear();
}

AtLine ClassifyLine(std::string_view line) {
    line = Trim(line);
    if (EqualsNoCase(line, "OK"))
        return {AtLineKind::Ok, -1};
    if (StartsWithNoCase(line, "+CMS ERROR:"))
        return {AtLineKind::CmsError, ErrorCode(line.substr(11))};
    if (StartsWithNoCase(line, "+CME ERROR:"))
        return {AtLineKind::CmeError, ErrorCode(line.substr(11))};
    for (std::string_view failure : kPlainFailures)
        if (EqualsNoCase(line, failure))
            return {AtLineKind::Error, -1};
    for (std::string_view prefix : kUnsolicitedPrefixes)
        if (StartsWithNoCase(line, prefix))
            return {AtLineKind::Unsolicited, -1};
    return {AtLineKind::Other, -1};
}

AtExchange::AtExchange(std::string command, std::string prefix, bool wantsPrompt)
    : command_(std::move(command)), prefix_(std::move(prefix)), wantsPrompt_(wantsPrompt) {}

AtResult AtExchange::offer(const AtToken& token) {
    if (result_ != AtResult::Pending)
        return result_;
    if (token.kind == AtToken::Kind::Prompt) {
        // A prompt nobody asked for is noise; waiting on lets the final result decide.
        if (wantsPrompt_)
            result_ = AtResult::Prompt;
        return result_;
    }
    const std::string_view text = Trim(token.text);
    // The reply's own lines come first: "+CPIN: NOT READY" answers AT+CPIN? here, even though
    // the same line arrives unasked when the SIM goes away.
    if (!prefix_.empty() && StartsWithNoCase(text, prefix_)) {
        lines_.emplace_back(text);
        return result_;
    }
    const AtLine line = ClassifyLine(text);
    switch (line.kind) {
    case AtLineKind::Ok:
        result_ = AtResult::Ok;
        break;
    case AtLineKind::Error:
        result_ = AtResult::Error;
        break;
    case AtLineKind::CmsError:
        result_ = AtResult::CmsError;
        errorCode_ = line.code;
        break;
    case AtLineKind::CmeError:
        result_ = AtResult::CmeError;
        errorCode_ = line.code;
        break;
    case AtLineKind::Unsolicited:
        unsolicited_.emplace_back(text);
        break;
    case AtLineKind::Other:
        // The echo of the command (echo is on until ATE0 takes effect) is dropped; anything else
        // that does not carry the reply's prefix is set aside.
        if (!EqualsNoCase(text, command_))
            unsolicited_.emplace_back(text);
        break;
    }
    return result_;
}

std::optional<std::string> ValueAfter(const std::vector<std::string>& lines,
                                      std::string_view prefix) {
    for (const std::string& line : lines)
        if (StartsWithNoCase(line, prefix))
            return std::string(Trim(std::string_view(line).substr(prefix.size())));
    return std::nullopt;
}
