#include "app/StandardErrorQueue.h"

#include "app/QueuedWriter.h"
#include "platform/StandardError.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <unistd.h>

namespace {

// Lives as long as the process: Qt may warn while it ends.
QueuedWriter& Queue() {
    static auto* queue = new QueuedWriter(STDERR_FILENO, kStandardErrorQueueBytes);
    return *queue;
}

void QueueText(std::string_view textUtf8) {
    Queue().Queue(std::string(textUtf8));
}

void QueueQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    QByteArray line = qFormatLogMessage(type, context, message).toUtf8();
    line.append('\n');
    QueueText(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    // Qt ends the process right after a fatal message; give the message its chance to get out.
    if (type == QtFatalMsg)
        Queue().WaitWritten(QueuedWriter::kCloseLimit, QueuedWriter::kCloseStall);
}

} // namespace

void QueueStandardError() {
    Queue();
    SetStandardErrorWriter(
        {QueueText,
         [] { Queue().WaitWritten(QueuedWriter::kCloseLimit, QueuedWriter::kCloseStall); }});
    qInstallMessageHandler(QueueQtMessage);
}
