#include "app/StandardErrorQueue.h"
#include "platform/StandardError.h"
#include "support/Pipe.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

TEST(StandardErrorQueueTest, AStandardErrorNobodyReadsHoldsUpNeitherQtNorTheProgramsMessages) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            // A write that waits for the reader ends the child instead of hanging the test.
            ::alarm(20);
            Pipe errors;
            if (!errors.fill() || ::dup2(errors.writer(), STDERR_FILENO) < 0)
                std::_Exit(2);
            QueueStandardError();
            qSetMessagePattern(QStringLiteral("%{type}: %{message}"));
            for (int i = 0; i < 100; ++i) {
                qWarning("warning %d", i);
                WriteStandardError("servermonitor: line " + std::to_string(i) + "\n");
            }
            // The reader comes back: everything arrives, in order, once it is read.
            std::string received;
            for (int turns = 0; turns < 2000 && received.find("line 99\n") == std::string::npos;
                 ++turns) {
                received += errors.drain();
                ::usleep(5000);
            }
            std::string expected(4096, 'x');
            for (int i = 0; i < 100; ++i)
                expected += "warning: warning " + std::to_string(i) + "\nservermonitor: line " +
                            std::to_string(i) + "\n";
            std::_Exit(received == expected ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
