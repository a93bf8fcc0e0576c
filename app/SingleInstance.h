#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

// One monitor per working folder. The first start in a folder holds a lock file in the runtime
// folder and listens on a local socket beside it; a later start in the same folder finds the lock
// taken and asks the holder, through that socket, to bring its main window back.
//
// Both names come from a hash of the folder's canonical path, so monitors in different folders
// never meet. The lock file holds the owner's pid; a lock left by a monitor that crashed or was
// killed is found stale (its process is gone) and taken over.
class SingleInstance : public QObject {
public:
    enum class Outcome {
        // This process holds the folder's lock: it is the monitor.
        First,
        // Another monitor runs there and was asked to show its window.
        Asked,
        // Another monitor runs there and was not asked (no display here, or it did not answer).
        Running,
        // The lock could not be used (runtime folder missing or not writable): monitor anyway.
        Unavailable,
    };

    // The exit status of a start that found another monitor and could not hand it over (a start
    // without a display, or a monitor that did not answer).
    static constexpr int kAlreadyRunningStatus = 3;

    // `folder` is the working folder to claim; `runtimeDir` (app/RuntimeFolder.h) where the lock
    // and socket live; empty: there is none, and Claim says Unavailable.
    SingleInstance(const QString& folder, const QString& runtimeDir);
    ~SingleInstance() override;

    // Takes the folder's lock, or, when another monitor holds it and `askToShow`, asks that
    // monitor to show its window, waiting `timeoutMs` at most for its answer.
    Outcome Claim(bool askToShow, int timeoutMs = 5000);

    // The pid of the monitor that holds the lock, as its lock file says; 0 when unknown. Valid
    // after Claim returned Asked or Running.
    qint64 RunningPid() const { return runningPid_; }

    // The canonical folder, as used for the names.
    const QString& Folder() const { return folder_; }

    // What to run, on the GUI thread, when a later start asks for the window. Only the First
    // listens.
    std::function<void()> OnShowRequest;

    // The base name of the lock and socket for `canonicalFolder`.
    static QString KeyFor(const QString& canonicalFolder);

private:
    bool Listen();
    bool AskToShow(int timeoutMs);

    QString folder_;
    QString lockPath_;
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    qint64 runningPid_ = 0;
};
