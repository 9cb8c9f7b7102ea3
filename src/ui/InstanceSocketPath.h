#pragma once

#include "core/ClientPaths.h"
#include "core/Result.h"

#include <QString>

namespace velmora {

// Where the instance socket of a data directory lives: normally ClientPaths::instanceSocket(),
// inside the 0700 data directory. A socket address is short (see maximumAddressLength), and a data
// directory named with --app-data can be deeper than that. Then the socket moves to
// $XDG_RUNTIME_DIR/velmora-<hash>.sock when that directory is the user's own and closed to
// others, else to <temp>/velmora-<uid>/<hash>.sock, a private 0700 directory of our own;
// <hash> is the first 32 hex digits of SHA-256 over the root, so each data directory keeps a
// socket of its own. Both launches derive the path from the same root and environment; two
// launches that see different runtime directories do not meet, and the second one then starts
// as if it were alone (the instance lock still refuses it).
namespace InstanceSocketPath {

// A socket address holds 108 bytes with its terminating NUL, but Qt 6.4's listener refuses
// names from 107 bytes on.
inline constexpr qsizetype maximumAddressLength = 106;

QString of(const ClientPaths &paths);

// Makes the private directory a temp-directory socket path needs: created 0700, and refused
// when it is a symbolic link, belongs to another user or is open to others. Nothing to do for
// the other locations. The listener calls it before listening; a sender never creates anything.
Status prepareDirectory(const QString &socketPath);

} // namespace InstanceSocketPath

} // namespace velmora
