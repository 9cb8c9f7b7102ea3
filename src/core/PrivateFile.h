#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

namespace velmora::PrivateFile {

// What lstat says about an item, without following a final symbolic link.
struct Attributes {
    bool isSymbolicLink = false;
    bool isRegularFile = false;
    mode_t permissions = 0; // the low twelve mode bits

    // Readable or writable by group or others: such a file is not trusted.
    bool isLoose() const { return (permissions & 077) != 0; }
};

// None when nothing can be inspected at `path` (typically: nothing is there).
std::optional<Attributes> inspect(const QString &path);

// True only when the item at `path` itself is a symbolic link; an item that cannot be inspected
// is not a link.
bool isSymbolicLink(const QString &path);

// Replaces `path` with `bytes` so that a reader sees either the old or the complete new content:
// a fresh temporary file beside it (created exclusively, mode 0600, never through a link) is
// written, flushed to disk and renamed over the target. The target ends with permissions 0600.
// A symbolic link at `path` is refused, not replaced. Failures are foreign errors in the
// system's words.
Status writeAtomically(const QString &path, const QByteArray &bytes);

enum class Trust {
    AnyPermissions,
    OwnerOnly, // refuse a file readable or writable by group or others
};

// Reads a regular file of at most `maxBytes` bytes without following a symbolic link at `path`.
// The checks are made on the opened descriptor, so the file cannot be swapped in between.
Result<QByteArray> readNoFollow(const QString &path, qint64 maxBytes,
                                Trust trust = Trust::AnyPermissions);

// mkdir -p: creates `path` and its missing parents with `mode`; an existing directory is no
// error, anything else in the way is. Failures are in the system's words, naming the path.
Status makeDirectories(const QString &path, mode_t mode = 0700);

// Writes all `size` bytes to `fd`, resuming after interruptions and short writes. On failure
// errno tells why.
bool writeAll(int fd, const char *bytes, qint64 size);

} // namespace velmora::PrivateFile
