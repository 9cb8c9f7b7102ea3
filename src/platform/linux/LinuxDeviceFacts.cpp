#include "LinuxDeviceFacts.h"

#include "platform/HexDigits.h"

#include <QFile>
#include <QSysInfo>

namespace velmora::platform {

namespace {

// Both files are a few dozen bytes; anything larger is not what we are looking for.
constexpr qint64 kMaxFileSize = 64 * 1024;

QByteArray readSmallFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxFileSize);
}

// One value of an environment-style file: double or single quotes removed, backslash escapes
// inside double quotes (and outside quotes) resolved.
QString unquote(const QString &raw) {
    QString value;
    QChar quote;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else if (c == u'\\' && quote == u'"' && i + 1 < raw.size())
                value += raw.at(++i);
            else
                value += c;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'\\' && i + 1 < raw.size()) {
            value += raw.at(++i);
        } else {
            value += c;
        }
    }
    return value;
}

} // namespace

LinuxDeviceFacts::LinuxDeviceFacts(QStringList machineIdFiles, QString machineInfoFile)
    : m_machineIdFiles(std::move(machineIdFiles))
    , m_machineInfoFile(std::move(machineInfoFile)) {}

std::optional<QString> LinuxDeviceFacts::platformUUID() const {
    for (const QString &path : m_machineIdFiles) {
        const QString id = QString::fromUtf8(readSmallFile(path)).trimmed();
        // An empty or "uninitialized" id (first boot, container images) identifies nothing.
        if (HexDigits::isHex(id, 32, HexDigits::Case::Lower))
            return id;
    }
    return std::nullopt;
}

QString LinuxDeviceFacts::computerName() const {
    return prettyHostNameFromMachineInfo(readSmallFile(m_machineInfoFile));
}

QString LinuxDeviceFacts::hostName() const {
    return QSysInfo::machineHostName();
}

QString LinuxDeviceFacts::loginName() const {
    return currentLoginName();
}

QString LinuxDeviceFacts::prettyHostNameFromMachineInfo(const QByteArray &content) {
    QString name;
    for (const QByteArray &line : content.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.startsWith(QLatin1String("PRETTY_HOSTNAME=")))
            continue;
        // The last assignment wins, as when the file is sourced by a shell.
        name = unquote(text.mid(int(qstrlen("PRETTY_HOSTNAME=")))).trimmed();
    }
    return name;
}

std::shared_ptr<const DeviceFacts> systemDeviceFacts() {
    return std::make_shared<LinuxDeviceFacts>();
}

} // namespace velmora::platform
