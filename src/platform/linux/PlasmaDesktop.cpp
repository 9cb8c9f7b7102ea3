#include "PlasmaDesktop.h"

#include "LinuxDesktop.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

// plasmashell answers once every containment has its new configuration; a frozen shell must
// not hold the refresh for long.
constexpr int kCallTimeoutMs = 15000;

int fillMode(DesktopPlacement placement) {
    // Values of the image wallpaper's FillMode: Qt Quick's Image.fillMode numbering.
    switch (placement) {
    case DesktopPlacement::Fill:
        return 2; // PreserveAspectCrop
    case DesktopPlacement::Stretch:
        return 0; // Stretch
    case DesktopPlacement::Centre:
        return 6; // Pad
    case DesktopPlacement::Fit:
        break;
    }
    return 1; // PreserveAspectFit
}

} // namespace

QString javaScriptStringLiteral(const QString &text) {
    QString literal = u"\""_s;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'"' || unit == u'\\')
            literal += u'\\' + QString(c);
        else if (unit >= 0x20 && unit < 0x7f)
            literal += c;
        else
            literal += u"\\u%1"_s.arg(unsigned(unit), 4, 16, QLatin1Char('0'));
    }
    return literal + u'"';
}

PlasmaDesktop::PlasmaDesktop(QDBusConnection bus)
    : m_bus(std::move(bus)) {}

std::vector<Screen> PlasmaDesktop::screens() const {
    return desktopWideScreens(backendName());
}

QString PlasmaDesktop::wallpaperScript(const QString &file, const DesktopImageOptions &options) {
    const QString url =
        QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded);
    return u"var all = desktops();\n"
           "for (var i = 0; i < all.length; ++i) {\n"
           "    var d = all[i];\n"
           "    d.wallpaperPlugin = \"org.kde.image\";\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    d.writeConfig(\"Image\", %1);\n"
           "    d.writeConfig(\"FillMode\", %2);\n"
           "    d.writeConfig(\"Color\", \"%3\");\n"
           "}\n"_s
               // One pass: a file name may itself contain "%2" once percent-encoded.
               .arg(javaScriptStringLiteral(url),
                    QString::number(fillMode(desktopPlacement(options))),
                    desktopFillColourName(options));
}

bool PlasmaDesktop::setDesktopImage(const QString &file, const Screen &,
                                    const DesktopImageOptions &options, QString *error) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kService), u"/PlasmaShell"_s, u"org.kde.PlasmaShell"_s, u"evaluateScript"_s);
    call << wallpaperScript(file, options);
    const QDBusMessage answer = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error) {
        const QString detail =
            answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
        *error = u"Plasma 桌面没有接受壁纸设置：%1"_s.arg(detail);
    }
    return false;
}

} // namespace velmora::platform
