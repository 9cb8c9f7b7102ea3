#include "XfceDesktop.h"

#include "LinuxDesktop.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>
#include <QRegularExpression>

#include <set>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

constexpr int kCallTimeoutMs = 10000;
const QString kChannel = u"xfce4-desktop"_s;
const QString kLastImage = u"/last-image"_s;
const QRegularExpression kWorkspace(u"/workspace([0-9]+)$"_s);

int imageStyle(DesktopPlacement placement) {
    switch (placement) {
    case DesktopPlacement::Fill:
        return 5; // zoomed
    case DesktopPlacement::Stretch:
        return 3; // stretched
    case DesktopPlacement::Centre:
        return 1; // centred
    case DesktopPlacement::Fit:
        break;
    }
    return 4; // scaled
}

QDBusMessage xfconfCall(const QString &method, const QVariantList &arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(XfceDesktop::kService), u"/org/xfce/Xfconf"_s, u"org.xfce.Xfconf"_s, method);
    call.setArguments(arguments);
    return call;
}

QString describe(const QDBusMessage &answer) {
    return u"Xfce 桌面设置服务（xfconfd）出错：%1"_s.arg(
        answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage());
}

} // namespace

XfceDesktop::XfceDesktop(QDBusConnection bus)
    : m_bus(std::move(bus)) {}

std::vector<Screen> XfceDesktop::screens() const {
    return desktopWideScreens(backendName());
}

QStringList XfceDesktop::groupsToSet(const QStringList &properties, const QString &screenName) {
    QStringList all;
    QStringList ofScreen;
    std::set<int> workspaces;
    const QString monitor = u"/monitor%1/"_s.arg(screenName);
    for (const QString &property : properties) {
        if (!property.endsWith(kLastImage))
            continue;
        const QString group = property.chopped(kLastImage.size());
        all << group;
        if (!screenName.isEmpty() && (group + u'/').contains(monitor))
            ofScreen << group;
        const QRegularExpressionMatch workspace = kWorkspace.match(group);
        if (workspace.hasMatch())
            workspaces.insert(workspace.captured(1).toInt());
    }
    const bool named = !screenName.isEmpty() && screenName != u"xfce"_s;
    if (!named)
        return all.isEmpty() ? QStringList{u"/backdrop/screen0/monitor0/workspace0"_s} : all;
    // xfdesktop writes a monitor's groups the first time it draws it, and shows its default
    // until then: a monitor plugged in since gets a group of its own on every workspace in use.
    // Without one of its own yet, every group there is is written as well, in case this
    // xfdesktop names its monitors otherwise (older ones number them).
    QStringList groups = ofScreen.isEmpty() ? all : ofScreen;
    if (workspaces.empty())
        workspaces.insert(0);
    for (const int workspace : workspaces) {
        const QString own =
            u"/backdrop/screen0/monitor%1/workspace%2"_s.arg(screenName).arg(workspace);
        if (!groups.contains(own))
            groups << own;
    }
    return groups;
}

bool XfceDesktop::setDesktopImage(const QString &file, const Screen &screen,
                                  const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;

    QStringList properties;
    const QDBusMessage listed =
        m_bus.call(xfconfCall(u"GetAllProperties"_s, {kChannel, u"/backdrop"_s}), QDBus::Block,
                   kCallTimeoutMs);
    if (listed.type() == QDBusMessage::ReplyMessage && !listed.arguments().isEmpty()) {
        properties = qdbus_cast<QVariantMap>(listed.arguments().constFirst()).keys();
    } else if (listed.errorName() != u"org.xfce.Xfconf.Error.PropertyNotFound"_s) {
        // A channel without any backdrop yet answers "not found"; anything else is a failure.
        message = describe(listed);
        return false;
    }

    const QVariantList colour = {options.fillRed, options.fillGreen, options.fillBlue, 1.0};
    // The image last: xfdesktop redraws on each change, and then the style is already right.
    const std::vector<std::pair<QString, QVariant>> values = {
        {u"/image-style"_s, imageStyle(desktopPlacement(options))},
        {u"/color-style"_s, 0}, // solid
        {u"/rgba1"_s, colour},
        {kLastImage, QFileInfo(file).absoluteFilePath()},
    };
    for (const QString &group : groupsToSet(properties, screen.name)) {
        for (const auto &[key, value] : values) {
            const QDBusMessage answer =
                m_bus.call(xfconfCall(u"SetProperty"_s, {kChannel, group + key,
                                                         QVariant::fromValue(QDBusVariant(value))}),
                           QDBus::Block, kCallTimeoutMs);
            if (answer.type() != QDBusMessage::ReplyMessage) {
                message = describe(answer);
                return false;
            }
        }
    }
    return true;
}

} // namespace velmora::platform
