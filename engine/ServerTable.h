#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class MonitorView;

// One monitored server. Booleans are 32-bit: -1 for true, 0 for false; any non-zero value reads
// as true. LastSMS is a day-based date-time (platform/DateTime.h).
struct TServers {
    std::string Name;
    std::string IP;
    std::int32_t Port = 0;
    std::int32_t Online = 0;
    std::int32_t FailCount = 0;
    std::int32_t ItemIndex = 0;
    std::int32_t SoundAlert = 0;
    std::int32_t SMSAlert = 0;
    double LastSMS = 0;
    std::int32_t SMSInterval = 0;
};

inline constexpr int kServerSlots = 255;

// The process-wide table, filled from slot 0 in file order; the list ends at the first slot
// whose IP is empty. The GUI thread reads and writes IP, Port, Online, FailCount and ItemIndex
// without the lock; Name, SoundAlert, SMSAlert, LastSMS and SMSInterval are shared with the
// alert workers and are touched only under ServerTableLock().
extern TServers ServerTable[kServerSlots];

// The one table lock. Never held across a tone or an SMS send.
std::mutex& ServerTableLock();

// The first slot (of all 255, empty ones included) whose IP equals `ip` byte for byte and whose
// Port equals `port`; -1 when there is none.
int FindServer(const std::string& ip, std::int32_t port);

// Rebuilds the table and the view's rows from "./servers.ini": the view's rows are removed, every
// slot is emptied, and the first 255 sections fill slots 0.. in file order, each with a row
// reading "检测中". Missing keys and unreadable values take the defaults (IP "127.0.0.1", Port
// 7000, SoundAlert on, SMSAlert off); SMSInterval is 10. A missing file gives an empty table.
// A file that exists but cannot be read throws the INI document's EFOpenError after the rows
// and slots were cleared. The file is never written.
void LoadServers(MonitorView& view);

// The same from any path; LoadServers(view) reads "./servers.ini".
void LoadServersFrom(const std::string& path, MonitorView& view);
