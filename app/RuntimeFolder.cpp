#include "app/RuntimeFolder.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

// Ours, a real folder (no link), closed to everyone else.
bool PrivateFolder(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

QString UserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return QFile::decodeName(found->pw_name);
    return QString::number(::geteuid());
}

} // namespace

QString PrepareRuntimeFolder() {
    const QByteArray set = qgetenv("XDG_RUNTIME_DIR");
    if (!set.isEmpty())
        return PrivateFolder(set) ? QFile::decodeName(set) : QString();
    const QByteArray own =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-") + UserName());
    ::mkdir(own.constData(), 0700);
    // Someone else's folder of that name, or a link planted there, is not used.
    if (!PrivateFolder(own))
        return QString();
    ::setenv("XDG_RUNTIME_DIR", own.constData(), 1);
    return QFile::decodeName(own);
}
