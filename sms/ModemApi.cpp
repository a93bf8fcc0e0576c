#include "sms/ModemApi.h"

#include "sms/mondem/mondem.h"

#include <atomic>

namespace {

const ModemApi libraryApi{fnSetModemType, fnInitModem, fnSendMsg, fnGetStatus, fnCloseModem};

int Refuse(int) {
    return -1;
}

const ModemApi closedApi{[](int, int) { return -1; }, Refuse,
                         [](int, const char*, const char*) { return -1; }, Refuse, Refuse};
std::atomic<const ModemApi*> installed{&libraryApi};

} // namespace

const ModemApi& Modem() {
    return *installed.load();
}

const ModemApi* SetModemApi(const ModemApi* api) {
    return installed.exchange(api ? api : &libraryApi);
}

const ModemApi& ClosedModemApi() {
    return closedApi;
}

const char* AdminNumber() {
    return SM_ADMIN_NUMBER;
}
