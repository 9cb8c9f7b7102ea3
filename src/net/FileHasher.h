#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace velmora {

// Incremental SHA-256 (OpenSSL), for hashing bytes as they arrive.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void update(const char *data, qint64 size);
    void update(const QByteArray &bytes) { update(bytes.constData(), bytes.size()); }
    // 64 lower-case hexadecimal digits; the object is spent afterwards.
    QString finalHex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

namespace FileHasher {

inline constexpr qint64 chunkSize = 128 * 1024;

enum class Links {
    Follow,
    Refuse, // a symbolic link at the path fails to open, so nothing is hashed through it
};

// The SHA-256 of a file as 64 lower-case hexadecimal digits, read in 128 KiB chunks.
Result<QString> sha256(const QString &path, Links links = Links::Follow);

// Frees what OpenSSL keeps for the calling thread. A pool thread calls it when its task is done:
// OpenSSL's exit handler would otherwise free that state too, racing the thread's own cleanup
// when the thread ends as the process exits.
void releaseThreadState();

} // namespace FileHasher

// Digest texts compare without regard to letter case.
bool sameDigest(const QString &a, const QString &b);

} // namespace velmora
