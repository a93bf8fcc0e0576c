#include "support/FakeModem.h"

FakeModem::FakeModem(int setModemTypeResult, int initModemResult)
    : setModemTypeResult_(setModemTypeResult),
      initModemResult_(initModemResult), api_{SetModemType, InitModem, SendMsg, GetStatus,
                                              CloseModem} {
    current_ = this;
    previous_ = SetModemApi(&api_);
}

FakeModem::~FakeModem() {
    SetModemApi(previous_);
    current_ = nullptr;
}

std::vector<std::string> FakeModem::calls() const {
    std::lock_guard lock(lock_);
    return calls_;
}

std::vector<FakeModem::Sent> FakeModem::sent() const {
    std::lock_guard lock(lock_);
    return sent_;
}

void FakeModem::hold() {
    std::lock_guard lock(lock_);
    held_ = true;
}

void FakeModem::release() {
    {
        std::lock_guard lock(lock_);
        held_ = false;
    }
    changed_.notify_all();
}

bool FakeModem::waitForSends(size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, limit, [&] { return started_ >= count; });
}

void FakeModem::Record(std::string call) {
    std::lock_guard lock(lock_);
    calls_.push_back(std::move(call));
}

int FakeModem::SetModemType(int type, int port) {
    current_->Record("SetModemType(" + std::to_string(type) + "," + std::to_string(port) + ")");
    if (current_->onSetModemType)
        current_->onSetModemType();
    return current_->setModemTypeResult_;
}

int FakeModem::InitModem(int port) {
    current_->Record("InitModem(" + std::to_string(port) + ")");
    return current_->initModemResult_;
}

int FakeModem::SendMsg(int port, const char* number, const char* text) {
    FakeModem& self = *current_;
    std::unique_lock lock(self.lock_);
    self.calls_.push_back("SendMsg(" + std::to_string(port) + ")");
    ++self.started_;
    self.changed_.notify_all();
    self.changed_.wait_for(lock, std::chrono::seconds(10), [&] { return !self.held_; });
    self.sent_.push_back({port, number, text});
    return self.answer_.load();
}

int FakeModem::GetStatus(int port) {
    current_->Record("GetStatus(" + std::to_string(port) + ")");
    return -1;
}

int FakeModem::CloseModem(int port) {
    current_->Record("CloseModem(" + std::to_string(port) + ")");
    return 0;
}
