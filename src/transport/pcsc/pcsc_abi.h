// The part of the PC/SC client library's binary interface (pcsc-lite's libpcsclite) that the PC/SC
// link uses, declared here because the library is loaded with dlopen and never linked, so neither
// the library nor its development headers are needed to build. On Linux pcsc-lite's LONG and
// DWORD are the platform's long and unsigned long, and handles are LONG.
#pragma once

#include <cstdint>

namespace kovra::pcsc {

using Long = long;
using Dword = unsigned long;
using Context = Long;
using CardHandle = Long;

constexpr Long kSuccess = 0;
constexpr Long kErrCancelled = static_cast<Long>(0x80100002);
constexpr Long kErrInvalidHandle = static_cast<Long>(0x80100003);
constexpr Long kErrInsufficientBuffer = static_cast<Long>(0x80100008);
constexpr Long kErrUnknownReader = static_cast<Long>(0x80100009);
constexpr Long kErrTimeout = static_cast<Long>(0x8010000A);
constexpr Long kErrSharingViolation = static_cast<Long>(0x8010000B);
constexpr Long kErrNoSmartcard = static_cast<Long>(0x8010000C);
constexpr Long kErrNotReady = static_cast<Long>(0x80100010);
constexpr Long kFailCommError = static_cast<Long>(0x80100013);
constexpr Long kErrNotTransacted = static_cast<Long>(0x80100016);
constexpr Long kErrCommDataLost = static_cast<Long>(0x8010002F);
constexpr Long kErrReaderUnavailable = static_cast<Long>(0x80100017);
constexpr Long kErrNoService = static_cast<Long>(0x8010001D);
constexpr Long kErrServiceStopped = static_cast<Long>(0x8010001E);
constexpr Long kErrNoReadersAvailable = static_cast<Long>(0x8010002E);
constexpr Long kWarnUnsupportedCard = static_cast<Long>(0x80100065);
constexpr Long kWarnUnresponsiveCard = static_cast<Long>(0x80100066);
constexpr Long kWarnUnpoweredCard = static_cast<Long>(0x80100067);
constexpr Long kWarnResetCard = static_cast<Long>(0x80100068);
constexpr Long kWarnRemovedCard = static_cast<Long>(0x80100069);

constexpr Dword kScopeSystem = 0x0002;
constexpr Dword kProtocolT0 = 0x0001;
constexpr Dword kProtocolT1 = 0x0002;
constexpr Dword kShareExclusive = 0x0001;
constexpr Dword kShareShared = 0x0002;
constexpr Dword kLeaveCard = 0x0000;
constexpr Dword kResetCard = 0x0001;
constexpr Dword kAutoAllocate = static_cast<Dword>(-1);

constexpr Dword kStateUnaware = 0x0000;
constexpr Dword kStateUnknown = 0x0004;
constexpr Dword kStateUnavailable = 0x0008;
constexpr Dword kStateEmpty = 0x0010;
constexpr Dword kStatePresent = 0x0020;
constexpr Dword kStateMute = 0x0200;

constexpr int kMaxAtrSize = 33;

struct ReaderState {
  const char *reader;
  void *user_data;
  Dword current_state;
  Dword event_state;
  Dword atr_length;
  unsigned char atr[kMaxAtrSize];
};

struct IoRequest {
  unsigned long protocol;
  unsigned long pci_length;
};

using EstablishContextFn = Long (*)(Dword scope, const void *reserved1, const void *reserved2,
                                    Context *context);
using ReleaseContextFn = Long (*)(Context context);
using ListReadersFn = Long (*)(Context context, const char *groups, char *readers, Dword *length);
using FreeMemoryFn = Long (*)(Context context, const void *memory);
using GetStatusChangeFn = Long (*)(Context context, Dword timeout_ms, ReaderState *states,
                                   Dword count);
using ConnectFn = Long (*)(Context context, const char *reader, Dword share_mode,
                           Dword preferred_protocols, CardHandle *card, Dword *active_protocol);
using DisconnectFn = Long (*)(CardHandle card, Dword disposition);
using TransmitFn = Long (*)(CardHandle card, const IoRequest *send_pci, const unsigned char *send,
                            Dword send_length, IoRequest *receive_pci, unsigned char *receive,
                            Dword *receive_length);
using StatusFn = Long (*)(CardHandle card, char *reader_name, Dword *reader_length, Dword *state,
                          Dword *protocol, unsigned char *atr, Dword *atr_length);

}  // namespace kovra::pcsc
