// The keys under which a write job is kept, in one place for the settings and for job files.
// The two stores differ only in how they read and write a value and in some defaults.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "writer/desfire_set.h"

namespace quillmate {

using ReadIntFn = std::function<int(const char *key, int fallback)>;
using ReadTextFn = std::function<QString(const char *key)>;
using WriteIntFn = std::function<void(const char *key, int value)>;
using WriteTextFn = std::function<void(const char *key, const QString &value)>;

// The job from a store; a key the store lacks takes its value from `defaults`. Keys are stored
// protected and come back in clear. A stored key that does not decipher comes back empty and its
// name ("CardKey", ...) is added to `unreadable_keys` when given: an empty key means the factory
// default, which is not what the store held.
DesfireSet ReadJobValues(const ReadIntFn &read_int, const ReadTextFn &read_text,
                         const DesfireSet &defaults, QStringList *unreadable_keys = nullptr);

// Writes every key of the job, in the order job files hold them; keys go out protected.
void WriteJobValues(const DesfireSet &job, const WriteIntFn &write_int,
                    const WriteTextFn &write_text);

}  // namespace quillmate
