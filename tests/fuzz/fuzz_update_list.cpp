// A version list as any server could send it: any bytes. Parsing gives a list whose build is a
// date or empty, the label is one of its four states with a text, and an installer name taken
// from the list is a plain file name (no folder, no "..").
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "writer/update/update_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const quillmate::UpdateList list = quillmate::ParseUpdateList(text);
  if (!list.build.isEmpty() && list.build.size() != 10) std::abort();
  const quillmate::UpdateLabel label = quillmate::UpdateLabelFor(list, "0.1", "2026-12-10");
  if (label.text.isEmpty()) std::abort();
  const QString name = quillmate::InstallerFileName(list.installer);
  if (name.contains(u'/') || name.startsWith(u'.') || name.contains(u'\\')) std::abort();
  (void)quillmate::IsHttpsAddress(list.installer);
  return 0;
}
