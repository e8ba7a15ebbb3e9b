// Opening the reader the operator chose, from the "Port" settings, for every front end.
#include "writer/reader/reader_port.h"

#include "writer/reader/port_choice.h"

#include <QCoreApplication>

#include "kovra.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "ReaderPort" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(ReaderPort)
};

}  // namespace

QString ReaderPortName(const PortSettings &port) {
  QString name = WithoutPrefix(port.name);
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
  if (reader.open_result > 0) {
    reader.handle = reader.open_result;
  } else {
    reader.link_failure = KOVRA_GetLinkFailure();
  }
  return reader;
}

QString OpenFailureText(const OpenedReader &reader) {
  if (reader.ok()) return {};
  const QString &port = reader.port_name;
  if (port.isEmpty()) return Texts::tr("Es ist keine Schnittstelle für den Leser gewählt!");
  if (reader.open_result == KOVRA_OPEN_FAILED) {
    switch (reader.link_failure) {
      case KOVRA_LINK_NO_DEVICE:
        return Texts::tr("Die Schnittstelle %1 gibt es nicht: ist der Leser angeschlossen?")
            .arg(port);
      case KOVRA_LINK_NO_PERMISSION:
        return Texts::tr(
                   "Keine Berechtigung für %1: Mitglied der Gruppe \"dialout\" werden "
                   "(sudo usermod -aG dialout $USER, danach neu anmelden) oder die "
                   "udev-Regeln des Programms installieren.")
            .arg(port);
      case KOVRA_LINK_BUSY:
        return Texts::tr("%1 wird von einem anderen Programm benutzt.").arg(port);
      case KOVRA_LINK_NOT_A_TERMINAL:
        return Texts::tr("%1 ist keine serielle Schnittstelle.").arg(port);
      case KOVRA_LINK_TIMEOUT:
        return Texts::tr(
                   "%1 hat nicht rechtzeitig geantwortet: ist der Leser eingeschaltet und "
                   "im Netz erreichbar?")
            .arg(port);
      case KOVRA_LINK_NOT_SUPPORTED:
        return Texts::tr("Diese Art von Schnittstelle (%1) wird hier nicht unterstützt.").arg(port);
      default:
        break;
    }
  }
  if (reader.open_result == KOVRA_OPEN_NO_READER) {
    return Texts::tr("An %1 antwortet kein Leser.").arg(port);
  }
  return Texts::tr("Der Leser an %1 konnte nicht geöffnet werden (%2).")
      .arg(port)
      .arg(reader.open_result);
}

QString NoReaderText() {
  return Texts::tr(
      "Es ist kein Leser verbunden! Bitte den Leser anschliessen und unter \"Extras\" > "
      "\"Schnittstelle wählen\" auswählen.");
}

QString ReaderLostText() {
  return Texts::tr("Die Verbindung zum Leser ist unterbrochen!");
}

bool ReaderLinkLost(int handle) {
  return handle > 0 && KOVRA_IsLinkUp(handle) != 1;
}

quint64 ReaderWatch::Now(const WriterContext &context) const {
  return context.tick_ms ? context.tick_ms() : 0;
}

bool ReaderWatch::Check(WriterContext &context) {
  if (!lost_) {
    if (context.handle > 0 && KOVRA_IsLinkUp(context.handle) == 1) return true;
    lost_ = true;
    ++losses_;
    context.report.Line(
        Texts::tr("Die Verbindung zum Leser an %1 ist unterbrochen, neuer Versuch alle %2 s!")
            .arg(ReaderPortName(port_))
            .arg(retry_ms_ / 1000.0));
    if (context.handle > 0) KOVRA_ClosePort(context.handle);
    context.handle = 0;
    next_try_ms_ = Now(context);
  }
  if (Now(context) < next_try_ms_) return false;
  next_try_ms_ = Now(context) + static_cast<quint64>(retry_ms_);
  const OpenedReader reader = OpenReader(port_);
  if (!reader.ok()) return false;
  context.handle = reader.handle;
  lost_ = false;
  context.report.Line(Texts::tr("Der Leser an %1 ist wieder da.").arg(reader.port_name));
  return true;
}

}  // namespace quillmate
