// What a network reader's configuration service makes of one datagram that reached its UDP port
// (kLanConfigPort): the answer to send back to the sender, and what the datagram changed. No
// sockets here, so that every byte sequence can be tried on it (fuzz_sim_lan_datagram).
//
// Every datagram starts with a 4-byte header whose byte 3 is the request code; only that byte
// decides. The reader answers:
//
//   request                 bytes                          answer
//   identify                .. .. .. F6                    .. F7, 30 bytes: "ULO" at 11..13 when
//                                                          it takes the extended assignment,
//                                                          device identifier at 20..25
//   read record 0           .. .. .. F8                    .. F9, record 0
//   read record n (1..15)   .. .. .. E0+n                  .. D0+n, record n
//   write record 0          .. .. .. FD, record bytes      .. FB
//   write record n (1..15)  .. .. .. C0+n, record bytes    .. B0+n
//   address assignment      .. .. .. FC "IP-SETUP" 00 00   none; simple: identifier bytes 4..5,
//                                                          new address
//                           .. .. .. FC "IP-SETUP" "EX"    none; extended: identifier, address,
//                                                          port (low byte first), mask, gateway,
//                                                          16-byte name
//   end of configuration    .. .. .. 03 'X' '3'            none
//
// Answers carry the header 00 00 00 <code>. A record write needs at least the 120 bytes that hold
// the setup fields (fewer are refused: no answer, nothing written); bytes beyond the record's
// size are ignored. An address assignment is taken only when its identifier is this reader's (the
// simple one compares bytes 4..5), when its address can be a host's (0.0.0.0 is DHCP), and, for
// the extended one, when the reader takes it at all; in the extended one a port of 0, a mask of
// 0.0.0.0 and an empty name leave those settings as they are, while the gateway is always taken.
// Anything else (short datagrams, answers of other readers, unknown codes) is ignored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/lan_records.h"

namespace kovra_sim {

constexpr uint16_t kLanConfigPort = 30718;
constexpr size_t kLanMinRecordWrite = 120;

// What configuration does not change.
struct LanIdentity {
  DeviceId id{};
  bool extended = true;  // takes the extended address assignment
};

struct LanAnswer {
  Bytes reply;  // to the sender; empty: no answer
  // An address assignment for this reader changed the setup record: the reader restarts now.
  bool settings_changed = false;
  // The end-of-configuration command arrived.
  bool end_of_configuration = false;
};

// Answers one datagram; writes and address assignments change `records`.
LanAnswer AnswerLanDatagram(LanRecords &records, const LanIdentity &identity, const uint8_t *data,
                            size_t size);

// Whether a reader may take this address: a unicast address outside 0/8, 127/8 and 224/3, or
// 0.0.0.0 (DHCP).
bool UsableReaderAddress(const Ipv4 &address);

}  // namespace kovra_sim
