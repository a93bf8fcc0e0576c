#include "FakeModem.h"

FakeModem* FakeModem::current_ = nullptr;

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

int FakeModem::SetModemType(int type, int port) {
    current_->calls_.push_back("SetModemType(" + std::to_string(type) + "," + std::to_string(port) +
                               ")");
    if (current_->onSetModemType)
        current_->onSetModemType();
    return current_->setModemTypeResult_;
}

int FakeModem::InitModem(int port) {
    current_->calls_.push_back("InitModem(" + std::to_string(port) + ")");
    return current_->initModemResult_;
}

int FakeModem::SendMsg(int port, const char*, const char*) {
    current_->calls_.push_back("SendMsg(" + std::to_string(port) + ")");
    return -1;
}

int FakeModem::GetStatus(int port) {
    current_->calls_.push_back("GetStatus(" + std::to_string(port) + ")");
    return -1;
}

int FakeModem::CloseModem(int port) {
    current_->calls_.push_back("CloseModem(" + std::to_string(port) + ")");
    return 0;
}
