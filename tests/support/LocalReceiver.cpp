#include "support/LocalReceiver.h"

#include "support/Pump.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Debian's own python3, which has the Debian modules, whatever else is on the PATH.
const char* kPython = "/usr/bin/python3";

pid_t Spawn(const std::vector<std::string>& args, int outFd) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + std::string(kPython));
    return pid;
}

} // namespace

std::string ReceiversScript() {
    return std::string(SM_SOURCE_DIR) + "/tests/support/receivers.py";
}

void MakeTestCertificates(const std::string& folder) {
    const pid_t pid = Spawn({kPython, ReceiversScript(), "certs", folder}, -1);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("receivers.py certs failed");
}

LocalReceiver::LocalReceiver(const std::string& kind, const std::vector<std::string>& args,
                             const std::string& folder) {
    static int serial = 0;
    record_ = folder + "/" + kind + "-" + std::to_string(++serial) + ".jsonl";
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    std::vector<std::string> argv = {kPython, ReceiversScript(), kind, record_};
    argv.insert(argv.end(), args.begin(), args.end());
    try {
        pid_ = Spawn(argv, pipeFds[1]);
    } catch (...) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        throw;
    }
    close(pipeFds[1]);
    // "READY <port>\n", within a generous time (the sanitizer build and a loaded machine).
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    if (line.rfind("READY ", 0) != 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("receivers.py " + kind + " did not start: " + line);
    }
    port_ = std::stoi(line.substr(6));
}

LocalReceiver::~LocalReceiver() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    const bool ended = WaitUntil([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; },
                                 std::chrono::seconds(5));
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::vector<QJsonObject> LocalReceiver::Records() const {
    std::vector<QJsonObject> records;
    std::ifstream in(record_);
    std::string line;
    while (std::getline(in, line)) {
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        // A line still being written is read next time.
        if (document.isObject())
            records.push_back(document.object());
    }
    return records;
}

bool LocalReceiver::WaitForRecords(std::size_t count, std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return Records().size() >= count; }, limit);
}

std::string Text(const QJsonObject& record, const char* name) {
    return record.value(QLatin1String(name)).toString().toStdString();
}

std::string Base64Field(const QJsonObject& record, const char* name) {
    return QByteArray::fromBase64(record.value(QLatin1String(name)).toString().toLatin1())
        .toStdString();
}

std::string Header(const QJsonObject& record, const std::string& name) {
    for (const QJsonValue& pair : record.value(QLatin1String("headers")).toArray()) {
        const QJsonArray fields = pair.toArray();
        if (fields.at(0).toString().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
            return fields.at(1).toString().toStdString();
    }
    return {};
}
