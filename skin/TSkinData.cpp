#include "skin/TSkinData.h"

#include "platform/ErrorReport.h"
#include "platform/StandardError.h"
#include "platform/qt/QtText.h"
#include "skin/SkinImages.h"
#include "skin/SystemColours.h"
#include "skin/TSkinManage.h"
#include "skin/TempDescriptionFile.h"
#include "skin/format/SkinDescriptionReader.h"
#include "skin/format/SkinPackage.h"
#include "storage/IniFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <fstream>
#include <iterator>
#include <sys/stat.h>

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
    TempDescriptionFile file(TemporaryFolder(), description->second);
    TIniFile ini(file.Path());
    elements_ = DecodeSkinElements(ReadSkinDescription(ini, package, PlatformSystemColours()));
    noSkin_ = false;
}
