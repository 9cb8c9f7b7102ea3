#include "tools/trayhost/StatusNotifierHost.h"

#include "tools/trayhost/StatusNotifierWatcher.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QStandardPaths>
#include <QtCore/qtestsupport_core.h>
#include <QtEndian>

#include <atomic>

using namespace Qt::StringLiterals;

namespace velmora::test {

namespace {

const QString kWatcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString kItemInterface = u"org.kde.StatusNotifierItem"_s;
const QString kMenuInterface = u"com.canonical.dbusmenu"_s;
constexpr int kCallTimeoutMs = 5000;

// a(iiay): ARGB32 pixels in network byte order.
QList<QImage> readPixmaps(const QDBusArgument &array) {
    QList<QImage> images;
    array.beginArray();
    while (!array.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        array.beginStructure();
        array >> width >> height >> bytes;
        array.endStructure();
        if (width <= 0 || height <= 0 || bytes.size() != qsizetype(width) * height * 4)
            continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto *pixel = reinterpret_cast<const uchar *>(bytes.constData());
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < width; ++x, pixel += 4)
                line[x] = qFromBigEndian<quint32>(pixel);
        }
        images.append(image);
    }
    array.endArray();
    return images;
}

} // namespace

StatusNotifierHost::StatusNotifierHost(const QProcessEnvironment &base, bool anyUser)
    : m_dir(QDir::tempPath() + u"/velmora-tray-host-XXXXXX"_s)
    , m_busEnvironment(base) {
    static std::atomic<int> instances{0};
    m_connectionName = u"velmora-tray-host-%1"_s.arg(++instances);

    const QString runtime = m_dir.path() + u"/runtime"_s;
    const QString program = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (!m_dir.isValid() || !QDir().mkpath(runtime) ||
        !QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner)) {
        fail(u"no private runtime directory"_s);
        return;
    }
    if (program.isEmpty()) {
        fail(u"dbus-daemon is not installed"_s);
        return;
    }
    // Services the bus starts on demand inherit its environment, not the test's.
    m_busEnvironment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    m_busEnvironment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    QString configuration = u"--session"_s;
    if (anyUser) {
        // A session bus admits only its own user unless its policy says otherwise.
        QFile file(m_dir.path() + u"/bus.conf"_s);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("<busconfig><include>/usr/share/dbus-1/session.conf</include>"
                       "<policy context=\"default\"><allow user=\"*\"/></policy></busconfig>\n") <
                0) {
            fail(u"cannot write the bus configuration"_s);
            return;
        }
        configuration = u"--config-file="_s + file.fileName();
    }
    m_daemon.setProcessEnvironment(m_busEnvironment);
    m_daemon.start(program, {configuration, u"--nofork"_s, u"--print-address=1"_s});
    while (m_daemon.waitForStarted(5000) && !m_daemon.canReadLine() &&
           m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    if (m_address.isEmpty()) {
        fail(u"dbus-daemon did not start: "_s +
             QString::fromLocal8Bit(m_daemon.readAllStandardError()));
        return;
    }

    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_address, m_connectionName));
    if (!m_connection->isConnected()) {
        fail(u"cannot connect to the private bus: "_s + m_connection->lastError().message());
        return;
    }
    auto watcher = std::make_unique<StatusNotifierWatcher>(*m_connection);
    // The object first, so whoever sees the name appear can already introspect it.
    if (!m_connection->registerObject(u"/StatusNotifierWatcher"_s, watcher.get(),
                                      QDBusConnection::ExportAllContents) ||
        !m_connection->registerService(kWatcherService)) {
        fail(u"cannot publish the watcher: "_s + m_connection->lastError().message());
        return;
    }
    m_watcher = std::move(watcher);
}

StatusNotifierHost::~StatusNotifierHost() {
    if (m_connection) {
        m_connection->unregisterObject(u"/StatusNotifierWatcher"_s);
        m_watcher.reset();
        m_connection.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
}

QProcessEnvironment StatusNotifierHost::environment() const {
    QProcessEnvironment environment = m_busEnvironment;
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_address);
    for (const char *name :
         {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
          "GNOME_DESKTOP_SESSION_ID", "QT_QPA_PLATFORMTHEME"})
        environment.remove(QLatin1String(name));
    return environment;
}

QString StatusNotifierHost::waitForItem(int timeoutMs) {
    if (!m_watcher)
        return {};
    if (!QTest::qWaitFor([&] { return !m_watcher->registeredItems().isEmpty(); }, timeoutMs))
        fail(u"no tray item registered within %1 ms"_s.arg(timeoutMs));
    return itemService();
}

bool StatusNotifierHost::waitForItemGone(int timeoutMs) {
    if (!m_watcher)
        return false;
    return QTest::qWaitFor([&] { return m_watcher->registeredItems().isEmpty(); }, timeoutMs) ||
           fail(u"the tray item is still registered after %1 ms"_s.arg(timeoutMs));
}

QStringList StatusNotifierHost::itemParts() const {
    if (!m_watcher || m_watcher->registeredItems().isEmpty())
        return {};
    const QString item = m_watcher->registeredItems().constFirst();
    const qsizetype slash = item.indexOf(u'/');
    return {item.left(slash), item.mid(slash)};
}

QString StatusNotifierHost::itemService() const {
    return itemParts().value(0);
}

QVariant StatusNotifierHost::itemProperty(const QString &name) {
    const QStringList item = itemParts();
    if (item.isEmpty()) {
        fail(u"no tray item is registered"_s);
        return {};
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        item[0], item[1], u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << kItemInterface << name;
    const QDBusMessage reply = m_connection->call(get, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        fail(u"reading %1 failed: %2"_s.arg(name, reply.errorMessage()));
        return {};
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

std::optional<TrayToolTip> StatusNotifierHost::toolTip() {
    const QVariant value = itemProperty(u"ToolTip"_s);
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    // (sa(iiay)ss)
    const QDBusArgument structure = value.value<QDBusArgument>();
    TrayToolTip tip;
    structure.beginStructure();
    structure >> tip.iconName;
    tip.icons = readPixmaps(structure);
    structure >> tip.title >> tip.text;
    structure.endStructure();
    return tip;
}

QList<QImage> StatusNotifierHost::iconPixmaps() {
    const QVariant value = itemProperty(u"IconPixmap"_s);
    return value.canConvert<QDBusArgument>() ? readPixmaps(value.value<QDBusArgument>())
                                             : QList<QImage>();
}

QString StatusNotifierHost::menuPath() {
    const QVariant value = itemProperty(u"Menu"_s);
    const QString path = value.value<QDBusObjectPath>().path();
    if (value.isValid() && path.isEmpty())
        fail(u"the tray item has no menu"_s);
    return path;
}

std::optional<TrayMenuEntry> StatusNotifierHost::readMenu() {
    const QString path = menuPath();
    if (path.isEmpty())
        return std::nullopt;
    QDBusMessage getLayout =
        QDBusMessage::createMethodCall(itemService(), path, kMenuInterface, u"GetLayout"_s);
    getLayout << 0 << -1 << QStringList();
    const QDBusMessage reply = m_connection->call(getLayout, QDBus::Block, kCallTimeoutMs);
    // (u revision, (ia{sv}av) layout)
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2 ||
        !reply.arguments().at(1).canConvert<QDBusArgument>()) {
        fail(u"reading the menu failed: "_s + reply.errorMessage());
        return std::nullopt;
    }
    return TrayMenuEntry::fromLayout(reply.arguments().at(1).value<QDBusArgument>());
}

std::optional<TrayMenuEntry> StatusNotifierHost::findEntry(const QStringList &labelPath) {
    const std::optional<TrayMenuEntry> menu = readMenu();
    if (!menu)
        return std::nullopt;
    if (const TrayMenuEntry *entry = menu->find(labelPath))
        return *entry;
    fail(u"no entry %1 in the menu:\n%2"_s.arg(labelPath.join(u" › "_s), menu->dump()));
    return std::nullopt;
}

bool StatusNotifierHost::aboutToShow(int id) {
    const QString path = menuPath();
    if (path.isEmpty())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(itemService(), path, kMenuInterface, u"AboutToShow"_s);
    call << id;
    const QDBusMessage reply = m_connection->call(call, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ||
           fail(u"AboutToShow failed: "_s + reply.errorMessage());
}

bool StatusNotifierHost::click(int id) {
    const QString path = menuPath();
    if (path.isEmpty())
        return false;
    QDBusMessage event =
        QDBusMessage::createMethodCall(itemService(), path, kMenuInterface, u"Event"_s);
    event << id << u"clicked"_s << QVariant::fromValue(QDBusVariant(0)) << 0u;
    return m_connection->send(event) || fail(u"cannot send the click"_s);
}

bool StatusNotifierHost::fail(const QString &error) {
    m_error = error;
    return false;
}

} // namespace velmora::test
