#include "skin/TSkinData.h"

#include "platform/ErrorReport.h"
#include "platform/ErrorText.h"
#include "platform/StandardError.h"
#include "platform/qt/QtText.h"
#include "skin/SkinImages.h"
#include "skin/SystemColours.h"
#include "skin/TSkinManage.h"
#include "skin/format/SkinDescriptionReader.h"
#include "skin/format/SkinPackage.h"
#include "storage/IniFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

const std::string TSkinData::kOlderSkinMessage =
    "This is Older Skin File\rPlease update to new version !";

namespace {

void DefaultMessageBox(const std::string& textGbk) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        WriteStandardError(GbkToUtf8(textGbk) + "\n");
        return;
    }
    QString text = GbkToQString(textGbk);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox::information(nullptr, QApplication::applicationDisplayName(), text);
}

TSkinMessageBox& MessageBoxHook() {
    static TSkinMessageBox box;
    return box;
}

void ShowSkinMessage(const std::string& textGbk) {
    if (MessageBoxHook())
        MessageBoxHook()(textGbk);
    else
        DefaultMessageBox(textGbk);
}

// The temporary folder as named: $TMPDIR, or /tmp. Not QDir::tempPath(), which gives an empty
// path for a folder that does not exist, and the file would then be made in the root folder.
std::string TemporaryFolder() {
    QString dir = qEnvironmentVariable("TMPDIR");
    if (dir.isEmpty())
        dir = QStringLiteral("/tmp");
    return QFile::encodeName(QDir::cleanPath(dir)).toStdString();
}

// The description file: created with a unique private name in the temporary folder, so no entry
// name can place it elsewhere and no other user can put a link in its way; removed when the
// reading is over, also after an error. A folder that is missing, not writable or full throws
// an Exception that names the file, and so the folder.
class TempDescriptionFile {
public:
    explicit TempDescriptionFile(std::span<const std::uint8_t> bytes) {
        std::string pattern = TemporaryFolder() + "/skin-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0)
            throw Exception("Cannot create file " + pattern + ": " + ErrnoText(errno));
        path_ = name.data();
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                ::close(fd);
                ::unlink(path_.c_str());
                throw Exception("Cannot write file " + path_ + ": " + ErrnoText(error));
            }
            done += static_cast<std::size_t>(n);
        }
        // A full folder may only say so when the data reaches it.
        if (::close(fd) != 0) {
            const int error = errno;
            ::unlink(path_.c_str());
            throw Exception("Cannot write file " + path_ + ": " + ErrnoText(error));
        }
    }
    ~TempDescriptionFile() { ::unlink(path_.c_str()); }
    TempDescriptionFile(const TempDescriptionFile&) = delete;
    TempDescriptionFile& operator=(const TempDescriptionFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

TSkinControls DefaultSkinControls() {
    TSkinControls controls;
    for (int c = xcMainMenu; c < xcFastReport; ++c)
        controls.insert(static_cast<TSkinControlType>(c));
    return controls;
}

TSkinMessageBox TSkinData::SetMessageBox(TSkinMessageBox box) {
    TSkinMessageBox previous = std::move(MessageBoxHook());
    MessageBoxHook() = std::move(box);
    return previous;
}

TSkinData::TSkinData(QWidget* AOwner) : owner_(AOwner), skinControls_(DefaultSkinControls()) {
    TSkinManage::Instance().Register(this);
}

TSkinData::~TSkinData() {
    if (TSkinManage::Exists())
        TSkinManage::Instance().Unregister(this);
}

void TSkinData::SetActive(bool value) {
    if (loading_ || skinFormtype_ != sfMainform) {
        active_ = value;
        return;
    }
    if (value && noSkin_)
        return;
    active_ = value;
    TSkinManage::Instance().Command(value ? 1 : 2);
}

void TSkinData::SetSkinFile(const std::string& value) {
    skinFile_ = value;
    noSkin_ = true;
    struct stat st {};
    if (value.empty() || ::stat(value.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    std::ifstream file(value, std::ios::binary);
    if (!file)
        throw Exception("Cannot open file " + value);
    package_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    LoadPackage();
    if (skinFormtype_ != sfMainform)
        return;
    TSkinManage& manager = TSkinManage::Instance();
    manager.SetReapplyRequester(this);
    manager.RefreshPainters();
    manager.Command(3);
}

void TSkinData::ReadSkinStream(std::span<const std::uint8_t> stored) {
    try {
        package_ = SkinStreamPackage(stored);
    } catch (const ESkinPackageError& e) {
        package_.clear();
        noSkin_ = true;
        ShowErrorReport(e.Message());
        return;
    }
    if (!package_.empty())
        LoadPackage();
}

std::vector<std::uint8_t> TSkinData::WriteSkinStream() const {
    return MakeSkinStream(package_);
}

void TSkinData::Loaded() {
    loading_ = false;
    if (active_ && noSkin_)
        active_ = false;
    else if (active_)
        TSkinManage::Instance().Command(1);
}

void TSkinData::LoadPackage() {
    noSkin_ = true;
    TSkinPackage package;
    TSkinPackageStatus status;
    try {
        status = package.Read(package_);
    } catch (const Exception& e) {
        // A damaged package leaves the program with its normal look, and says why.
        ShowErrorReport(e.Message());
        return;
    }
    if (status == TSkinPackageStatus::WrongVersion) {
        ShowSkinMessage(kOlderSkinMessage);
        return;
    }
    if (status != TSkinPackageStatus::Ok)
        return;

    auto description = package.EntryByPart(".ini");
    if (!description) {
        ShowErrorReport("Skin package holds no description (.ini)");
        return;
    }
    TempDescriptionFile file(description->second);
    TIniFile ini(file.Path());
    elements_ = DecodeSkinElements(ReadSkinDescription(ini, package, PlatformSystemColours()));
    noSkin_ = false;
}
