#include "channels/ChannelSetting.h"

#include "storage/IntegerText.h"
#include "storage/MemIniFile.h"
#include "storage/StringList.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kMaxRemindMinutes = 7 * 24 * 60;

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Every value of `key` in `section`, in file order (the INI document keeps repeated keys).
std::vector<std::string> AllValues(const TMemIniFile& ini, const std::string& section,
                                   std::string_view key) {
    TStringList lines;
    ini.GetSectionLines(section, lines);
    std::vector<std::string> values;
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string& line = lines[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && SameName(Trim(std::string_view(line).substr(0, eq)), key))
            values.emplace_back(Trim(std::string_view(line).substr(eq + 1)));
    }
    return values;
}

// RemindMinutes: empty is 0; anything else must be a whole number of minutes in range.
bool ReadRemindMinutes(const TMemIniFile& ini, const std::string& section, int& minutes,
                       std::string& problem) {
    const std::string text = ini.GetStr(section, "RemindMinutes", "");
    if (text.empty())
        return true;
    const auto value = ParseIntegerText(text);
    if (!value || *value < 0 || *value > kMaxRemindMinutes) {
        problem = "RemindMinutes=" + text + ": must be a number of minutes from 0 to " +
                  std::to_string(kMaxRemindMinutes);
        return false;
    }
    minutes = *value;
    return true;
}

// Header names whose values are credentials by nature or by name.
bool SecretHeader(std::string_view name) {
    const std::string lower = Lower(name);
    if (lower == "cookie")
        return true;
    for (const char* word : {"auth", "token", "key", "secret", "pass"})
        if (lower.find(word) != std::string::npos)
            return true;
    return false;
}

// The URL holds credentials: user information before the host, or a query (where tokens go).
bool SecretUrl(std::string_view url) {
    const std::size_t start = url.find("://") + 3;
    const std::size_t authorityEnd = url.find_first_of("/?#", start);
    const std::string_view authority = url.substr(start, authorityEnd - start);
    return authority.find('@') != std::string_view::npos || url.find('?') != std::string_view::npos;
}

// A bare address: something@something, printable ASCII, no blanks or angle brackets.
bool PlainAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string_view::npos)
        return false;
    return std::all_of(address.begin(), address.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7f && c != '<' && c != '>' && c != ',' && c != ';' && c != '"';
    });
}

template <class Setting> Setting Unusable(Setting setting, std::string problem) {
    setting.state = ChannelState::Unusable;
    setting.problem = std::move(problem);
    return setting;
}

} // namespace

WebhookSetting ParseWebhookSetting(const TMemIniFile& ini) {
    const std::string section = "Webhook";
    WebhookSetting setting;
    setting.url = ini.GetStr(section, "URL", "");
    if (setting.url.empty())
        return setting;
    // The URL is not repeated in any problem: it may hold a token.
    const std::string lowerUrl = Lower(setting.url);
    if (lowerUrl.rfind("http://", 0) != 0 && lowerUrl.rfind("https://", 0) != 0)
        return Unusable(setting, "URL must begin with http:// or https://");
    if (std::any_of(setting.url.begin(), setting.url.end(),
                    [](unsigned char c) { return c <= 0x20 || c >= 0x7f; }))
        return Unusable(setting, "URL must be printable ASCII without blanks");
    setting.carriesSecret = SecretUrl(setting.url);

    const std::string format = Lower(ini.GetStr(section, "Format", "json"));
    if (format == "json")
        setting.format = WebhookSetting::Format::Json;
    else if (format == "ntfy")
        setting.format = WebhookSetting::Format::Ntfy;
    else if (format == "text")
        setting.format = WebhookSetting::Format::Text;
    else
        return Unusable(setting, "Format=" + ini.GetStr(section, "Format", "") +
                                     ": must be json, ntfy or text");

    for (const std::string& header : AllValues(ini, section, "Header")) {
        const std::size_t colon = header.find(':');
        const std::string_view name = colon == std::string::npos
                                          ? std::string_view{}
                                          : Trim(std::string_view(header).substr(0, colon));
        const bool token = std::all_of(name.begin(), name.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '-' || c == '_';
        });
        if (name.empty() || !token)
            return Unusable(setting, "a Header= line must read Name: value");
        if (SecretHeader(name))
            setting.carriesSecret = true;
        setting.headers.push_back(header);
    }
    std::string problem;
    if (!ReadRemindMinutes(ini, section, setting.remindMinutes, problem))
        return Unusable(setting, problem);
    setting.caFile = ini.GetStr(section, "CAFile", "");
    setting.state = ChannelState::On;
    return setting;
}

MailSetting ParseMailSetting(const TMemIniFile& ini) {
    const std::string section = "Mail";
    MailSetting setting;
    setting.server = ini.GetStr(section, "Server", "");
    if (setting.server.empty())
        return setting;
    setting.user = ini.GetStr(section, "User", "");
    setting.password = ini.GetStr(section, "Password", "");
    setting.carriesSecret = !setting.password.empty();
    if (std::any_of(setting.server.begin(), setting.server.end(),
                    [](unsigned char c) { return c <= 0x20 || c >= 0x7f || c == '/'; }))
        return Unusable(setting, "Server=" + setting.server + ": must be a host name or address");

    const std::string security = Lower(ini.GetStr(section, "Security", "starttls"));
    if (security == "starttls") {
        setting.security = MailSetting::Security::StartTls;
        setting.port = 587;
    } else if (security == "tls") {
        setting.security = MailSetting::Security::Tls;
        setting.port = 465;
    } else if (security == "none") {
        setting.security = MailSetting::Security::None;
        setting.port = 25;
    } else {
        return Unusable(setting, "Security=" + ini.GetStr(section, "Security", "") +
                                     ": must be starttls, tls or none");
    }
    if (const std::string port = ini.GetStr(section, "Port", ""); !port.empty()) {
        const auto value = ParseIntegerText(port);
        if (!value || *value < 1 || *value > 65535)
            return Unusable(setting, "Port=" + port + ": must be a number from 1 to 65535");
        setting.port = *value;
    }
    if (setting.user.empty() != setting.password.empty())
        return Unusable(setting, "User= and Password= go together");
    if (!setting.password.empty() && setting.security == MailSetting::Security::None)
        return Unusable(setting, "Security=none would send the password unencrypted");

    setting.from = ini.GetStr(section, "From", "");
    if (!PlainAddress(setting.from))
        return Unusable(setting, "From=" + setting.from +
                                     ": must be one address such as "
                                     "monitor@example.com");
    for (const std::string& line : AllValues(ini, section, "To")) {
        std::size_t start = 0;
        while (start <= line.size()) {
            const std::size_t end = std::min(line.find_first_of(",;", start), line.size());
            const std::string_view address =
                Trim(std::string_view(line).substr(start, end - start));
            if (!address.empty()) {
                if (!PlainAddress(address))
                    return Unusable(setting, "To=: " + std::string(address) +
                                                 " is not an address such as ops@example.com");
                setting.to.emplace_back(address);
            }
            start = end + 1;
        }
    }
    if (setting.to.empty())
        return Unusable(setting, "To= must name at least one address");
    std::string problem;
    if (!ReadRemindMinutes(ini, section, setting.remindMinutes, problem))
        return Unusable(setting, problem);
    setting.caFile = ini.GetStr(section, "CAFile", "");
    setting.state = ChannelState::On;
    return setting;
}
