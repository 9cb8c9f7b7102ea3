#include "Bundle.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::Bundle {

namespace {

// A real Info.plist is a few KiB; anything far beyond that is not ours.
constexpr qint64 maximumInfoSize = 1 << 20;

struct Descriptor {
    explicit Descriptor(int descriptor)
        : fd(descriptor) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { ::close(fd); }
    int fd;
};

bool isRegularFile(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// The file's bytes, read without following a symbolic link and without waiting on a FIFO;
// none unless it is a regular file within the size limit.
std::optional<QByteArray> readRegularFile(const QString &path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const Descriptor closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maximumInfoSize)
        return std::nullopt;
    QByteArray bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return bytes;
        bytes.append(buffer, qsizetype(count));
        if (bytes.size() > maximumInfoSize)
            return std::nullopt;
    }
}

} // namespace

QString directory() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || size_t(length) >= sizeof buffer)
        return {};
    const QString executable = QFile::decodeName(QByteArray(buffer, qsizetype(length)));
    return QDir::cleanPath(QFileInfo(executable).path() + u"/../"_s +
                           QStringLiteral(VELMORA_BUNDLE_SUBDIR));
}

std::optional<QString> resource(const QString &name, const QString &extension) {
    return resource(directory(), name, extension);
}

std::optional<QString> resource(const QString &directory, const QString &name,
                                const QString &extension) {
    if (directory.isEmpty() || name.isEmpty() || name.contains(u'/') || extension.contains(u'/'))
        return std::nullopt;
    const QString path =
        directory + u'/' + name + (extension.isEmpty() ? QString() : u'.' + extension);
    if (!isRegularFile(path))
        return std::nullopt;
    return path;
}

std::optional<QString> infoString(const QString &key) {
    return infoString(directory(), key);
}

std::optional<QString> infoString(const QString &directory, const QString &key) {
    const std::optional<QString> path = resource(directory, u"Info"_s, u"plist"_s);
    const std::optional<QByteArray> bytes = path ? readRegularFile(*path) : std::nullopt;
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes->constData(), uint32_t(bytes->size()), &root);
    const std::unique_ptr<void, void (*)(plist_t)> owner(root, plist_free);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;
    const plist_t item = plist_dict_get_item(root, key.toUtf8().constData());
    if (!item || plist_get_node_type(item) != PLIST_STRING)
        return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(item, &length);
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(text, qsizetype(length));
}

} // namespace velmora::Bundle
