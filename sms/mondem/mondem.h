#pragma once

// The modem library's five exports. Integers are 32-bit signed, texts zero-terminated bytes that
// are only read during the call.
#ifdef __cplusplus
extern "C" {
#endif

#define MONDEM_EXPORT __attribute__((visibility("default")))

// Selects the modem type and finds its port. The program passes (0, 0). 0 = a modem answered;
// any other value = failure.
MONDEM_EXPORT int fnSetModemType(int type, int port);

// Brings the modem up. The program passes -1 and ignores the result.
MONDEM_EXPORT int fnInitModem(int port);

// Sends `text` (GBK) to `number` (ASCII digits). -1 = not sent; any other value = sent.
// May block for as long as the modem needs; safe to call from several threads at once.
MONDEM_EXPORT int fnSendMsg(int port, const char* number, const char* text);

// Whether the modem is ready (0) or not (-1).
MONDEM_EXPORT int fnGetStatus(int port);

// Releases the modem. The program passes -1 and ignores the result.
MONDEM_EXPORT int fnCloseModem(int port);

#ifdef __cplusplus
}
#endif
