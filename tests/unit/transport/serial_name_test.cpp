// Serial port names as a Linux device, and the baud argument split into rate and framing.
#include "transport/serial/serial_name.h"

#include <gtest/gtest.h>

namespace kovra {
namespace {

TEST(SerialName, NormalisesPortNames) {
  const struct {
    const char *name;
    const char *device;
    bool use_d2xx;
  } cases[] = {
      // COM names, with or without the device prefix, in any case, with a description after.
      {"COM3", "/dev/ttyS2", false},
      {"com3", "/dev/ttyS2", false},
      {"\\\\.\\COM3", "/dev/ttyS2", false},
      {"COM3 [Ulo Virtual COM]", "/dev/ttyS2", false},
      {"\\\\.\\cOm12:x", "/dev/ttyS11", false},
      {"COM1", "/dev/ttyS0", false},
      {"COM10", "/dev/ttyS9", false},
      {"COM100", "/dev/ttyS99", false},
      {"COM99999999999999999999", "/dev/ttyS99999999999999999998", false},
      // Linux device paths are taken as they are.
      {"/dev/ttyUSB0", "/dev/ttyUSB0", false},
      {"/dev/pts/7", "/dev/pts/7", false},
      {"/run/kv-reader", "/run/kv-reader", false},  // a link outside /dev
      {"/tmp/a b/pty [Ulo Virtual COM]", "/tmp/a b/pty", false},
      // Everything else is an FTDI serial number, without the device prefix.
      {"COM0", "COM0", true},
      {"AB12CD34", "AB12CD34", true},
      {"\\\\.\\AB12CD34", "AB12CD34", true},
      {"COM", "COM", true},
      {"COMX1", "COMX1", true},
      {" COM3", " COM3", true},
      {"\\\\?\\COM3", "\\\\?\\COM3", true},  // only the exact prefix \\.\ is skipped
      {"\\.\\COM3", "\\.\\COM3", true},
      {"dev/ttyS0", "dev/ttyS0", true},
      {"", "", true},
  };
  for (const auto &c : cases) {
    const SerialDevice device = NormaliseSerialName(c.name);
    EXPECT_EQ(device.device, c.device) << c.name;
    EXPECT_EQ(device.use_d2xx, c.use_d2xx) << c.name;
  }
}

TEST(SerialName, SplitsTheBaudArgumentIntoRateAndFraming) {
  const struct {
    int argument;
    int baud;
    char parity;
    int stop_bits;
  } cases[] = {
      {19200, 19200, 'N', 1},   {19201, 19200, 'E', 1},   {19202, 19200, 'O', 1},
      {9603, 9600, 'N', 2},     {115204, 115200, 'N', 1}, {115299, 115200, 'N', 1},
      {250001, 250000, 'E', 1}, {0, 0, 'N', 1},           {3, 0, 'N', 2},
      {-19201, -19200, 'N', 1},
  };
  for (const auto &c : cases) {
    const LineSettings settings = LineSettingsFromBaudArgument(c.argument);
    EXPECT_EQ(settings.baud, c.baud) << c.argument;
    EXPECT_EQ(settings.parity, c.parity) << c.argument;
    EXPECT_EQ(settings.stop_bits, c.stop_bits) << c.argument;
  }
}

}  // namespace
}  // namespace kovra
