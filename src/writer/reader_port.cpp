#include "writer/reader_port.h"

#include "kovra.h"

namespace quillmate {

QString ReaderPortName(const PortSettings &port) {
  QString name = port.name;
  if (!name.isEmpty() && !name.contains(u':') && port.address != kDefaultReaderAddress) {
    name += u':' + QString::number(port.address);
  }
  return name;
}

OpenedReader OpenReader(const PortSettings &port) {
  OpenedReader reader;
  reader.port_name = ReaderPortName(port);
  if (reader.port_name.isEmpty()) return reader;
  reader.open_result =
      KOVRA_OpenPort(reader.port_name.toUtf8().constData(), port.baud_rate, port.timeout_ms);
  if (reader.open_result > 0) reader.handle = reader.open_result;
  return reader;
}

}  // namespace quillmate
