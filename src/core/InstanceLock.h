#pragma once

#include "ClientPaths.h"

#include <QString>

namespace velmora {

// Keeps a second menu-bar application off the same data directory: an advisory, non-blocking
// write lock over the whole of ".instance.lock", held for the life of the process and dropped
// by the operating system however the process ends. The file's content is never used.
class InstanceLock {
public:
    // Touches nothing on disk. The caller runs paths.ensure() before acquire().
    explicit InstanceLock(const ClientPaths &paths);
    ~InstanceLock();

    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    const QString &path() const { return m_path; }
    bool isHeld() const { return m_descriptor >= 0; }

    // Yes when this object holds the lock afterwards (also when it already did). No for every
    // failure, another process holding the lock included; no reason is given.
    bool acquire();
    // Unlocks and closes; nothing happens when the lock is not held. The file stays.
    void release();

private:
    QString m_path;
    int m_descriptor = -1;
};

} // namespace velmora
