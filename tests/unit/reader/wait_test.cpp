// The timing of a reply wait: a phase times out only once more than its timeout has passed.
#include "reader/wait.h"

#include <gtest/gtest.h>

namespace kovra {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A phase times out only once MORE than T whole milliseconds have passed: exactly T still waits.
TEST(WaitTiming, PhaseExpiresAfterMoreThanTheTimeout) {
  const struct {
    Clock::duration elapsed;
    unsigned timeout;
    bool expired;
  } cases[] = {
      {milliseconds(0), 0, false},        {microseconds(999), 0, false},
      {milliseconds(1), 0, true},         {milliseconds(300), 300, false},
      {microseconds(300999), 300, false}, {milliseconds(301), 300, true},
      {milliseconds(5000), 300, true},    {milliseconds(299), 300, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(PhaseExpired(c.elapsed, c.timeout), c.expired)
        << std::chrono::duration_cast<microseconds>(c.elapsed).count() << " us, T=" << c.timeout;
  }
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(PhaseExpired(PhaseDeadline(start, 300) - start, 300));
  EXPECT_FALSE(PhaseExpired(PhaseDeadline(start, 300) - start - microseconds(1), 300));
}

}  // namespace
}  // namespace kovra
