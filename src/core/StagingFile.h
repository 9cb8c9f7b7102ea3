#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// A file being filled beside its destination under a hidden name no other writer uses
// (".<name>.<random><suffix>", created exclusively, mode 0600, never through a link). Only a
// complete file is renamed over the destination, in one step, so a reader sees either the old
// content or the new one whole. Removed when destroyed uncommitted, also after a failed commit.
class StagingFile {
public:
    // Fails with the system's description when the destination's directory cannot be opened
    // or no staging file can be made in it.
    static Result<StagingFile> create(const QString &destination, const QByteArray &suffix);

    StagingFile(StagingFile &&other) noexcept;
    StagingFile &operator=(StagingFile &&other) noexcept;
    StagingFile(const StagingFile &) = delete;
    StagingFile &operator=(const StagingFile &) = delete;
    ~StagingFile();

    const QString &path() const { return m_path; }
    const QString &destination() const { return m_destination; }

    // Writes all of `bytes`. After the first failure nothing more is written and error()
    // holds its errno.
    bool write(const char *bytes, qint64 size);
    int error() const { return m_error; }

    // Removes the staging files in `directory` that no live writer holds, whatever their age:
    // each writer locks its own from the moment it exists until it is renamed or removed, so an
    // unlocked one is what a killed process left.
    static void removeAbandoned(const QString &directory, const QByteArray &suffix);

    // Makes SIGTERM, SIGINT and SIGHUP (logout, a unit's time-out, Ctrl+C) remove the staging
    // files of this process before it ends as the signal would end it.
    static void removeOnTerminationSignals();

    enum class Durability { Flushed, Unflushed };
    // Closes the file (flushed to disk first when asked) and renames it over the destination.
    // A failure (also an earlier write failure) is reported in the system's words, naming the
    // destination, and the staging file is removed.
    Status commit(Durability durability = Durability::Flushed);

private:
    StagingFile() = default;
    void discard();

    int m_directory = -1;
    int m_fd = -1;
    QByteArray m_name; // in the directory
    QByteArray m_destinationName;
    QString m_path;
    QString m_destination;
    int m_error = 0;
    int m_registration = -1; // slot in the list the signal handler removes
};

} // namespace velmora
