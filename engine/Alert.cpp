#include "engine/Alert.h"

#include "engine/AlertLog.h"
#include "engine/AlertSmsText.h"
#include "engine/ServerTable.h"
#include "platform/Clock.h"
#include "platform/Tone.h"
#include "sms/ModemApi.h"

#include <string>
#include <thread>

namespace {

// Held by a worker from its rate-limit check until LastSMS is recorded, so that two workers of
// one slot cannot both pass the check before either has sent.
std::mutex& SlotSendLock(int slot) {
    static std::mutex locks[kServerSlots];
    return locks[slot];
}

constexpr int kToneFrequencies[] = {1000, 2000, 3000};
constexpr int kToneRounds = 3;
constexpr int kToneMs = 1000;

} // namespace

SmsOutcomes& SmsOutcomeCounts() {
    static SmsOutcomes counts;
    return counts;
}

TAlert::TAlert(std::shared_ptr<AlertLog> log) : log_(std::move(log)) {}

void TAlert::Start() {
    try {
        std::thread([this] {
            Execute();
            delete this;
        }).detach();
    } catch (...) {
        delete this;
        throw;
    }
}

void TAlert::Execute() noexcept {
    try {
        Run();
    } catch (...) {
        // A failing worker ends quietly; the next cycle starts a new one.
    }
}

void TAlert::Log(const std::string& line) {
    if (log_)
        log_->Post(line);
}

void TAlert::Run() {
    const int s = ServerIndex;
    if (s < 0 || s >= kServerSlots)
        return;
    std::mutex& table = ServerTableLock();

    bool sound;
    {
        std::lock_guard lock(table);
        sound = ServerTable[s].SoundAlert != 0;
    }
    if (sound)
        for (int round = 0; round < kToneRounds; ++round)
            for (int frequency : kToneFrequencies)
                Beep(frequency, kToneMs);

    std::lock_guard sendStep(SlotSendLock(s));
    std::string text;
    {
        std::lock_guard lock(table);
        const TServers& server = ServerTable[s];
        if (server.SMSAlert == 0)
            return;
        const double interval = server.SMSInterval / 60.0 / 24.0;
        if (!(Now() - server.LastSMS > interval))
            return;
        text = AlertSmsText(server.Name, Now());
    }

    if (Modem().SendMsg(-1, AdminNumber(), text.c_str()) == -1) {
        ++SmsOutcomeCounts().failed;
        Log("已发送短时发生错误!");
        if (OnSmsOutcome)
            OnSmsOutcome(false);
        return;
    }
    {
        std::lock_guard lock(table);
        ServerTable[s].LastSMS = Now();
    }
    ++SmsOutcomeCounts().sent;
    Log("已发送短信到管理员手机!");
    if (OnSmsOutcome)
        OnSmsOutcome(true);
}
