// quillmate: the operator's window.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <memory>
#include <string_view>

#include "support/core_dumps.h"
#include "ui/appearance.h"
#include "ui/quillmate_app.h"
#include "writer/settings/settings_store.h"

namespace {

// The window's options. Parsed before the QApplication exists as well, so that --help and
// --version answer on a terminal without a display.
struct Options {
  QCommandLineParser parser;
  QCommandLineOption config{
      QStringLiteral("config"),
      QStringLiteral("Keep the settings in DIR instead of the user's configuration folder."),
      QStringLiteral("DIR")};
  Options() {
    parser.setApplicationDescription(
        QStringLiteral("KV-DESFire Quillmate: personalises DESFire cards in series."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(config);
  }
};

void NameTheProgram() {
  QCoreApplication::setApplicationName(QStringLiteral("quillmate"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMATE_VERSION));
}

// Answers --help and --version (and refuses bad options) without a display; returns only when
// the window is to start.
void AnswerWithoutDisplay(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--help" || word == "-h" || word == "-?" || word == "--help-all" ||
        word == "--version" || word == "-v") {
      QCoreApplication app(argc, argv);
      NameTheProgram();
      Options options;
      options.parser.process(app);  // prints and exits
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  // The window holds the job's keys in memory from the start.
  quillmate::DisableCoreDumpsUnlessAllowed();
  AnswerWithoutDisplay(argc, argv);
  QApplication app(argc, argv);
  NameTheProgram();
  quillmate::ui::InitAppearance();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/quillmate.svg")));

  Options options;
  options.parser.process(app);

  const auto settings =
      options.parser.isSet(options.config)
          ? std::make_unique<quillmate::SettingsStore>(options.parser.value(options.config))
          : std::make_unique<quillmate::SettingsStore>();
  quillmate::ui::CQuillmateApp quillmate_app(app, *settings);
  return quillmate_app.Run();
}
