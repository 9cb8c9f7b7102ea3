#include "FileHasher.h"

#include <QFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

struct Sha256::Context {
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256()
    : m_context(std::make_unique<Context>()) {
    EVP_DigestInit_ex(m_context->md, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::update(const char *data, qint64 size) {
    EVP_DigestUpdate(m_context->md, data, size_t(size));
}

QString Sha256::finalHex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->md, digest.data(), &length);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest.data()), int(length)).toHex());
}

Result<QString> FileHasher::sha256(const QString &path, Links links) {
    // O_NONBLOCK: a FIFO planted at the path would otherwise hold the open for ever. Only a
    // regular file is hashed.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return ClientError::fileSystem(u"无法读取文件："_s + path);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        ::close(fd);
        return ClientError::fileSystem(u"无法读取文件："_s + path);
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    Sha256 hash;
    std::unique_ptr<char[]> buffer(new char[chunkSize]);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.get(), chunkSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return ClientError::fileSystem(u"读取文件失败："_s + path);
        }
        if (got == 0)
            break;
        hash.update(buffer.get(), got);
    }
    ::close(fd);
    return hash.finalHex();
}

bool sameDigest(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

void FileHasher::releaseThreadState() {
    OPENSSL_thread_stop();
}

} // namespace velmora
