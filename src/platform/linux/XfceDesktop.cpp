#include "XfceDesktop.h"

#include "LinuxDesktop.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>

namespace velmora::platform {

namespace {

constexpr int kCallTimeoutMs = 10000;
const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kLastImage = QStringLiteral("/last-image");

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
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(XfceDesktop::kService),
                                                       QStringLiteral("/org/xfce/Xfconf"),
                                                       QStringLiteral("org.xfce.Xfconf"), method);
    call.setArguments(arguments);
    return call;
}

QString describe(const QDBusMessage &answer) {
    return QStringLiteral("Xfce 桌面设置服务（xfconfd）出错：%1")
        .arg(answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage());
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
    const QString monitor = QStringLiteral("/monitor%1/").arg(screenName);
    for (const QString &property : properties) {
        if (!property.endsWith(kLastImage))
            continue;
        const QString group = property.chopped(kLastImage.size());
        all << group;
        if (!screenName.isEmpty() && (group + u'/').contains(monitor))
            ofScreen << group;
    }
    if (!ofScreen.isEmpty())
        return ofScreen;
    if (!all.isEmpty())
        return all;
    // xfdesktop writes its groups the first time it draws a monitor; before that, or without
    // a display to name the monitor, start the one it would read.
    const bool named = !screenName.isEmpty() && screenName != QStringLiteral("xfce");
    return {QStringLiteral("/backdrop/screen0/monitor%1/workspace0")
                .arg(named ? screenName : QStringLiteral("0"))};
}

bool XfceDesktop::setDesktopImage(const QString &file, const Screen &screen,
                                  const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;

    QStringList properties;
    const QDBusMessage listed = m_bus.call(
        xfconfCall(QStringLiteral("GetAllProperties"), {kChannel, QStringLiteral("/backdrop")}),
        QDBus::Block, kCallTimeoutMs);
    if (listed.type() == QDBusMessage::ReplyMessage && !listed.arguments().isEmpty()) {
        properties = qdbus_cast<QVariantMap>(listed.arguments().constFirst()).keys();
    } else if (listed.errorName() != QStringLiteral("org.xfce.Xfconf.Error.PropertyNotFound")) {
        // A channel without any backdrop yet answers "not found"; anything else is a failure.
        message = describe(listed);
        return false;
    }

    const QVariantList colour = {options.fillRed, options.fillGreen, options.fillBlue, 1.0};
    // The image last: xfdesktop redraws on each change, and then the style is already right.
    const std::vector<std::pair<QString, QVariant>> values = {
        {QStringLiteral("/image-style"), imageStyle(desktopPlacement(options))},
        {QStringLiteral("/color-style"), 0}, // solid
        {QStringLiteral("/rgba1"), colour},
        {kLastImage, QFileInfo(file).absoluteFilePath()},
    };
    for (const QString &group : groupsToSet(properties, screen.name)) {
        for (const auto &[key, value] : values) {
            const QDBusMessage answer = m_bus.call(
                xfconfCall(QStringLiteral("SetProperty"),
                           {kChannel, group + key, QVariant::fromValue(QDBusVariant(value))}),
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
