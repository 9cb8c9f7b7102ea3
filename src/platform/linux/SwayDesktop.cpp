#include "SwayDesktop.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// sway answers a command once it has applied it; one that has not answered by then hangs.
constexpr int kDeadlineMs = 5000;
constexpr quint32 kRunCommand = 0;
// Larger than any answer to one command; a peer sending more is not sway.
constexpr quint32 kMaximumReply = 1 << 20;
constexpr int kMaximumErrorLength = 200;
const QByteArray kMagic = QByteArrayLiteral("i3-ipc");

const char *mode(DesktopPlacement placement) {
    switch (placement) {
    case DesktopPlacement::Fill:
        return "fill";
    case DesktopPlacement::Stretch:
        return "stretch";
    case DesktopPlacement::Centre:
        return "center";
    case DesktopPlacement::Fit:
        break;
    }
    return "fit";
}

// The file name as one argument of sway's command line. sway splits a command at ';' and ','
// and its arguments at blanks, then hands the name of a background to wordexp(3) — with command
// substitution on. A backslash before every character that either level gives a meaning to
// passes through both as that character, and nothing in the name is run or split off. Bytes
// above ASCII mean nothing to either. A newline cannot be escaped that way: none is accepted.
QByteArray quotedFileName(const QString &file) {
    QByteArray quoted;
    for (const char c : QFile::encodeName(file)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return {};
        const bool plain = byte >= 0x80 || (byte >= '0' && byte <= '9') ||
                           (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           std::strchr("/._+-", c) != nullptr;
        if (!plain)
            quoted += '\\';
        quoted += c;
    }
    return quoted;
}

// sway's own words, fit to stand in a sentence: one line, of reasonable length.
QString cleaned(const QString &text) {
    QString line;
    for (const QChar c : text)
        line += c.isPrint() ? c : QChar(u' ');
    line = line.simplified();
    if (line.size() > kMaximumErrorLength)
        line = line.left(kMaximumErrorLength) + u'…';
    return line;
}

QByteArray message(quint32 type, const QByteArray &payload) {
    QByteArray bytes = kMagic;
    const quint32 header[] = {quint32(payload.size()), type};
    bytes.append(reinterpret_cast<const char *>(header), sizeof header); // native byte order
    return bytes + payload;
}

// Reads exactly `size` bytes before the deadline; fewer when the peer stops sending.
QByteArray readExactly(QLocalSocket &socket, qint64 size, const QDeadlineTimer &deadline) {
    QByteArray bytes;
    while (bytes.size() < size) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
        bytes += socket.read(size - bytes.size());
        if (deadline.hasExpired() && bytes.size() < size)
            break;
    }
    return bytes;
}

// The failure sway's answer to a command reports, or an empty string when every part of the
// command succeeded.
QString failureIn(const QByteArray &reply) {
    const QJsonDocument answer = QJsonDocument::fromJson(reply);
    if (!answer.isArray() || answer.array().isEmpty())
        return u"sway 的回应无法识别。"_s;
    for (const QJsonValue &result : answer.array()) {
        if (result.toObject().value(u"success"_s).toBool())
            continue;
        const QString why = cleaned(result.toObject().value(u"error"_s).toString());
        return why.isEmpty() ? u"sway 没有接受壁纸设置。"_s
                             : u"sway 没有接受壁纸设置：%1"_s.arg(why);
    }
    return {};
}

} // namespace

SwayDesktop::SwayDesktop(QString socket)
    : m_socket(socket.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : std::move(socket)) {}

bool SwayDesktop::available() {
    const QByteArray socket = qgetenv("SWAYSOCK");
    struct stat info {};
    return !socket.isEmpty() && ::stat(socket.constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::vector<Screen> SwayDesktop::screens() const {
    return {{backendName(), QRect()}};
}

QByteArray SwayDesktop::backgroundCommand(const QString &file, const DesktopImageOptions &options) {
    const QByteArray name = quotedFileName(QFileInfo(file).absoluteFilePath());
    if (name.isEmpty())
        return {};
    return "output * bg " + name + ' ' + mode(desktopPlacement(options)) + ' ' +
           desktopFillColourName(options).toLatin1();
}

bool SwayDesktop::setDesktopImage(const QString &file, const Screen &,
                                  const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &failure = error ? *error : ignored;

    // sway accepts a file it cannot open and shows the band colour alone.
    if (!QFileInfo(file).isReadable()) {
        failure = u"无法读取图片文件：%1"_s.arg(file);
        return false;
    }
    const QByteArray command = backgroundCommand(file, options);
    if (command.isEmpty()) {
        failure = u"图片文件名含有控制字符，无法交给 sway：%1"_s.arg(cleaned(file));
        return false;
    }

    const QDeadlineTimer deadline(kDeadlineMs);
    QLocalSocket socket;
    socket.connectToServer(m_socket);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        failure = u"无法连接到 sway（%1）：%2"_s.arg(m_socket, socket.errorString());
        return false;
    }
    socket.write(message(kRunCommand, command));
    while (socket.bytesToWrite() > 0 &&
           socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))) {
    }

    const QByteArray header = readExactly(socket, kMagic.size() + 8, deadline);
    quint32 length = 0;
    quint32 type = 0;
    if (header.size() == kMagic.size() + 8) {
        std::memcpy(&length, header.constData() + kMagic.size(), 4);
        std::memcpy(&type, header.constData() + kMagic.size() + 4, 4);
    }
    if (!header.startsWith(kMagic) || type != kRunCommand || length > kMaximumReply) {
        failure = header.isEmpty() ? u"sway 没有回应壁纸设置。"_s : u"sway 的回应无法识别。"_s;
        return false;
    }
    const QByteArray reply = readExactly(socket, length, deadline);
    if (reply.size() != qsizetype(length)) {
        failure = u"sway 没有回应壁纸设置。"_s;
        return false;
    }
    failure = failureIn(reply);
    return failure.isEmpty();
}

} // namespace velmora::platform
