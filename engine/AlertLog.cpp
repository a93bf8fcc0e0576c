#include "engine/AlertLog.h"

#include "platform/ErrorReport.h"

#include <QMetaObject>

AlertLog::AlertLog(QObject* receiver, Sink sink) : receiver_(receiver), sink_(std::move(sink)) {}

void AlertLog::Post(const std::string& line) {
    // The lock keeps the receiver alive for the post: Detach() cannot finish in between.
    std::lock_guard lock(lock_);
    if (!receiver_)
        return;
    QMetaObject::invokeMethod(
        receiver_,
        // Run from Qt's event dispatch: a failing append goes to the default error report.
        [sink = sink_, line] { RunGuarded([&] { sink(line); }); }, Qt::QueuedConnection);
}

void AlertLog::Call(std::function<void()> call) {
    std::lock_guard lock(lock_);
    if (!receiver_)
        return;
    QMetaObject::invokeMethod(
        receiver_, [call = std::move(call)] { RunGuarded([&] { call(); }); }, Qt::QueuedConnection);
}

void AlertLog::Detach() {
    std::lock_guard lock(lock_);
    receiver_ = nullptr;
}
