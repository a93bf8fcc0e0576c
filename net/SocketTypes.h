#pragma once

#include <cstdint>

// Whether a client socket connects without blocking (outcome reported later by notice) or inside
// the call that activates it.
enum TClientType { ctNonBlocking, ctBlocking };

// What an error event is about.
enum TErrorEvent { ekGeneral, ekSend, ekReceive, ekConnect, ekDisconnect, ekAccept, ekLookup };

// The steps a socket object reports to its component. skListen and skAccept belong to server use
// and are never raised by a client socket.
enum TSocketEventKind {
    skLookup,
    skConnecting,
    skConnect,
    skDisconnect,
    skListen,
    skAccept,
    skWrite,
    skRead
};

// Where an asynchronous open stands in resolving its address and port.
enum TResolveState : std::uint8_t { rsIdle, rsAddress, rsService };

// Notice kinds, as bits of a notice mask.
namespace NotifyBit {
inline constexpr std::uint8_t Read = 1;
inline constexpr std::uint8_t Write = 2;
inline constexpr std::uint8_t OutOfBand = 4;
inline constexpr std::uint8_t Accept = 8;
inline constexpr std::uint8_t Connect = 16;
inline constexpr std::uint8_t Close = 32;
} // namespace NotifyBit

// The mask of a non-blocking client: read, write, connect and close notices.
inline constexpr std::uint8_t kNonBlockingNotifyMask =
    NotifyBit::Read | NotifyBit::Write | NotifyBit::Connect | NotifyBit::Close;

// The error code of an open that has neither a host nor an address.
inline constexpr int kNoAddressErrorCode = 1110;
