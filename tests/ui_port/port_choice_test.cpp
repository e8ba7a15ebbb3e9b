// The port choice's rules without widgets: list merging and the line setting's encoding.
#include <gtest/gtest.h>

#include "writer/reader/port_choice.h"
#include "writer/reader/reader_port.h"

namespace {

using quillmate::DecodeLineSetting;
using quillmate::EncodeLineSetting;
using quillmate::FillPortList;
using quillmate::LineSetting;

TEST(PortChoice, FillPortListEndsEqualToTheFreshListAndSaysWhetherItChanged) {
  struct Case {
    QStringList cached, fresh;
    bool changed;
  };
  const QStringList ab = {"a", "b"};
  const Case cases[] = {
      {{}, {}, false},
      {ab, ab, false},
      {{}, ab, true},
      {ab, {"a"}, true},
      {ab, {"a", "b", "c"}, true},
      {ab, {"x", "b"}, true},
      {ab, {}, true},
  };
  for (const Case &c : cases) {
    QStringList cached = c.cached;
    EXPECT_EQ(FillPortList(c.fresh, cached), c.changed) << c.cached.join(',').toStdString();
    EXPECT_EQ(cached, c.fresh);
  }
}

TEST(PortChoice, LineSettingsKeepParityOverStopBits) {
  struct Case {
    int stored, baud, parity, stop_bits;
  };
  const Case decoded[] = {
      {19200, 19200, 0, 1}, {9603, 9600, 0, 2}, {4802, 4800, 2, 1},
      {2401, 2400, 1, 1},   {9604, 9600, 0, 1},  // an unknown code: no parity, 1 stop bit
  };
  for (const Case &c : decoded) {
    const LineSetting line = DecodeLineSetting(c.stored);
    EXPECT_EQ(line.baud, c.baud) << c.stored;
    EXPECT_EQ(line.parity, c.parity) << c.stored;
    EXPECT_EQ(line.stop_bits, c.stop_bits) << c.stored;
  }
  EXPECT_EQ(EncodeLineSetting({4800, 2, 1}), 4802);
  EXPECT_EQ(EncodeLineSetting({9600, 0, 2}), 9603);
  // Even parity with 2 stop bits: the stop bits are lost.
  EXPECT_EQ(EncodeLineSetting({9600, 1, 2}), 9601);
}

TEST(PortChoice, EntriesAndTheirKinds) {
  using quillmate::IsHidReaderEntry;
  using quillmate::IsVirtualComEntry;
  using quillmate::KindOfEntry;
  using quillmate::PortKind;
  EXPECT_EQ(KindOfEntry("USB: 3105-1 HID"), PortKind::kUsb);
  EXPECT_EQ(KindOfEntry("LAN: 10.0.0.7-10001"), PortKind::kLan);
  EXPECT_EQ(KindOfEntry("Bluetooth: ULO-PN7341#1 BT"), PortKind::kBluetooth);
  EXPECT_EQ(KindOfEntry("/dev/ttyUSB0"), PortKind::kSerial);
  EXPECT_EQ(quillmate::WithoutPrefix("USB: 3105-1 HID"), "3105-1 HID");
  EXPECT_TRUE(IsHidReaderEntry("USB: 3105-0000001 HID"));
  EXPECT_FALSE(IsHidReaderEntry("USB: 4105-0000001 HID"));  // not a switchable reader
  EXPECT_FALSE(IsHidReaderEntry("USB: 3105-0000001"));      // an FTDI reader
  EXPECT_TRUE(IsVirtualComEntry("/dev/ttyACM0 [Ulo Virtual COM]"));
  EXPECT_FALSE(IsVirtualComEntry("/dev/ttyACM0 [Ulo Reader 3105]"));
  quillmate::PortSettings port;
  port.name = "USB: 3105-1 HID";
  port.address = 3;
  EXPECT_EQ(quillmate::ReaderPortName(port), "3105-1 HID:3");

  // PC/SC readers come with the library's own prefix and are opened by their whole name; the
  // bus address means nothing to them.
  EXPECT_EQ(KindOfEntry("PCSC: Virtual PCD 00 00"), PortKind::kPcsc);
  EXPECT_EQ(quillmate::WithoutPrefix("PCSC: Virtual PCD 00 00"), "PCSC: Virtual PCD 00 00");
  port.name = "PCSC: Virtual PCD 00 00";
  EXPECT_EQ(quillmate::ReaderPortName(port), "PCSC: Virtual PCD 00 00");
}

}  // namespace
