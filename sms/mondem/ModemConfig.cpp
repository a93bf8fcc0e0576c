#include "sms/mondem/ModemConfig.h"

#include "platform/ErrorText.h"
#include "platform/WriteIfReady.h"
#include "storage/BoundedFile.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos)
        return {};
    size_t end = text.find_last_not_of(blanks);
    return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A decimal integer within [low, high], nothing else on the line.
std::optional<int> ParseInt(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::vector<std::string> SplitPatterns(std::string_view text) {
    std::vector<std::string> patterns;
    size_t i = 0;
    while (i < text.size()) {
        size_t begin = text.find_first_not_of(" \t;", i);
        if (begin == std::string_view::npos)
            break;
        size_t end = text.find_first_of(" \t;", begin);
        if (end == std::string_view::npos)
            end = text.size();
        patterns.emplace_back(text.substr(begin, end - begin));
        i = end;
    }
    return patterns;
}

constexpr std::array<int, 8> kBauds = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

} // namespace

bool IsSupportedBaud(int baud) {
    for (int supported : kBauds)
        if (supported == baud)
            return true;
    return false;
}

ModemConfig ParseModemConfig(std::string_view text, std::vector<std::string>* problems) {
    ModemConfig config;
    auto problem = [problems](std::string sentence) {
        if (problems)
            problems->push_back(std::move(sentence));
    };
    auto timeout = [&](std::string_view key, std::string_view value, int& target) {
        // Up to ten minutes: longer would only hide a dead modem.
        if (std::optional<int> ms = ParseInt(value, 50, 600000))
            target = *ms;
        else
            problem(std::string(key) + "=" + std::string(value) +
                    " is not a time-out in milliseconds (50..600000); using " +
                    std::to_string(target));
    };

    bool inModem = false;
    std::istringstream lines{std::string(text)};
    std::string raw;
    while (std::getline(lines, raw)) {
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            inModem = close != std::string_view::npos &&
                      Lower(Trim(line.substr(1, close - 1))) == "modem";
            continue;
        }
        size_t equals = line.find('=');
        if (!inModem || equals == std::string_view::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        std::string_view value = line.substr(equals + 1);
        // A comment may follow a value after a blank; device paths never hold " ;".
        for (std::string_view marker : {" ;", "\t;", " #", "\t#"})
            if (size_t at = value.find(marker); at != std::string_view::npos)
                value = value.substr(0, at);
        value = Trim(value);

        if (key == "backend") {
            const std::string name = Lower(value);
            if (name == "auto")
                config.backend = ModemConfig::Backend::Auto;
            else if (name == "modemmanager")
                config.backend = ModemConfig::Backend::ModemManager;
            else if (name == "serial")
                config.backend = ModemConfig::Backend::Serial;
            else
                problem("Backend=" + std::string(value) +
                        " is not auto, modemmanager or serial; using auto");
        } else if (key == "device") {
            config.device = std::string(value);
        } else if (key == "baud") {
            std::optional<int> baud = ParseInt(value, 1, 4000000);
            if (baud && IsSupportedBaud(*baud))
                config.baud = *baud;
            else
                problem("Baud=" + std::string(value) + " is not a supported speed; using " +
                        std::to_string(config.baud));
        } else if (key == "search") {
            config.search = SplitPatterns(value);
        } else if (key == "probetimeout") {
            timeout("ProbeTimeout", value, config.probeTimeoutMs);
        } else if (key == "commandtimeout") {
            timeout("CommandTimeout", value, config.commandTimeoutMs);
        } else if (key == "sendtimeout") {
            timeout("SendTimeout", value, config.sendTimeoutMs);
        } else if (key == "pin") {
            std::optional<int> digits = ParseInt(value, 0, 99999999);
            if (digits && value.size() >= 4 && value.size() <= 8)
                config.pin = std::string(value);
            else
                problem("Pin must be 4 to 8 digits; ignored");
        }
    }
    return config;
}

std::string ModemConfigPath() {
    const char* path = std::getenv("MONDEM_CONFIG");
    return path && *path ? path : "./mondem.ini";
}

std::optional<std::string> ReadModemConfigText(const std::string& path, std::string& problem) {
    BoundedFileRead file = ReadBoundedFile(path, kMaxModemConfigBytes);
    switch (file.outcome) {
    case BoundedFileRead::Outcome::Read:
        return std::move(file.text);
    case BoundedFileRead::Outcome::Missing:
        break;
    case BoundedFileRead::Outcome::NotRegular:
        problem = "not a regular file";
        break;
    case BoundedFileRead::Outcome::TooLarge:
        problem = "larger than " + std::to_string(kMaxModemConfigBytes / 1024) + " KiB";
        break;
    case BoundedFileRead::Outcome::CannotOpen:
    case BoundedFileRead::Outcome::CannotRead:
        problem = ErrnoText(file.error);
        break;
    }
    return std::nullopt;
}

ModemConfig LoadModemConfig() {
    const std::string path = ModemConfigPath();
    std::string problem;
    const std::optional<std::string> text = ReadModemConfigText(path, problem);
    if (!text) {
        if (!problem.empty())
            WriteIfReady(STDERR_FILENO,
                         "mondem: " + path + ": " + problem + "; using the defaults\n");
        return ModemConfig{};
    }
    std::vector<std::string> problems;
    ModemConfig config = ParseModemConfig(*text, &problems);
    for (const std::string& sentence : problems)
        WriteIfReady(STDERR_FILENO, "mondem: " + path + ": " + sentence + "\n");
    return config;
}
