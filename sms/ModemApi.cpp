#include "sms/ModemApi.h"

#include "sms/mondem/mondem.h"

#include <atomic>

namespace {

const ModemApi libraryApi{fnSetModemType, fnInitModem, fnSendMsg, fnGetStatus, fnCloseModem};
std::atomic<const ModemApi*> installed{&libraryApi};

} // namespace

const ModemApi& Modem() {
    return *installed.load();
}

const ModemApi* SetModemApi(const ModemApi* api) {
    return installed.exchange(api ? api : &libraryApi);
}

const char* AdminNumber() {
    return SM_ADMIN_NUMBER;
}
