#pragma once

// The program's view of the modem library: the five exports, reached through one table so that
// tests can put a substitute library in their place.
struct ModemApi {
    int (*SetModemType)(int type, int port);
    int (*InitModem)(int port);
    int (*SendMsg)(int port, const char* number, const char* text);
    int (*GetStatus)(int port);
    int (*CloseModem)(int port);
};

// The table in use: libmondem.so's exports unless a test installed another.
const ModemApi& Modem();

// Installs `api` (not owned; nullptr restores the library's exports) and returns the previous one.
const ModemApi* SetModemApi(const ModemApi* api);

// A table whose every call fails at once and touches no port: the close path installs it before
// it closes the modem, so that no thread can open the port again afterwards.
const ModemApi& ClosedModemApi();

// The administrator's mobile number, 11 ASCII digits, set at build time.
const char* AdminNumber();
