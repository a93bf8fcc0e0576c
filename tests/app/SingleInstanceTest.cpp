#include "app/SingleInstance.h"
#include "app/RuntimeFolder.h"

#include "support/Child.h"
#include "support/Pump.h"
#include "support/TempDir.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    QString Runtime() const { return QString::fromStdString(runtime.path()); }
    TempDir runtime;
};

TEST_F(SingleInstanceTest, TheFirstClaimHoldsTheFolderAndALaterOneFindsItsPid) {
    SingleInstance first(QStringLiteral("/srv/a"), Runtime());
    ASSERT_EQ(first.Claim(false), SingleInstance::Outcome::First);
    SingleInstance later(QStringLiteral("/srv/a"), Runtime());
    EXPECT_EQ(later.Claim(false), SingleInstance::Outcome::Running);
    EXPECT_EQ(later.RunningPid(), ::getpid());

    // Another folder is another monitor.
    SingleInstance other(QStringLiteral("/srv/b"), Runtime());
    EXPECT_EQ(other.Claim(false), SingleInstance::Outcome::First);
    EXPECT_NE(SingleInstance::KeyFor(QStringLiteral("/srv/a")),
              SingleInstance::KeyFor(QStringLiteral("/srv/b")));
}

TEST_F(SingleInstanceTest, AskingRunsTheShowRequestOfTheRunningMonitor) {
    SingleInstance first(QStringLiteral("/srv/a"), Runtime());
    int requests = 0;
    first.OnShowRequest = [&] { ++requests; };
    ASSERT_EQ(first.Claim(true), SingleInstance::Outcome::First);

    // The asker blocks; the running monitor answers from its event loop, pumped here.
    std::atomic<int> outcome{-1};
    std::thread asker([&] {
        SingleInstance later(QStringLiteral("/srv/a"), Runtime());
        outcome = static_cast<int>(later.Claim(true, 20000));
    });
    const bool answered = PumpUntil([&] { return outcome >= 0; }, 30000);
    asker.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(outcome, static_cast<int>(SingleInstance::Outcome::Asked));
    EXPECT_EQ(requests, 1);
}

TEST_F(SingleInstanceTest, AMonitorThatDoesNotAnswerLeavesTheStartRefused) {
    // The lock is held and the socket accepts, but nothing ever answers.
    const QString base = Runtime() + QLatin1Char('/') + SingleInstance::KeyFor("/srv/a");
    QLockFile held(base + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(base + QStringLiteral(".sock")));

    SingleInstance later(QStringLiteral("/srv/a"), Runtime());
    EXPECT_EQ(later.Claim(true, 1500), SingleInstance::Outcome::Running);
    EXPECT_EQ(later.RunningPid(), ::getpid());
}

TEST_F(SingleInstanceTest, OnlyTheShowRequestIsAnswered) {
    SingleInstance first(QStringLiteral("/srv/a"), Runtime());
    int requests = 0;
    first.OnShowRequest = [&] { ++requests; };
    ASSERT_EQ(first.Claim(false), SingleInstance::Outcome::First);
    const QString path =
        Runtime() + QLatin1Char('/') + SingleInstance::KeyFor("/srv/a") + QStringLiteral(".sock");
    for (const QByteArray& sent : {QByteArray("quit\n"), QByteArray(200, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(path);
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(sent);
        socket.flush();
        EXPECT_TRUE(
            PumpUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 10000))
            << sent.left(10).toStdString();
        EXPECT_TRUE(socket.readAll().isEmpty());
    }
    EXPECT_EQ(requests, 0);
}

TEST_F(SingleInstanceTest, ALockLeftByAKilledMonitorIsTakenOver) {
    // The child claims the folder and dies without letting go, as after SIGKILL.
    const std::string died = InChild([&] {
        SingleInstance gone(QStringLiteral("/srv/a"), Runtime());
        if (gone.Claim(false) != SingleInstance::Outcome::First)
            return std::string("the child could not claim the folder");
        ::_exit(0);
        return std::string();
    });
    ASSERT_EQ(died, "");
    ASSERT_NE(runtime.listing().find(".lock"), std::string::npos) << runtime.listing();

    SingleInstance next(QStringLiteral("/srv/a"), Runtime());
    EXPECT_EQ(next.Claim(true), SingleInstance::Outcome::First);
    // And it listens where the dead one did.
    SingleInstance later(QStringLiteral("/srv/a"), Runtime());
    EXPECT_EQ(later.Claim(false), SingleInstance::Outcome::Running);
    EXPECT_EQ(later.RunningPid(), ::getpid());
}

TEST_F(SingleInstanceTest, WithoutARuntimeFolderEveryStartMonitors) {
    SingleInstance first(QStringLiteral("/srv/a"), QString());
    EXPECT_EQ(first.Claim(true), SingleInstance::Outcome::Unavailable);
    SingleInstance missing(QStringLiteral("/srv/a"), Runtime() + QStringLiteral("/missing"));
    EXPECT_EQ(missing.Claim(true), SingleInstance::Outcome::Unavailable);
}

// Each case runs in a child: it changes the process's environment.
TEST(RuntimeFolderTest, AStartWithoutOneGetsAPrivateFolderAndTheVariable) {
    TempDir temp;
    EXPECT_EQ(InChild([&] {
                  ::unsetenv("XDG_RUNTIME_DIR");
                  ::setenv("TMPDIR", temp.path().c_str(), 1);
                  const QString got = PrepareRuntimeFolder();
                  struct stat st {};
                  if (got.isEmpty() || ::lstat(got.toLocal8Bit().constData(), &st) != 0)
                      return "no folder: " + got.toStdString();
                  if (!got.startsWith(QString::fromStdString(temp.path() + "/runtime-")))
                      return "elsewhere: " + got.toStdString();
                  if ((st.st_mode & 0777) != 0700)
                      return std::string("not private");
                  if (qgetenv("XDG_RUNTIME_DIR") != got.toLocal8Bit())
                      return std::string("the variable was not set");
                  // The same folder again, as it stands.
                  ::unsetenv("XDG_RUNTIME_DIR");
                  return PrepareRuntimeFolder() == got ? std::string() : std::string("moved");
              }),
              "");
}

TEST(RuntimeFolderTest, AFolderOpenToOthersIsNotUsedNorReplaced) {
    TempDir temp;
    ::chmod(temp.path().c_str(), 0755);
    EXPECT_EQ(InChild([&] {
                  ::setenv("XDG_RUNTIME_DIR", temp.path().c_str(), 1);
                  if (!PrepareRuntimeFolder().isEmpty())
                      return std::string("an open folder was used");
                  return qgetenv("XDG_RUNTIME_DIR") == temp.path().c_str()
                             ? std::string()
                             : std::string("the variable was changed");
              }),
              "");
    // A planted folder of someone else's (here: a link) is not taken for ours either.
    TempDir other;
    ::symlink(other.path().c_str(), (temp.path() + "/runtime-root").c_str());
    EXPECT_EQ(InChild([&] {
                  if (::geteuid() != 0)
                      return std::string();
                  ::unsetenv("XDG_RUNTIME_DIR");
                  ::setenv("TMPDIR", temp.path().c_str(), 1);
                  return PrepareRuntimeFolder().isEmpty() ? std::string()
                                                          : std::string("a link was used");
              }),
              "");
}

} // namespace
