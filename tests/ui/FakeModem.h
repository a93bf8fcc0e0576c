#pragma once

#include "sms/ModemApi.h"

#include <functional>
#include <string>
#include <vector>

// A substitute modem library for tests: records every call as text ("SetModemType(0,0)") and
// answers SetModemType and InitModem with the configured results. Installed for its lifetime.
class FakeModem {
public:
    FakeModem(int setModemTypeResult = 0, int initModemResult = 0);
    ~FakeModem();
    FakeModem(const FakeModem&) = delete;
    FakeModem& operator=(const FakeModem&) = delete;

    const std::vector<std::string>& Calls() const { return calls_; }
    // Runs inside SetModemType before it answers.
    std::function<void()> onSetModemType;

private:
    static FakeModem* current_;
    static int SetModemType(int type, int port);
    static int InitModem(int port);
    static int SendMsg(int port, const char* number, const char* text);
    static int GetStatus(int port);
    static int CloseModem(int port);

    int setModemTypeResult_;
    int initModemResult_;
    std::vector<std::string> calls_;
    ModemApi api_;
    const ModemApi* previous_;
};
