#include "skin/TempDescriptionFile.h"

#include "platform/Exception.h"
#include "storage/IniFile.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "no exception";
}

TEST(TempDescriptionFile, IsReadByItsPathWhileTheFolderHoldsNothing) {
    if (!std::filesystem::exists("/proc/self/fd"))
        GTEST_SKIP() << "no /proc: the file keeps its name while it is read";
    TempDir dir;
    {
        TempDescriptionFile file(dir.path(), Bytes("[TitlebarSkin]\r\nSkinName=Blue\r\n"));
        // Nothing to be left behind if the process ends now, by a signal or _exit.
        EXPECT_EQ(dir.listing(), "");
        // Every read opens the path anew.
        TIniFile ini(file.Path());
        EXPECT_EQ(ini.GetStr("TitlebarSkin", "SkinName", ""), "Blue");
        EXPECT_EQ(ini.GetStr("titlebarskin", "skinname", ""), "Blue");
    }
    EXPECT_EQ(dir.listing(), "");
}

TEST(TempDescriptionFile, AFolderThatCannotTakeItIsNamed) {
    TempDir dir;
    const std::string missing = dir.file("missing");
    EXPECT_EQ(MessageOf([&] { TempDescriptionFile file(missing, Bytes("x")); }),
              "Cannot create file " + missing + "/skin-XXXXXX: No such file or directory");
    const std::string plain = dir.write("plain", "");
    EXPECT_EQ(MessageOf([&] { TempDescriptionFile file(plain, Bytes("x")); }),
              "Cannot create file " + plain + "/skin-XXXXXX: Not a directory");
    EXPECT_EQ(dir.listing(), "plain");
}

TEST(TempDescriptionFile, AWriteThatFailsLeavesNothingBehind) {
    TempDir dir;
    const std::string report = InChild([&] {
        // A file size limit stands in for a full disk; its signal would end the child.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4, 4};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return std::string("setrlimit failed");
        const std::string message =
            MessageOf([&] { TempDescriptionFile file(dir.path(), Bytes("[Section]\r\n")); });
        const std::string head = "Cannot write file " + dir.path() + "/skin-";
        if (message.rfind(head, 0) != 0 || !message.ends_with(": File too large"))
            return message;
        return std::string();
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(dir.listing(), "");
}

} // namespace
