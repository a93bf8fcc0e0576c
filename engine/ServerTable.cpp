#include "engine/ServerTable.h"

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
