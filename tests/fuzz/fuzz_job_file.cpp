// Job files as an operator hands them over: any bytes. Loading must refuse or give a job; a job
// that loads goes through the job checks, and a job that passes them encodes its value and
// decodes it again; a loaded job saved and loaded again is the same job.
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "same_job.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_file.h"
#include "writer/job/key_plan.h"

using namespace quillmate;

namespace {

QString TempPath(const char *name) {
  return QDir::temp().filePath(
      QStringLiteral("fuzz_job_file-%1-%2.KVMFDat").arg(getpid()).arg(QString::fromLatin1(name)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const QString input = TempPath("input");
  static const QString saved = TempPath("saved");
  {
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  DesfireSet job;
  if (!LoadJobFile(input, job).ok) return 0;

  KeyPlan plan;
  ValidateReadJob(job, plan);
  if (ValidateWriteJob(job, plan).ok) {
    QByteArray bytes;
    if (EncodeData(job, job.data, bytes).ok) DecodeData(job, bytes);
    NormaliseValue(job, 1);
  }

  // Blanks around a value do not survive a file (the reader trims them), nor do line breaks,
  // which saving refuses; everything else comes back as it went out.
  if (job.data != job.data.trimmed()) return 0;
  QFile::remove(saved);
  if (!SaveJobFile(saved, job).ok) return 0;
  DesfireSet again;
  if (!LoadJobFile(saved, again).ok || !kovra_fuzz::SameJob(job, again)) std::abort();
  return 0;
}
