// Whether two write jobs hold the same values, key by key: what a store's round trip must keep.
#pragma once

#include "writer/job/desfire_set.h"

namespace kovra_fuzz {

inline bool SameJob(const quillmate::DesfireSet &a, const quillmate::DesfireSet &b) {
  return a.data == b.data && a.auto_increment == b.auto_increment &&
         a.leading_zeros == b.leading_zeros && a.prefix_allowed == b.prefix_allowed &&
         a.length == b.length && a.number_format == b.number_format &&
         a.representation == b.representation && a.orientation == b.orientation &&
         a.app_id == b.app_id && a.file_id == b.file_id && a.file_mode == b.file_mode &&
         a.key_count == b.key_count && a.read_key_nr == b.read_key_nr &&
         a.write_key_nr == b.write_key_nr && a.read_write_key_nr == b.read_write_key_nr &&
         a.card_key == b.card_key && a.app_key == b.app_key && a.read_key == b.read_key &&
         a.write_key == b.write_key && a.read_write_key == b.read_write_key &&
         a.card_key_derived == b.card_key_derived && a.app_key_derived == b.app_key_derived &&
         a.read_key_derived == b.read_key_derived && a.write_key_derived == b.write_key_derived &&
         a.read_write_key_derived == b.read_write_key_derived &&
         a.system_identifier == b.system_identifier;
}

}  // namespace kovra_fuzz
