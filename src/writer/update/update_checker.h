// The update check: the version list downloaded on a worker thread, and the installer package
// downloaded into a private folder and checked against its SHA-256 before anything is done with
// it. Only https is used, with the certificate checked (against the system's authorities, or a
// private mirror's authority named by the settings), and every download is bounded in size and
// time; the worker never blocks the thread that owns the checker.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "writer/update/update_list.h"

namespace quillmate {

struct UpdateSource {
  QString list_address = QString::fromLatin1(kDefaultUpdateAddress);
  QString ca_file;  // an authority file for a private mirror; empty: the system's authorities
  std::chrono::seconds connect_timeout{10};
  std::chrono::seconds list_timeout{30};
  std::chrono::seconds package_timeout{600};
  std::chrono::seconds stall_timeout{15};  // less than a byte a second for this long ends it
  qint64 max_list_bytes = 64 * 1024;
  qint64 max_package_bytes = 512LL * 1024 * 1024;
};

class UpdateChecker : public QObject {
  Q_OBJECT

 public:
  explicit UpdateChecker(UpdateSource source, QObject *parent = nullptr);
  // Ends a running download (within a second) and waits for its worker.
  ~UpdateChecker() override;

  // Starts downloading the list unless a download runs; when one has finished, ListReady comes
  // again (queued) without a new download.
  void StartListDownload();
  bool Finished() const;
  // The list of the last download (not received when it failed).
  UpdateList List() const;
  // Why the last list download failed (empty when it did not).
  QString ListError() const;

  // The running program's version and build date (its file's date); settable for tests.
  QString OwnVersion() const { return own_version_; }
  QString OwnBuild() const { return own_build_; }
  void SetOwn(const QString &version, const QString &build);

  // Downloads the list's installer into a folder of its own (mode 0700) and checks its SHA-256;
  // blocking. The package's path, or empty with the operator's text in `error` (not https, no
  // Debian package, no or a wrong digest, a name that is no plain file name, a failed, cancelled
  // or too large download). `progress`, when given, hears the bytes received and the total (0
  // while unknown) on the downloading thread.
  using Progress = std::function<void(qint64 received, qint64 total)>;
  QString DownloadInstaller(QString *error, const Progress &progress = {});

  // DownloadInstaller on a worker thread: InstallerProgress reports on the way, InstallerReady
  // at the end (both on the checker's thread). False when a download runs already.
  bool StartInstallerDownload();
  // Ends a running installer download within a second. Its package never reaches anyone: one
  // that arrives afterwards is deleted, and InstallerReady says the update was cancelled.
  void CancelInstallerDownload();
  bool InstallerDownloadRunning() const { return installer_running_; }

  // Hands a verified package to the desktop's handler; the default does nothing and says no
  // (the window installs the desktop's one).
  using Handler = std::function<bool(const QString &path)>;
  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  bool HandOver(const QString &path) const { return handler_ && handler_(path); }

  // Deletes a package DownloadInstaller delivered, with its folder.
  static void DiscardPackage(const QString &path);

 signals:
  void ListReady();
  void InstallerProgress(qint64 received, qint64 total);
  // The verified package's path, or empty with the operator's text in `error`.
  void InstallerReady(const QString &path, const QString &error);

 private:
  void FinishInstallerDownload(const QString &path, const QString &error);

  UpdateSource source_;
  QString own_version_;
  QString own_build_;
  Handler handler_;
  mutable std::mutex mutex_;
  QString list_text_;
  QString list_error_;
  bool finished_ = false;
  bool running_ = false;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  // The installer download: started, cancelled and finished on the checker's thread only.
  bool installer_running_ = false;
  std::atomic<bool> installer_cancel_{false};
  std::thread installer_worker_;
};

}  // namespace quillmate
