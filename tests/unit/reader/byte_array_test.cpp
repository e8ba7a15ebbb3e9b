// The byte array the frames are built in: edits, equality, and access outside its bytes.
#include "reader/byte_array.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kovra {
namespace {

TEST(ByteArray, EditsAndEquality) {
  CMyByteArray bytes{0x10, 0x20, 0x30};
  bytes.InsertAt(1, 0xAA, 2);
  bytes.InsertAt(5, 0xBB);  // at the end: appends
  bytes.RemoveAt(0);
  EXPECT_EQ(bytes, (CMyByteArray{0xAA, 0xAA, 0x20, 0x30, 0xBB}));
  EXPECT_NE(bytes, (CMyByteArray{0xAA, 0xAA, 0x20, 0x30}));

  const uint8_t raw[] = {1, 2};
  CMyByteArray copy(raw, 2);
  copy.Append(bytes);
  EXPECT_EQ(copy.GetSize(), 7u);
  copy.SetSize(1);
  EXPECT_EQ(copy, (CMyByteArray{1}));
}

TEST(ByteArray, AccessOutsideTheBytesThrows) {
  CMyByteArray bytes{0x01, 0x02};
  const CMyByteArray &read_only = bytes;
  EXPECT_THROW(bytes[2], std::invalid_argument);
  EXPECT_THROW(read_only[2], std::invalid_argument);
  EXPECT_THROW(CMyByteArray()[0], std::invalid_argument);
  EXPECT_THROW(bytes.RemoveAt(1, 2), std::invalid_argument);
  EXPECT_THROW(bytes.InsertAt(3, 0), std::invalid_argument);
  EXPECT_EQ(bytes, (CMyByteArray{0x01, 0x02}));  // a refused edit changes nothing
}

}  // namespace
}  // namespace kovra
