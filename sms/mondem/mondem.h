#pragma once

// The modem library's five exports. Integers are 32-bit signed, texts zero-terminated bytes that
// are only read during the call.
#ifdef __cplusplus
extern "C" {
#endif

#define MONDEM_EXPORT __attribute__((visibility("default")))

// Selects the modem type and finds its port: type 0 is a generic AT modem, port 0 the device
// named in mondem.ini (see ModemConfig.h), or else the first of /dev/ttyUSB* and /dev/ttyACM*
// that answers "AT" with "OK". 0 = a modem answered; -1 = none did; -2 = unknown type or port.
MONDEM_EXPORT int fnSetModemType(int type, int port);

// Brings the modem up (echo off, numeric error reports, SIM ready, PDU mode), finding it first
// when no port is open. The program passes -1 and ignores the result; 0 = ready, -1 = not.
MONDEM_EXPORT int fnInitModem(int port);

// Sends `text` (GBK) to `number` (ASCII digits, "+" for an international number). 0 = the modem
// confirmed every part with +CMGS; -1 = not sent. Finds and brings up the modem first when it is
// not ready (also after it was unplugged). Blocks for as long as the modem needs, bounded by the
// configured time-outs; calls from several threads are served one after the other.
MONDEM_EXPORT int fnSendMsg(int port, const char* number, const char* text);

// Whether the modem is brought up and answers (0) or not (-1).
MONDEM_EXPORT int fnGetStatus(int port);

// Releases the port, also while another thread is in a call: that call is cut short and fails
// (as does one waiting for its turn), and the port is free within about a second at most. The
// program passes -1 and ignores the result; always 0.
MONDEM_EXPORT int fnCloseModem(int port);

#ifdef __cplusplus
}
#endif
