// Writing a file through a temporary file that is renamed when every byte is on the disk.
#include "writer/records/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace quillmate {
namespace {

QString Reason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

bool WriteAll(int fd, const QByteArray &bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    done += written;
  }
  return true;
}

// The folder's entry for the renamed file is on the disk too, not only the file's bytes.
void SyncFolder(const QString &folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *why) {
  const auto fail = [&](int error) {
    if (why) *why = QStringLiteral("%1: %2").arg(path, Reason(error));
    return false;
  };
  const QFileInfo info(path);
  const QString folder = info.absolutePath();
  QByteArray temporary = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() +
                                           QStringLiteral(".XXXXXX"));
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return fail(errno);
  struct stat old {};
  if (::stat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  }
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const int write_error = errno;
  if (::close(fd) != 0 || !written) {
    const int error = written ? errno : write_error;
    ::unlink(temporary.constData());
    return fail(error);
  }
  if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
    const int error = errno;
    ::unlink(temporary.constData());
    return fail(error);
  }
  SyncFolder(folder);
  return true;
}

}  // namespace quillmate
