#pragma once

#include "sms/ModemApi.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A substitute for the modem library, installed for its lifetime. It records every call as text
// ("SetModemType(0,0)", "SendMsg(-1)") and every message handed to it; SetModemType and InitModem
// answer the results given at construction, SendMsg the settable answer (0, a success, by
// default). A send can be held until released, to make two alert workers overlap. Any thread.
class FakeModem {
public:
    struct Sent {
        int port;
        std::string number;
        std::string text;
    };

    explicit FakeModem(int setModemTypeResult = 0, int initModemResult = 0);
    ~FakeModem();
    FakeModem(const FakeModem&) = delete;
    FakeModem& operator=(const FakeModem&) = delete;

    std::vector<std::string> calls() const;
    std::vector<Sent> sent() const;
    void answer(int value) { answer_ = value; }
    void hold();
    void release();
    // Waits (at most `limit`) until `count` sends have started.
    bool waitForSends(size_t count,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

    // Runs inside SetModemType before it answers.
    std::function<void()> onSetModemType;

private:
    static int SetModemType(int type, int port);
    static int InitModem(int port);
    static int SendMsg(int port, const char* number, const char* text);
    static int GetStatus(int port);
    static int CloseModem(int port);
    void Record(std::string call);

    static inline FakeModem* current_ = nullptr;
    const int setModemTypeResult_;
    const int initModemResult_;
    const ModemApi api_;
    const ModemApi* previous_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::vector<Sent> sent_;
    size_t started_ = 0;
    bool held_ = false;
    std::atomic<int> answer_{0};
};
