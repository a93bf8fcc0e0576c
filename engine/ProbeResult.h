#pragma once

// How one probe ended, as the history and the alert channels tell it apart.
enum class ProbeResult {
    // Connected, and the connection was still open when the hold ended: the only success.
    Held,
    // The server's host answered the attempt with a refusal.
    Refused,
    // No connection: no route, no answer in time, a lookup that failed, an attempt that could
    // not even start.
    Unreachable,
    // Connected, then closed or reset by the peer before the hold ended.
    Dropped,
};

// The stable ASCII word for `result` ("held", "refused", "unreachable", "dropped"), used in
// files and reports.
inline const char* ProbeResultWord(ProbeResult result) {
    switch (result) {
    case ProbeResult::Held:
        return "held";
    case ProbeResult::Refused:
        return "refused";
    case ProbeResult::Unreachable:
        return "unreachable";
    case ProbeResult::Dropped:
        return "dropped";
    }
    return "unreachable";
}
