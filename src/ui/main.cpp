// quillmate: the operator's window.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <memory>

#include "ui/appearance.h"
#include "ui/quillmate_app.h"
#include "writer/settings_store.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillmate"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLMATE_VERSION));
  quillmate::ui::InitAppearance();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/quillmate.svg")));

  QCommandLineParser options;
  options.setApplicationDescription(
      QStringLiteral("KV-DESFire Quillmate: personalises DESFire cards in series."));
  options.addHelpOption();
  options.addVersionOption();
  const QCommandLineOption config(
      QStringLiteral("config"),
      QStringLiteral("Keep the settings in DIR instead of the user's configuration folder."),
      QStringLiteral("DIR"));
  options.addOption(config);
  options.process(app);

  const auto settings = options.isSet(config)
                            ? std::make_unique<quillmate::SettingsStore>(options.value(config))
                            : std::make_unique<quillmate::SettingsStore>();
  quillmate::ui::CQuillmateApp quillmate_app(app, *settings);
  return quillmate_app.Run();
}
