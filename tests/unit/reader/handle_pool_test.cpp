// Port handle numbers: the smallest free number above each kind's base.
#include "reader/handle_pool.h"

#include <gtest/gtest.h>

namespace kovra {
namespace {

TEST(HandlePool, SmallestFreeNumberAboveTheBase) {
  HandlePool serial(0);
  EXPECT_EQ(serial.Acquire(), 1);
  EXPECT_EQ(serial.Acquire(), 2);
  EXPECT_EQ(serial.Acquire(), 3);
  serial.Release(1);
  EXPECT_EQ(serial.Acquire(), 1);  // a closed port's number comes back first
  serial.Release(2);
  serial.Release(2);  // giving a number back twice does no harm
  EXPECT_EQ(serial.Acquire(), 2);
  EXPECT_EQ(serial.Acquire(), 4);

  HandlePool lan(20000);
  EXPECT_EQ(lan.Acquire(), 20001);
}

}  // namespace
}  // namespace kovra
