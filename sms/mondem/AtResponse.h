#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a modem sends back, cut into tokens and classified. Pure functions and small state
// machines over bytes; the serial port feeds them.

// One token of the modem's output: a complete line (without its CR/LF), or the "> " prompt with
// which AT+CMGS asks for the message.
struct AtToken {
    enum class Kind { Line, Prompt };
    Kind kind = Kind::Line;
    std::string text;
};

// Cuts the byte stream into tokens. Lines end at CR or LF; empty lines are dropped. The prompt
// is recognised when "> " stands at the start of a line, since it is not followed by a line end.
class AtTokenizer {
public:
    void feed(std::string_view bytes);
    // The next complete token, or nullopt until more bytes arrive.
    std::optional<AtToken> next();
    // Forgets everything fed so far (after a command was abandoned).
    void clear();

private:
    std::string pending_;
};

// The meaning of one line.
enum class AtLineKind {
    Ok,          // final: success
    Error,       // final: ERROR and the other plain failure results
    CmsError,    // final: +CMS ERROR: <n> (message service failure)
    CmeError,    // final: +CME ERROR: <n> (equipment failure)
    Unsolicited, // a notice the modem sends on its own (new message, signal, network...)
    Other,       // anything else: an intermediate result or an echo
};

struct AtLine {
    AtLineKind kind = AtLineKind::Other;
    int code = -1; // the number of +CMS/+CME ERROR; -1 when the modem gave text instead
};

AtLine ClassifyLine(std::string_view line);

// How one command ended.
enum class AtResult { Pending, Ok, Prompt, Error, CmsError, CmeError };

// Follows the reply to one command through its tokens. `command` is the text sent (without the
// CR), so its echo can be recognised and dropped; `prefix` (for example "+CMGS:") selects the
// intermediate lines that belong to the reply, all other lines being set aside as unsolicited;
// with `wantsPrompt` the "> " prompt ends the exchange.
class AtExchange {
public:
    AtExchange(std::string command, std::string prefix, bool wantsPrompt);

    // Takes one token and returns the result so far (Pending until a final result or the prompt).
    AtResult offer(const AtToken& token);

    AtResult result() const { return result_; }
    int errorCode() const { return errorCode_; }
    const std::vector<std::string>& lines() const { return lines_; }
    const std::vector<std::string>& unsolicited() const { return unsolicited_; }

private:
    std::string command_;
    std::string prefix_;
    bool wantsPrompt_;
    AtResult result_ = AtResult::Pending;
    int errorCode_ = -1;
    std::vector<std::string> lines_;
    std::vector<std::string> unsolicited_;
};

// The value after `prefix` in the first of `lines` that starts with it, blanks trimmed; nullopt
// when no line does. For "+CMGS: 12" and prefix "+CMGS:" it gives "12".
std::optional<std::string> ValueAfter(const std::vector<std::string>& lines,
                                      std::string_view prefix);
