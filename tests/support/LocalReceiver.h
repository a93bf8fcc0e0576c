#pragma once

// The alert channels' receivers for tests: tests/support/receivers.py (Debian's python3, with
// python3-aiosmtpd for SMTP) as a child process on 127.0.0.1, recording what it receives as
// JSON lines.

#include <QJsonObject>

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class LocalReceiver {
public:
    // Starts `receivers.py kind RECORD args...` with its record file in `folder` and waits until
    // it listens; throws std::runtime_error when it does not within a generous time.
    LocalReceiver(const std::string& kind, const std::vector<std::string>& args,
                  const std::string& folder);
    // Ends it (SIGTERM, then SIGKILL) and reaps it.
    ~LocalReceiver();
    LocalReceiver(const LocalReceiver&) = delete;
    LocalReceiver& operator=(const LocalReceiver&) = delete;

    int port() const { return port_; }
    // What it recorded so far, in order.
    std::vector<QJsonObject> Records() const;
    // Waits until at least `count` records are there; true when they are.
    bool WaitForRecords(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string record_;
};

// The script's path in the source tree.
std::string ReceiversScript();

// Makes ca.pem, server.pem and server.key (for 127.0.0.1, signed by ca.pem) in `folder`; throws
// std::runtime_error when openssl fails.
void MakeTestCertificates(const std::string& folder);

// Field `name` of a record as bytes: a string as UTF-8, a base64 field decoded.
std::string Text(const QJsonObject& record, const char* name);
std::string Base64Field(const QJsonObject& record, const char* name);
// The value of header `name` (any case) in an HTTP record; empty when absent.
std::string Header(const QJsonObject& record, const std::string& name);
