#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <string>

// The way alert workers' log lines reach the GUI thread: each line becomes a queued call on
// `receiver`, which hands it to `sink` when the receiver's thread dispatches it. Lines posted by
// one thread arrive in the order posted; posting never waits for the append. Shared by the
// owner and its workers; the owner calls Detach() before the receiver goes, after which lines
// are dropped.
class AlertLog {
public:
    using Sink = std::function<void(const std::string& line)>;

    AlertLog(QObject* receiver, Sink sink);

    // Any thread.
    void Post(const std::string& line);
    // Any thread: runs `call` on the receiver's thread, or never once detached.
    void Call(std::function<void()> call);
    // The receiver's thread.
    void Detach();

private:
    std::mutex lock_;
    QObject* receiver_;
    Sink sink_;
};
