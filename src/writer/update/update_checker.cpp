// The update check: the version list and the installer downloaded over https on a worker thread,
// bounded and checked.
#include "writer/update/update_checker.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace quillmate {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(UpdateChecker)
};

// Where the received bytes go: memory (the list) or a file (the package), with the size bound.
struct Sink {
  QByteArray *memory = nullptr;
  int fd = -1;
  QCryptographicHash *hash = nullptr;
  qint64 received = 0;
  qint64 limit = 0;
  bool too_large = false;
  bool write_failed = false;
  const std::atomic<bool> *cancel = nullptr;
  const std::atomic<bool> *also_cancel = nullptr;  // a second reason to stop, may be null
  const UpdateChecker::Progress *progress = nullptr;
};

size_t Receive(char *bytes, size_t size, size_t count, void *user) {
  auto *sink = static_cast<Sink *>(user);
  const size_t n = size * count;
  if (sink->received + static_cast<qint64>(n) > sink->limit) {
    sink->too_large = true;
    return 0;  // ends the transfer
  }
  sink->received += static_cast<qint64>(n);
  if (sink->memory) sink->memory->append(bytes, static_cast<qsizetype>(n));
  if (sink->hash) sink->hash->addData(QByteArrayView(bytes, static_cast<qsizetype>(n)));
  for (size_t done = 0; sink->fd >= 0 && done < n;) {
    const ssize_t w = ::write(sink->fd, bytes + done, n - done);
    if (w <= 0) {
      sink->write_failed = true;
      return 0;
    }
    done += static_cast<size_t>(w);
  }
  return n;
}

// libcurl calls this at least once a second, also while nothing arrives: a cancel takes effect
// within that time.
int Progress(void *user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
  const auto *sink = static_cast<Sink *>(user);
  if (sink->cancel->load() || (sink->also_cancel && sink->also_cancel->load())) return 1;
  if (sink->progress && *sink->progress) {
    (*sink->progress)(static_cast<qint64>(received), static_cast<qint64>(total));
  }
  return 0;
}

// One https transfer into `sink`, bounded; empty on success, else what went wrong.
QString Transfer(const UpdateSource &source, const QString &address, std::chrono::seconds total,
                 Sink &sink) {
  if (!IsHttpsAddress(address)) return Texts::tr("keine https-Adresse: %1").arg(address);
  CURL *curl = curl_easy_init();
  if (!curl) return QStringLiteral("curl_easy_init");
  const QByteArray url = address.toUtf8();
  const QByteArray ca = source.ca_file.toLocal8Bit();
  curl_easy_setopt(curl, CURLOPT_URL, url.constData());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!ca.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(source.connect_timeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(total.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(source.stall_timeout.count()));
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.limit));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Receive);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sink);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (sink.too_large || result == CURLE_FILESIZE_EXCEEDED) {
    return Texts::tr("mehr als %1 Bytes").arg(sink.limit);
  }
  if (result != CURLE_OK) return QString::fromUtf8(curl_easy_strerror(result));
  return {};
}

QString BuildDateOfProgram() {
  const QFileInfo program(QCoreApplication::applicationFilePath());
  return program.exists() ? program.lastModified().toString(QStringLiteral("yyyy-MM-dd"))
                          : QString();
}

// A new folder only this user can enter, for one package.
QString PrivateFolder() {
  QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (base.isEmpty() || !QFileInfo(base).isDir()) {
    base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  }
  if (base.isEmpty() || !QDir().mkpath(base)) base = QDir::tempPath();
  QByteArray pattern = QDir(base).filePath(QStringLiteral("quillmate-update-XXXXXX")).toLocal8Bit();
  if (!::mkdtemp(pattern.data())) return {};
  return QString::fromLocal8Bit(pattern);
}

}  // namespace

UpdateChecker::UpdateChecker(UpdateSource source, QObject *parent)
    : QObject(parent),
      source_(std::move(source)),
      own_version_(QStringLiteral(QUILLMATE_VERSION)),
      own_build_(BuildDateOfProgram()) {
  static const bool curl_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)curl_ready;
}

UpdateChecker::~UpdateChecker() {
  cancel_.store(true);
  if (worker_.joinable()) worker_.join();
  if (installer_worker_.joinable()) installer_worker_.join();
}

void UpdateChecker::SetOwn(const QString &version, const QString &build) {
  own_version_ = version;
  own_build_ = build;
}

void UpdateChecker::StartListDownload() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) return;
  if (finished_) {
    QMetaObject::invokeMethod(this, &UpdateChecker::ListReady, Qt::QueuedConnection);
    return;
  }
  running_ = true;
  worker_ = std::thread([this] {
    QByteArray text;
    Sink sink;
    sink.memory = &text;
    sink.limit = source_.max_list_bytes;
    sink.cancel = &cancel_;
    const QString error = Transfer(source_, source_.list_address, source_.list_timeout, sink);
    {
      std::lock_guard<std::mutex> done(mutex_);
      // A failed download leaves no list: the label says there is no connection.
      list_text_ = error.isEmpty() ? QString::fromUtf8(text) : QString();
      list_error_ = error;
      finished_ = true;
      running_ = false;
    }
    if (!cancel_.load()) {
      QMetaObject::invokeMethod(this, &UpdateChecker::ListReady, Qt::QueuedConnection);
    }
  });
}

bool UpdateChecker::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

UpdateList UpdateChecker::List() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ParseUpdateList(list_text_);
}

QString UpdateChecker::ListError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return list_error_;
}

QString UpdateChecker::DownloadInstaller(QString *error, const Progress &progress) {
  const UpdateList list = List();
  const QString name = InstallerFileName(list.installer);
  if (!IsHttpsAddress(list.installer) || name.isEmpty()) {
    *error = Texts::tr("Das Update ist nicht sicher über https erreichbar: Update nicht möglich!");
    return {};
  }
  // The desktop's handler would open any other file type with whatever program it chooses.
  if (!name.endsWith(QStringLiteral(".deb"))) {
    *error = Texts::tr("Das Update ist kein Debian-Paket (.deb): Update nicht möglich!");
    return {};
  }
  static const QRegularExpression kDigest(QStringLiteral("^[0-9a-f]{64}$"));
  if (!kDigest.match(list.sha256).hasMatch()) {
    *error = Texts::tr("Die Versionsliste nennt keine Prüfsumme: Update nicht möglich!");
    return {};
  }
  const QString folder = PrivateFolder();
  if (folder.isEmpty()) {
    *error = Texts::tr("Das Update konnte nicht geladen werden!");
    return {};
  }
  const QString path = QDir(folder).filePath(name);
  const int fd = ::open(path.toLocal8Bit().constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  Sink sink;
  sink.fd = fd;
  sink.hash = &hash;
  sink.limit = source_.max_package_bytes;
  sink.cancel = &cancel_;
  sink.also_cancel = &installer_cancel_;
  sink.progress = &progress;
  const QString failure = fd < 0 ? QStringLiteral("open")
                                 : Transfer(source_, list.installer, source_.package_timeout, sink);
  if (fd >= 0) ::close(fd);
  const bool digest_ok = hash.result().toHex() == list.sha256.toLatin1();
  if (failure.isEmpty() && !sink.write_failed && digest_ok) return path;
  QFile::remove(path);
  QDir().rmdir(folder);
  *error = failure.isEmpty() && !sink.write_failed
               ? Texts::tr("Die Prüfsumme des Updates stimmt nicht: Update verworfen!")
               : Texts::tr("Das Update konnte nicht geladen werden!");
  return {};
}

bool UpdateChecker::StartInstallerDownload() {
  if (installer_running_) return false;
  if (installer_worker_.joinable()) installer_worker_.join();  // the last one has ended
  installer_running_ = true;
  installer_cancel_.store(false);
  installer_worker_ = std::thread([this] {
    QElapsedTimer since_report;
    since_report.start();
    const Progress progress = [this, &since_report](qint64 received, qint64 total) {
      // A few reports a second are enough for a progress bar.
      if (since_report.elapsed() < 100) return;
      since_report.restart();
      QMetaObject::invokeMethod(
          this, [this, received, total] { emit InstallerProgress(received, total); },
          Qt::QueuedConnection);
    };
    QString error;
    const QString path = DownloadInstaller(&error, progress);
    QMetaObject::invokeMethod(
        this, [this, path, error] { FinishInstallerDownload(path, error); }, Qt::QueuedConnection);
  });
  return true;
}

void UpdateChecker::CancelInstallerDownload() {
  if (installer_running_) installer_cancel_.store(true);
}

void UpdateChecker::FinishInstallerDownload(const QString &path, const QString &error) {
  installer_running_ = false;
  if (installer_cancel_.load()) {
    // Cancelled while the package was on its way, or after it arrived and before anyone heard:
    // it goes, so that a closed about box never starts an installation.
    if (!path.isEmpty()) DiscardPackage(path);
    emit InstallerReady(QString(), Texts::tr("Das Update wurde abgebrochen."));
    return;
  }
  emit InstallerReady(path, error);
}

void UpdateChecker::DiscardPackage(const QString &path) {
  QFile::remove(path);
  QDir().rmdir(QFileInfo(path).path());
}

}  // namespace quillmate
