#include "channels/ChannelSettings.h"

#include "platform/ErrorText.h"
#include "storage/BoundedFile.h"
#include "storage/MemIniFile.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace {

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

template <class Setting>
void RequirePrivate(Setting& setting, mode_t mode, const std::string& fileName, const char* what) {
    if (setting.state != ChannelState::On || !setting.carriesSecret || (mode & 077) == 0)
        return;
    setting.state = ChannelState::Unusable;
    setting.problem = "holds " + std::string(what) + " but its permissions " + OctalMode(mode) +
                      " let others read it; allow its owner only (chmod 600 " + fileName + ")";
}

} // namespace

ChannelSettings ParseChannelSettings(std::string_view text) {
    TMemIniFile ini("");
    ini.SetText(text);
    return {ParseWebhookSetting(ini), ParseMailSetting(ini)};
}

void RequirePrivateFile(ChannelSettings& settings, mode_t mode, const std::string& fileName) {
    RequirePrivate(settings.webhook, mode, fileName, "a token of [Webhook]");
    RequirePrivate(settings.mail, mode, fileName, "the password of [Mail]");
}

ChannelSettingsRead ReadChannelSettings(const std::string& path) {
    ChannelSettingsRead read;
    BoundedFileRead file = ReadBoundedFile(path, kChannelSettingsMaxBytes);
    switch (file.outcome) {
    case BoundedFileRead::Outcome::Read:
        break;
    case BoundedFileRead::Outcome::Missing:
        return read;
    case BoundedFileRead::Outcome::NotRegular:
        read.problem = "is not a regular file";
        return read;
    case BoundedFileRead::Outcome::TooLarge:
        read.problem = "is larger than " + std::to_string(kChannelSettingsMaxBytes) + " bytes";
        return read;
    case BoundedFileRead::Outcome::CannotOpen:
        if (file.error != ENOTDIR)
            read.problem = "cannot be opened: " + ErrnoText(file.error);
        return read;
    case BoundedFileRead::Outcome::CannotRead:
        read.problem = "cannot be read: " + ErrnoText(file.error);
        return read;
    }
    read.settings = ParseChannelSettings(file.text);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // Gone since it was read: what it held cannot be judged private.
        status.st_mode = 0777;
    }
    RequirePrivateFile(read.settings, status.st_mode, path);
    return read;
}
