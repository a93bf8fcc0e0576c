#include "engine/ServerTable.h"

#include "engine/MonitorView.h"
#include "storage/MemIniFile.h"

#include <algorithm>

namespace {

constexpr std::int32_t kTrue = -1;
constexpr std::int32_t kFalse = 0;

} // namespace

TServers ServerTable[kServerSlots];

std::mutex& ServerTableLock() {
    static std::mutex lock;
    return lock;
}

int FindServer(const std::string& ip, std::int32_t port) {
    for (int i = 0; i < kServerSlots; ++i)
        if (ServerTable[i].IP == ip && ServerTable[i].Port == port)
            return i;
    return -1;
}

void LoadServers(MonitorView& view) {
    LoadServersFrom("./servers.ini", view);
}

void LoadServersFrom(const std::string& path, MonitorView& view) {
    view.ClearRows();
    std::lock_guard lock(ServerTableLock());
    for (TServers& slot : ServerTable)
        slot = TServers{};

    TMemIniFile ini(path);
    TStringList sections;
    ini.GetSectionNames(sections);
    const int count = std::min(sections.Count(), kServerSlots);
    for (int i = 0; i < count; ++i) {
        const std::string& name = sections[i];
        TServers& slot = ServerTable[i];
        slot.Name = name;
        slot.IP = ini.GetStr(name, "IP", "127.0.0.1");
        slot.Port = ini.GetInt(name, "Port", 7000);
        slot.Online = kFalse;
        slot.FailCount = 0;
        slot.ItemIndex = i;
        slot.SoundAlert = ini.GetBool(name, "SoundAlert", true) ? kTrue : kFalse;
        slot.SMSAlert = ini.GetBool(name, "SMSAlert", false) ? kTrue : kFalse;
        slot.SMSInterval = 10;
        view.AddRow(name, "检测中");
    }
}
