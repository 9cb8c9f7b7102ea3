#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace velmora::test {

// A private scratch directory, removed with its contents when the test ends.
class TempDir {
public:
    TempDir()
        : m_dir(QDir::tempPath() + QStringLiteral("/velmora-test-XXXXXX")) {}

    QString path(const QString &relative = {}) const {
        return relative.isEmpty() ? m_dir.path() : m_dir.path() + u'/' + relative;
    }

private:
    QTemporaryDir m_dir;
};

inline int permissions(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

inline QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes, int mode = 0600) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

} // namespace velmora::test

// Lets gtest print QStrings readably in failure messages.
inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}
