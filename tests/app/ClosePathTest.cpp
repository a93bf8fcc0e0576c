#include "app/ShutdownSignals.h"
#include "app/StandardOutputLog.h"
#include "engine/ProbeFlags.h"
#include "platform/GbkText.h"
#include "sms/ModemApi.h"
#include "support/Loopback.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

// The child's modem calls go to a file that outlives it; the parent reads it afterwards.
std::string recordPath;

void Record(const std::string& what) {
    const int fd = ::open(recordPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string line = what + "\n";
    [[maybe_unused]] auto n = ::write(fd, line.data(), line.size());
    ::close(fd);
}

int SetModemType(int type, int port) {
    Record("SetModemType(" + std::to_string(type) + "," + std::to_string(port) + ")");
    return 0;
}
int InitModem(int port) {
    Record("InitModem(" + std::to_string(port) + ")");
    return 0;
}
int SendMsg(int, const char*, const char*) {
    Record("SendMsg");
    return -1;
}
int GetStatus(int) {
    return -1;
}
int CloseModem(int port) {
    // ProbeWaiting must already be down when the modem is closed, and the table that every other
    // thread reaches must be the closed one, so that none can open the port again.
    Record("CloseModem(" + std::to_string(port) + ") ProbeWaiting=" + (ProbeWaiting ? "1" : "0") +
           (&Modem() == &ClosedModemApi() ? " others closed out" : " others reach the port"));
    return 0;
}

const ModemApi kRecordingModem{SetModemType, InitModem, SendMsg, GetStatus, CloseModem};

// A modem whose search goes on until the modem is closed (20 s at most), as a port that never
// answers makes it.
std::mutex searchLock;
std::condition_variable searchChanged;
bool searching = false;
bool closed = false;

int SlowSetModemType(int type, int port) {
    SetModemType(type, port);
    std::unique_lock lock(searchLock);
    searching = true;
    searchChanged.notify_all();
    searchChanged.wait_for(lock, std::chrono::seconds(20), [] { return closed; });
    // Found after all: start-up would go on to bring the modem up.
    return 0;
}
int SlowCloseModem(int port) {
    CloseModem(port);
    std::lock_guard lock(searchLock);
    closed = true;
    searchChanged.notify_all();
    return 0;
}

const ModemApi kSlowSearchModem{SlowSetModemType, InitModem, SendMsg, GetStatus, SlowCloseModem};

std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

enum class CloseRequest { Close, TrayExit, WindowSystem };

class ClosePathTest : public testing::TestWithParam<CloseRequest> {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "fast");
        ASSERT_TRUE(dir.isValid());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        recordPath = dir.filePath("modem.txt").toStdString();
        stdoutPath = dir.filePath("stdout.txt").toStdString();
    }
    void TearDown() override { QDir::setCurrent(previousDir); }

    // Runs in the child: the log goes to a file so the parent can read every line (through the
    // standard output copy, as in the program).
    void RedirectStdout() {
        if (!std::freopen(stdoutPath.c_str(), "w", stdout))
            std::_Exit(4);
        SetModemApi(&kRecordingModem);
    }

    static void Request(TForm1& form, CloseRequest request) {
        switch (request) {
        case CloseRequest::Close:
            form.close();
            break;
        case CloseRequest::TrayExit:
            form.N2Click();
            break;
        case CloseRequest::WindowSystem:
            form.windowHandle()->close();
            break;
        }
    }

    QTemporaryDir dir;
    QString previousDir;
    std::string stdoutPath;
};

TEST_P(ClosePathTest, ClosesTheModemOnceAndEndsWithExitCodeZeroBeforeAnythingElseRuns) {
    const CloseRequest request = GetParam();
    EXPECT_EXIT(
        {
            RedirectStdout();
            StandardOutputLog log;
            TForm1 form(&log);
            form.show();
            QApplication::processEvents();
            ProbeWaiting = true;
            // Work that would run after the close request if the handler returned to the loop.
            QTimer::singleShot(0, &form, [&form] { form.AppendLog("late log line"); });
            QMetaObject::invokeMethod(
                &form, [] { Record("late handler"); }, Qt::QueuedConnection);
            Request(form, request);
            Record("close request returned");
            QApplication::processEvents();
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(
        ReadAll(QString::fromStdString(recordPath)),
        "SetModemType(0,0)\nInitModem(-1)\nCloseModem(-1) ProbeWaiting=0 others closed out\n");
    EXPECT_EQ(ReadAll(QString::fromStdString(stdoutPath)), GbkToUtf8("初始化短信设备完成！\n"));
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, ClosePathTest,
                         testing::Values(CloseRequest::Close, CloseRequest::TrayExit,
                                         CloseRequest::WindowSystem),
                         [](const testing::TestParamInfo<CloseRequest>& info) {
                             switch (info.param) {
                             case CloseRequest::Close:
                                 return "CloseBox";
                             case CloseRequest::TrayExit:
                                 return "TrayExit";
                             case CloseRequest::WindowSystem:
                                 return "WindowSystem";
                             }
                             return "Unknown";
                         });

TEST_F(ClosePathTest, TerminationSignalsTakeTheSameExit) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove(recordPath.c_str());
        EXPECT_EXIT(
            {
                RedirectStdout();
                TForm1 form;
                RouteShutdownSignals([&form] { form.close(); });
                ::raise(signal);
                QTimer::singleShot(10000, [] { std::exit(5); });
                QApplication::exec();
                std::exit(3);
            },
            testing::ExitedWithCode(0), "")
            << "signal " << signal;
        EXPECT_EQ(
            ReadAll(QString::fromStdString(recordPath)),
            "SetModemType(0,0)\nInitModem(-1)\nCloseModem(-1) ProbeWaiting=0 others closed out\n");
    }
}

TEST_F(ClosePathTest, ASignalBeforeTheWindowExistsClosesTheModemAndEndsWithExitCodeZero) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove(recordPath.c_str());
        EXPECT_EXIT(
            {
                RedirectStdout();
                InstallShutdownSignals();
                ::raise(signal);
                // A safety bound: the window would only come after this.
                std::this_thread::sleep_for(std::chrono::seconds(20));
                std::_Exit(5);
            },
            testing::ExitedWithCode(0), "")
            << "signal " << signal;
        EXPECT_EQ(ReadAll(QString::fromStdString(recordPath)),
                  "CloseModem(-1) ProbeWaiting=0 others closed out\n");
    }
}

TEST_F(ClosePathTest, ASignalWhileStartUpWaitsForTheModemEndsTheWaitAndTheProcess) {
    EXPECT_EXIT(
        {
            RedirectStdout();
            SetModemApi(&kSlowSearchModem);
            InstallShutdownSignals();
            std::thread([] {
                std::unique_lock lock(searchLock);
                if (searchChanged.wait_for(lock, std::chrono::seconds(20),
                                           [] { return searching; }))
                    ::kill(::getpid(), SIGTERM);
            }).detach();
            StandardOutputLog log;
            SealOnEarlyClose(&log);
            TForm1 form(&log);
            // Start-up may go on for a moment while the process ends; a safety bound.
            std::this_thread::sleep_for(std::chrono::seconds(20));
            std::_Exit(5);
        },
        testing::ExitedWithCode(0), "");
    // Once closed, the modem is not opened again: no InitModem. And what start-up made of the
    // cut-short search is not logged: it did not happen.
    EXPECT_EQ(ReadAll(QString::fromStdString(recordPath)),
              "SetModemType(0,0)\nCloseModem(-1) ProbeWaiting=0 others closed out\n");
    EXPECT_EQ(ReadAll(QString::fromStdString(stdoutPath)), "");
}

TEST_F(ClosePathTest, AClosedWindowEndsTheProcessInTheMiddleOfAProbe) {
    // Its backlog full and never accepting: connects to it get no answer.
    LoopbackListener host(0);
    host.Fill();
    std::ofstream("servers.ini", std::ios::binary)
        << "[silent]\r\nIP=127.0.0.1\r\nPort=" << host.Port() << "\r\n";
    EXPECT_EXIT(
        {
            RedirectStdout();
            StandardOutputLog log;
            TForm1 form(&log);
            form.show();
            // The close request arrives through the probe's own event pumping.
            QTimer::singleShot(300, &form, [&form] { form.close(); });
            QTimer::singleShot(20000, [] { std::exit(5); });
            form.Button1Click();
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(
        ReadAll(QString::fromStdString(recordPath)),
        "SetModemType(0,0)\nInitModem(-1)\nCloseModem(-1) ProbeWaiting=0 others closed out\n");
    const std::string log = ReadAll(QString::fromStdString(stdoutPath));
    const std::string connecting = GbkToUtf8("正在和127.0.0.1建立连接...\n");
    ASSERT_GE(log.size(), connecting.size()) << log;
    // The probe line is the last thing logged: no failure, no disconnect after the close.
    EXPECT_EQ(log.substr(log.size() - connecting.size()), connecting) << log;
}

} // namespace
