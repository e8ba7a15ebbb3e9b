// Replacing a file's content so that a crash or a full disk never leaves it half written.
#pragma once

#include <string>
#include <string_view>

namespace quillmate {

// Writes `content` to a new temporary file in the folder of `path`, flushes it to the disk, then
// renames it over `path`: at every moment `path` holds either its old content or the whole new
// one. A file that exists keeps its permission bits; a new one is created 0600. Returns true on
// success. On failure returns false with a message naming the step and the system's reason in
// `error`, removes the temporary file and leaves `path` as it was; an existing `path` that this
// process may not write is not replaced.
bool ReplaceFileContent(const std::string &path, std::string_view content, std::string &error);

}  // namespace quillmate
