#include "support/Child.h"
#include "support/TempDir.h"

#include "storage/FileContent.h"
#include "storage/MemIniFile.h"
#include "storage/StreamErrors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kServers[] = "[Web]\r\nIP=10.0.0.1\r\nPort=80\r\n\r\n";

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// The message of the EStreamError that `action` raises, or a note that it raised none.
template <typename Error, typename Action> std::string MessageOf(Action action) {
    try {
        action();
    } catch (const Error& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return std::string("other exception: ") + e.what();
    }
    return "no exception";
}

class MemIniFileOnDisk : public testing::Test {
protected:
    TempDir dir_;
    std::string path_ = dir_.file("servers.ini");
};

TEST_F(MemIniFileOnDisk, MissingFileGivesAnEmptyDocumentThatSaveCreates) {
    TMemIniFile ini(path_);
    TStringList names;
    names.Add("stale");
    ini.GetSectionNames(names);
    EXPECT_EQ(names.Count(), 0);
    EXPECT_EQ(ini.GetInt("Web", "Port", 5), 5);
    ini.Save();
    EXPECT_EQ(ReadBytes(path_), "");
    EXPECT_EQ(dir_.listing(), "servers.ini");
    ini.PutStr("Web", "IP", "10.0.0.1");
    ini.PutInt("Web", "Port", 80);
    ini.Save();
    EXPECT_EQ(ReadBytes(path_), kServers);
}

TEST_F(MemIniFileOnDisk, ANewFileGetsTheUsualModeLessTheUmask) {
    mode_t old = ::umask(027);
    TMemIniFile(path_).Save();
    ::umask(old);
    EXPECT_EQ(ModeOf(path_), 0640u);
}

TEST_F(MemIniFileOnDisk, LoadsWhatWasSavedAndLeavesTheFileAloneUntilSave) {
    WriteBytes(path_, "; c\n[Web]\nIP = 10.0.0.1\nPort=80\n");
    {
        TMemIniFile ini(path_);
        EXPECT_EQ(ini.GetStr("web", "ip", ""), "10.0.0.1");
        ini.PutStr("Web", "IP", "10.0.0.2");
    }
    EXPECT_EQ(ReadBytes(path_), "; c\n[Web]\nIP = 10.0.0.1\nPort=80\n");
    TMemIniFile ini(path_);
    ini.Save();
    EXPECT_EQ(ReadBytes(path_), kServers);
    // A document never re-reads: a later change on disk is overwritten by its Save.
    TMemIniFile early(path_);
    WriteBytes(path_, "[Other]\r\n");
    early.Save();
    EXPECT_EQ(ReadBytes(path_), kServers);
}

TEST_F(MemIniFileOnDisk, EmptyPathAndDirectoriesGiveEmptyDocuments) {
    std::filesystem::create_directory(path_);
    for (const std::string& path : {std::string(), path_, dir_.file("missing/servers.ini")}) {
        TMemIniFile ini(path);
        TStringList names;
        ini.GetSectionNames(names);
        EXPECT_EQ(names.Count(), 0) << path;
    }
}

TEST_F(MemIniFileOnDisk, SaveFailuresRaiseEFCreateErrorAndLeaveNoTrace) {
    std::filesystem::create_directory(path_);
    const std::string missing = dir_.file("missing/servers.ini");
    for (const std::string& path : {std::string(), path_, missing}) {
        TMemIniFile ini(path);
        ini.PutStr("A", "k", "v");
        EXPECT_EQ(MessageOf<EFCreateError>([&] { ini.Save(); }), "Cannot create file " + path);
        EXPECT_EQ(ini.Text(), "[A]\r\nk=v\r\n\r\n");
    }
    EXPECT_TRUE(std::filesystem::is_directory(path_));
    EXPECT_EQ(dir_.listing(), "servers.ini");
}

TEST_F(MemIniFileOnDisk, ReadOnlyFileIsNotReplaced) {
    WriteBytes(path_, kServers);
    ::chmod(path_.c_str(), 0444);
    TMemIniFile ini(path_);
    ini.RemoveSection("Web");
    EXPECT_EQ(MessageOf<EFCreateError>([&] { ini.Save(); }), "Cannot create file " + path_);
    EXPECT_EQ(ReadBytes(path_), kServers);
    EXPECT_EQ(dir_.listing(), "servers.ini");
    // The document is unchanged and may be saved once the file is writable again.
    ::chmod(path_.c_str(), 0644);
    ini.Save();
    EXPECT_EQ(ReadBytes(path_), "");
}

TEST_F(MemIniFileOnDisk, SaveKeepsPermissionBitsAndWritesThroughASymbolicLink) {
    WriteBytes(path_, kServers);
    ::chmod(path_.c_str(), 0604);
    std::filesystem::create_directory(dir_.file("sub"));
    const std::string link = dir_.file("sub/link.ini");
    std::filesystem::create_symlink("../servers.ini", link);
    TMemIniFile ini(link);
    EXPECT_EQ(ini.GetInt("Web", "Port", 0), 80);
    ini.PutInt("Web", "Port", 81);
    ini.Save();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(path_), "[Web]\r\nIP=10.0.0.1\r\nPort=81\r\n\r\n");
    EXPECT_EQ(ModeOf(path_), 0604u);
    EXPECT_EQ(dir_.listing(), "servers.ini sub");
    EXPECT_EQ(std::filesystem::read_symlink(link), "../servers.ini");
}

TEST_F(MemIniFileOnDisk, DanglingSymbolicLinkCreatesItsTarget) {
    const std::string link = dir_.file("link.ini");
    std::filesystem::create_symlink("servers.ini", link);
    TMemIniFile ini(link);
    ini.PutStr("A", "k", "v");
    ini.Save();
    EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=v\r\n\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST_F(MemIniFileOnDisk, SymbolicLinkLoopIsACreateError) {
    const std::string link = dir_.file("loop.ini");
    std::filesystem::create_symlink("loop.ini", link);
    TMemIniFile ini(link);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { ini.Save(); }), "Cannot create file " + link);
}

// A real short write: the file size limit lets only part of the new text reach the disk.
TEST_F(MemIniFileOnDisk, ShortWriteRaisesEWriteErrorAndKeepsTheOldFile) {
    std::string old;
    for (int i = 0; i < 40; ++i)
        old += "[S" + std::to_string(i) + "]\r\nIP=10.0.0." + std::to_string(i) + "\r\n\r\n";
    WriteBytes(path_, old);
    const std::string report = InChild([&]() -> std::string {
        TMemIniFile ini(path_);
        ini.PutStr("S0", "IP", std::string(3000, 'x'));
        struct rlimit limit {
            512, 512
        };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return "setrlimit failed";
        std::string message = MessageOf<EWriteError>([&] { ini.Save(); });
        if (message != "Stream write error")
            return "first save: " + message;
        if (ini.GetStr("S0", "IP", "").size() != 3000)
            return "the document changed";
        // Still failing, still no damage: every attempt cleans up after itself.
        message = MessageOf<EWriteError>([&] { ini.Save(); });
        if (message != "Stream write error")
            return "second save: " + message;
        return "";
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadBytes(path_), old);
    EXPECT_EQ(dir_.listing(), "servers.ini");
}

TEST_F(MemIniFileOnDisk, UnreadableFileRaisesEFOpenErrorWithThePathAsGiven) {
    WriteBytes(path_, kServers);
    ::chmod(path_.c_str(), 0200);
    ::chmod(dir_.path().c_str(), 0755);
    const std::string report = InChild(
        [&]() -> std::string {
            std::string message = MessageOf<EFOpenError>([&] { TMemIniFile ini(path_); });
            return message == "Cannot open file " + path_ ? "" : message;
        },
        /*asNobody=*/true);
    EXPECT_EQ(report, "");
}

TEST_F(MemIniFileOnDisk, ReadOnlyDirectoryRaisesEFCreateError) {
    WriteBytes(path_, kServers);
    ::chmod(path_.c_str(), 0666);
    ::chmod(dir_.path().c_str(), 0555);
    const std::string report = InChild(
        [&]() -> std::string {
            TMemIniFile ini(path_);
            ini.PutInt("Web", "Port", 81);
            std::string message = MessageOf<EFCreateError>([&] { ini.Save(); });
            return message == "Cannot create file " + path_ ? "" : message;
        },
        /*asNobody=*/true);
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadBytes(path_), kServers);
    EXPECT_EQ(dir_.listing(), "servers.ini");
}

TEST(StreamErrors, KindsAndMessages) {
    EXPECT_EQ(EFOpenError("a.ini").Message(), "Cannot open file a.ini");
    EXPECT_EQ(EFCreateError("./servers.ini").Message(), "Cannot create file ./servers.ini");
    EXPECT_EQ(EWriteError().Message(), "Stream write error");
    // Callers catch by the common bases.
    EXPECT_EQ(MessageOf<EFilerError>([] { throw EWriteError(); }), "Stream write error");
    EXPECT_EQ(MessageOf<EStreamError>([] { throw EFOpenError("x"); }), "Cannot open file x");
    EXPECT_EQ(MessageOf<Exception>([] { throw EFCreateError("x"); }), "Cannot create file x");
}

TEST(FileContent, DevicesAndPipesReadAsNoFile) {
    EXPECT_FALSE(ReadFileContent("/dev/null").has_value());
    EXPECT_FALSE(ReadFileContent("/").has_value());
}

} // namespace
