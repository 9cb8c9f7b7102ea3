#include "PcmanfmDesktop.h"

#include "DesktopPainting.h"
#include "LinuxDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// A second run only hands the command over and exits; one that hangs must not hold the refresh.
constexpr int kToolTimeoutMs = 15000;

QByteArray commandLineOf(qint64 pid) {
    QFile file(u"/proc/%1/cmdline"_s.arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The desktop process of `program` run by this user, and its profile. pcmanfm-qt is asked for
// by the owner of its bus name, which is also the process a second run will talk to; pcmanfm
// hands over through a socket of its own, so its process is looked for among this user's.
std::optional<QString> runningDesktopProfile(const PcmanfmProgram &program) {
    if (program.busName) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return std::nullopt;
        const auto owner = bus.interface()->servicePid(QLatin1String(program.busName));
        if (!owner.isValid())
            return std::nullopt;
        return PcmanfmDesktop::desktopProfile(commandLineOf(owner.value()), program.program);
    }
    const QString self = QString::number(::getuid());
    for (const QFileInfo &entry :
         QDir(u"/proc"_s).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.fileName().toLongLong(&numeric);
        if (!numeric || QString::number(entry.ownerId()) != self)
            continue;
        if (auto profile = PcmanfmDesktop::desktopProfile(commandLineOf(pid), program.program))
            return profile;
    }
    return std::nullopt;
}

// The largest screen: the one picture is laid out for it and shown, unchanged, on the others.
QSize largestScreen(const std::vector<Screen> &screens) {
    QSize largest;
    for (const Screen &screen : screens)
        if (qint64(screen.geometry.width()) * screen.geometry.height() >
            qint64(largest.width()) * largest.height())
            largest = screen.geometry.size();
    return largest;
}

QString placementName(DesktopPlacement placement) {
    switch (placement) {
    case DesktopPlacement::Fill:
        return u"fill"_s;
    case DesktopPlacement::Stretch:
        return u"stretch"_s;
    case DesktopPlacement::Centre:
        return u"centre"_s;
    case DesktopPlacement::Fit:
        break;
    }
    return u"fit"_s;
}

} // namespace

const PcmanfmProgram PcmanfmProgram::lxqt = {"lxqt", "LXQt", "pcmanfm-qt", "org.pcmanfm.PCManFM"};
const PcmanfmProgram PcmanfmProgram::lxde = {"lxde", "LXDE", "pcmanfm", nullptr};

std::optional<QString> PcmanfmDesktop::desktopProfile(const QByteArray &commandLine,
                                                      const char *program) {
    const QList<QByteArray> arguments = commandLine.split('\0');
    if (arguments.isEmpty() ||
        QFileInfo(QFile::decodeName(arguments.first())).fileName() != QLatin1String(program))
        return std::nullopt;
    bool desktop = false;
    QString profile = u"default"_s;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments.at(i);
        if (argument == "--desktop")
            desktop = true; // "-d" is the daemon mode, not the desktop
        else if (argument.startsWith("--profile="))
            profile = QFile::decodeName(argument.mid(10));
        else if ((argument == "--profile" || argument == "-p") && i + 1 < arguments.size())
            profile = QFile::decodeName(arguments.at(++i));
    }
    if (!desktop)
        return std::nullopt;
    return profile;
}

bool PcmanfmDesktop::available(const PcmanfmProgram &program) {
    return runningDesktopProfile(program).has_value() &&
           !QStandardPaths::findExecutable(QLatin1String(program.program)).isEmpty();
}

std::vector<Screen> PcmanfmDesktop::screens() const {
    return desktopWideScreens(backendName());
}

bool PcmanfmDesktop::setDesktopImage(const QString &file, const Screen &,
                                     const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;
    const QString desktop = QLatin1String(m_program.desktopName);

    const QSize size = largestScreen(screens());
    if (size.isEmpty()) {
        message = u"无法得知屏幕大小，不能设置 %1 桌面壁纸。"_s.arg(desktop);
        return false;
    }
    const QFileInfo source(file);
    const QString prefix = u".%1-desktop-"_s.arg(backendName());
    const QString laidOut = source.dir().filePath(u"%1%2-%3x%4-%5.jpg"_s.arg(
        prefix, source.completeBaseName(), QString::number(size.width()),
        QString::number(size.height()), placementName(desktopPlacement(options))));
    if (laidOut == m_lastSet)
        return true; // the next screen of the same desktop

    QImageReader reader(file);
    reader.setAutoTransform(true); // photographs often carry their orientation in Exif
    const QImage picture = reader.read();
    if (picture.isNull()) {
        message = u"无法读取图片文件：%1（%2）"_s.arg(file, reader.errorString());
        return false;
    }
    // Written whole under a temporary name and renamed over the old one, so the desktop never
    // reads half a picture; a link planted at this name is removed, never followed.
    if (QFileInfo(laidOut).isSymLink())
        QFile::remove(laidOut); // QSaveFile would write through it
    QSaveFile output(laidOut);
    QImageWriter writer(&output, "jpg");
    writer.setQuality(95);
    if (!output.open(QIODevice::WriteOnly) ||
        !writer.write(paintDesktopImage(picture, size, {QRect(QPoint(0, 0), size)}, options)) ||
        !output.commit()) {
        message = u"无法保存为 %1 桌面准备的图片：%2"_s.arg(desktop, laidOut);
        return false;
    }

    QProcess tool;
    tool.setProgram(QLatin1String(m_program.program));
    tool.setArguments({u"--set-wallpaper"_s, laidOut, u"--wallpaper-mode"_s, u"fit"_s});
    if (m_program.busName) {
        // The second run only passes the command on over the bus: it needs no display.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        tool.setProcessEnvironment(environment);
    }
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.start();
    if (!tool.waitForFinished(kToolTimeoutMs)) {
        const bool started = tool.state() != QProcess::NotRunning;
        tool.kill();
        tool.waitForFinished(1000);
        message = started ? u"%1 没有在时限内完成设置壁纸。"_s.arg(QLatin1String(m_program.program))
                          : u"无法运行 %1。"_s.arg(QLatin1String(m_program.program));
        return false;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        message = u"%1 设置壁纸失败（退出状态 %2）。"_s.arg(QLatin1String(m_program.program),
                                                            QString::number(tool.exitCode()));
        return false;
    }

    // pcmanfm-qt saves its settings as soon as it has taken a new picture: reading them back
    // tells a picture that reached the desktop from a run that went nowhere (the desktop quit
    // in between, another session bus).
    if (m_program.busName) {
        const std::optional<QString> profile = runningDesktopProfile(m_program);
        const QSettings settings(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                u"/%1/%2/settings.conf"_s.arg(m_program.program, profile.value_or(QString())),
            QSettings::IniFormat);
        if (!profile || settings.value(u"Desktop/Wallpaper"_s).toString() != laidOut) {
            message = u"%1 桌面没有接受新的壁纸。"_s.arg(desktop);
            return false;
        }
    }
    m_lastSet = laidOut;

    // Earlier laid-out pictures are no longer shown by anyone.
    QDir directory = source.dir();
    for (const QString &name : directory.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden))
        if (directory.filePath(name) != laidOut)
            directory.remove(name);
    return true;
}

} // namespace velmora::platform
