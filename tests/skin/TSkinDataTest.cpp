#include "skin/TSkinData.h"

#include "MainWindowSkin.h"
#include "platform/ErrorReport.h"
#include "skin/TSkinManage.h"
#include "skin/format/SkinPackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Every test runs with a private temporary directory, a recording message box and error
// report, and a manager of its own.
class SkinDataTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        oldTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toLocal8Bit());
        oldBox_ = TSkinData::SetMessageBox(
            [this](const std::string& text) { messages_.push_back(text); });
        oldReport_ =
            SetErrorReportHandler([this](const std::string& text) { errors_.push_back(text); });
    }
    void TearDown() override {
        TSkinData::SetMessageBox(oldBox_);
        SetErrorReportHandler(oldReport_);
        qputenv("TMPDIR", oldTmp_);
    }

    QStringList TempFiles() const {
        return QDir(temp_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    TSkinManage manager_;
    QTemporaryDir temp_;
    QByteArray oldTmp_;
    TSkinMessageBox oldBox_;
    ErrorReportHandler oldReport_;
    std::vector<std::string> messages_;
    std::vector<std::string> errors_;
};

TEST_F(SkinDataTest, PropertiesAtCreation) {
    TSkinData data(nullptr);
    EXPECT_FALSE(data.Active());
    EXPECT_EQ(data.DisableTag(), 99);
    EXPECT_EQ(data.SkinFormtype(), sfMainform);
    EXPECT_EQ(data.SkinStore(), "(none)");
    EXPECT_TRUE(data.NoSkin());
    EXPECT_EQ(data.SkinControls().size(), 17u);
    EXPECT_EQ(data.SkinControls().count(xcTab), 1u);
    EXPECT_EQ(data.SkinControls().count(xcFastReport), 0u);
    EXPECT_EQ(TSkinManage::Instance().Skins().back(), &data);
}

TEST_F(SkinDataTest, OwnSkinLoadsAndSwitchesSkinningOn) {
    TSkinData data(nullptr);
    data.SetActive(true);
    data.ReadSkinStream(MainWindowSkinStream());
    data.Loaded();
    EXPECT_FALSE(data.NoSkin());
    EXPECT_TRUE(data.Active());
    EXPECT_EQ(data.SkinName(), "Slate");
    const TSkinElements& e = data.Elements();
    ASSERT_TRUE(e.Button.has_value());
    EXPECT_EQ(e.Button->Frame, 5);
    EXPECT_FALSE(e.Button->Image.isNull());
    EXPECT_EQ(e.Button->CheckButtonFrame, 8);
    ASSERT_TRUE(e.Scrollbar.has_value());
    EXPECT_EQ(e.Scrollbar->Image.width(), 23 * 16);
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(errors_.empty());
    // Command 1 before any activation only switches skinning on.
    EXPECT_TRUE(TSkinManage::Instance().SkinningOn());
    EXPECT_EQ(data.WriteSkinStream(), MainWindowSkinStream());
    // The description went through a private file that is gone again.
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
}

TEST_F(SkinDataTest, WrongVersionShowsTheMessageAndLoadedTurnsActiveOff) {
    TSkinData data(nullptr);
    data.SetActive(true);
    Bytes raw = BuildUnpackedPackage({{"skin.ini", B("[TitlebarSkin]\r\nSkinName=x\r\n")}}, 1);
    data.ReadSkinStream(MakeSkinStream(LzhufPack(raw)));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "This is Older Skin File\rPlease update to new version !");
    EXPECT_TRUE(data.NoSkin());
    data.Loaded();
    EXPECT_FALSE(data.Active());
    EXPECT_FALSE(TSkinManage::Instance().SkinningOn());
}

TEST_F(SkinDataTest, TooManyEntriesIsRejectedWithoutAMessage) {
    std::vector<TSkinPackageEntry> entries(1002, {"x.ini", B("[TitlebarSkin]\r\n")});
    TSkinData data(nullptr);
    data.ReadSkinStream(MakeSkinStream(BuildPackage(entries)));
    EXPECT_TRUE(data.NoSkin());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SkinDataTest, DamagedPackagesAreReportedAndLeaveNoSkin) {
    Bytes goodRaw = BuildUnpackedPackage({{"skin.ini", B("[TitlebarSkin]\r\nSkinName=x\r\n")}});
    Bytes sizePastEnd = goodRaw;
    sizePastEnd[16 + 10] = 0xFF; // the entry's size
    Bytes hugeClaim = LzhufPack(goodRaw);
    hugeClaim[3] = 0x7F; // about 2 GB unpacked
    const std::vector<Bytes> streams = {
        MakeSkinStream(LzhufPack(sizePastEnd)), MakeSkinStream(hugeClaim),
        Bytes{0x40, 0, 0, 0, 1, 2, 3}, // a count beyond the stored bytes
        MakeSkinStream(Bytes{1, 2}),   // no room for the size field
    };
    for (std::size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE(i);
        errors_.clear();
        TSkinData data(nullptr);
        data.ReadSkinStream(streams[i]);
        EXPECT_TRUE(data.NoSkin());
        EXPECT_EQ(errors_.size(), 1u);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SkinDataTest, DescriptionNameWithPathPartsStaysInsideTheTemporaryDirectory) {
    // The parent of the temporary directory, under a lower-case name as entry names are.
    std::string name =
        "../skin-evil-" + std::to_string(QCoreApplication::applicationPid()) + ".ini";
    QString target = QDir(temp_.path()).absoluteFilePath(QString::fromStdString(name));
    QFile::remove(target);
    TSkinData data(nullptr);
    data.ReadSkinStream(
        MakeSkinStream(BuildPackage({{name, B("[TitlebarSkin]\r\nSkinName=Evil\r\n")}})));
    EXPECT_FALSE(data.NoSkin());
    EXPECT_EQ(data.SkinName(), "Evil");
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(TempFiles().isEmpty());
}

TEST_F(SkinDataTest, UnusableTemporaryDirectoryRaisesToTheWindowsLoading) {
    // A plain file where the directory should be: nothing can be created in it (even by root).
    QString notADirectory = temp_.filePath("file");
    std::ofstream(notADirectory.toStdString()) << "x";
    qputenv("TMPDIR", notADirectory.toLocal8Bit());
    TSkinData data(nullptr);
    EXPECT_THROW(data.ReadSkinStream(MainWindowSkinStream()), Exception);
    EXPECT_TRUE(data.NoSkin());
}

TEST_F(SkinDataTest, ATemporaryFolderThatDoesNotExistIsNamedAndNoOtherFolderIsUsed) {
    const std::string missing = temp_.filePath("missing").toStdString();
    qputenv("TMPDIR", QByteArray::fromStdString(missing));
    TSkinData data(nullptr);
    std::string message;
    try {
        data.ReadSkinStream(MainWindowSkinStream());
    } catch (const Exception& e) {
        message = e.Message();
    }
    EXPECT_EQ(message.rfind("Cannot create file " + missing + "/skin-", 0), 0u) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    EXPECT_TRUE(data.NoSkin());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(missing)));
}

TEST_F(SkinDataTest, PackageWithoutDescriptionIsReported) {
    TSkinData data(nullptr);
    data.ReadSkinStream(MakeSkinStream(BuildPackage({{"a.bmp", B("BM")}})));
    EXPECT_TRUE(data.NoSkin());
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(SkinDataTest, ActiveGivesCommandsOnlyAfterLoadingAndWithASkin) {
    TSkinData data(nullptr);
    data.Loaded();
    data.SetActive(true); // no skin yet: nothing happens
    EXPECT_FALSE(data.Active());
    EXPECT_EQ(TSkinManage::Instance().PendingCommand(), 0);

    data.ReadSkinStream(MainWindowSkinStream());
    ASSERT_FALSE(data.NoSkin());
    data.SetActive(true);
    EXPECT_EQ(TSkinManage::Instance().PendingCommand(), 1);
    EXPECT_TRUE(TSkinManage::Instance().SkinningOn());
    data.SetActive(false);
    EXPECT_EQ(TSkinManage::Instance().PendingCommand(), 2);
    EXPECT_FALSE(TSkinManage::Instance().SkinningOn());
}

TEST_F(SkinDataTest, SkinFileReplacesThePackageAndAsksForAReapply) {
    QTemporaryDir files;
    std::string path = files.filePath("other.skn").toStdString();
    Bytes package = BuildPackage({{"other.ini", B("[TitlebarSkin]\r\nSkinName=Other\r\n")}});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()), std::streamsize(package.size()));

    TSkinData data(nullptr);
    data.ReadSkinStream(MainWindowSkinStream());
    data.Loaded();
    data.SetSkinFile(path);
    EXPECT_EQ(data.SkinFile(), path);
    EXPECT_FALSE(data.NoSkin());
    EXPECT_EQ(data.SkinName(), "Other");
    EXPECT_EQ(data.Package(), package);
    EXPECT_EQ(TSkinManage::Instance().PendingCommand(), 3);

    data.SetSkinFile(files.filePath("missing.skn").toStdString());
    EXPECT_TRUE(data.NoSkin());
}

TEST_F(SkinDataTest, DestroyedComponentUnregisters) {
    auto* data = new TSkinData(nullptr);
    EXPECT_EQ(TSkinManage::Instance().Skins().back(), data);
    delete data;
    for (TSkinData* skin : TSkinManage::Instance().Skins())
        EXPECT_NE(skin, data);
}

} // namespace
