// The write job the card benchmarks share: an enciphered file of 32 bytes with keys of their own
// for reading and writing, so that a card's write goes through every step of the sequence.
#pragma once

#include <QString>

#include "writer/job/desfire_set.h"

namespace kovra_bench {

inline quillmate::DesfireSet ExampleJob() {
  quillmate::DesfireSet job;
  job.data = QStringLiteral("4711");
  job.length = 32;
  job.app_id = 0x4B4D01;
  job.file_id = 1;
  job.file_mode = quillmate::FileMode::kEnciphered;
  job.card_key = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  job.app_key = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
  job.key_count = 3;
  job.read_key_nr = 3;  // list indices: key 1 and key 2 of the application
  job.write_key_nr = 4;
  job.read_write_key_nr = 0;
  job.read_key = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
  job.write_key = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
  return job;
}

}  // namespace kovra_bench
