// The Xfce backend against a real xfconfd started by a private session bus, with the property
// groups xfdesktop would have written, read back with xfconf-query and with their types.
#include "DesktopTestSupport.h"

#include "platform/linux/XfceDesktop.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

using namespace velmora;
using velmora::platform::DesktopImageOptions;
using velmora::platform::Screen;
using velmora::platform::XfceDesktop;

namespace {

const QString kChannel = QStringLiteral("xfce4-desktop");

class XfceDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *tool : {"dbus-daemon", "xfconf-query"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        bus = std::make_unique<test::PrivateSessionBus>();
        ASSERT_TRUE(bus->isRunning()) << "dbus-daemon did not start";
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("xfce")); }

    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(bus->address(), QStringLiteral("xfce"));
    }

    // The property as xfconf-query prints it; with a type and value, creates it first.
    static QByteArray query(const QString &property, const char *type = nullptr,
                            const char *value = nullptr) {
        QStringList arguments{QStringLiteral("-c"), kChannel, QStringLiteral("-p"), property};
        if (type)
            arguments << QStringLiteral("-n") << QStringLiteral("-t") << QLatin1String(type)
                      << QStringLiteral("-s") << QLatin1String(value);
        return test::runTool(QStringLiteral("xfconf-query"), arguments).trimmed();
    }

    // The stored value with its D-Bus type, straight from xfconfd.
    QVariant stored(const QString &property) const {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
            QStringLiteral("org.xfce.Xfconf"), QStringLiteral("GetProperty"));
        call << kChannel << property;
        const QDBusMessage answer = connection().call(call);
        if (answer.type() != QDBusMessage::ReplyMessage)
            return {};
        return answer.arguments().at(0).value<QDBusVariant>().variant();
    }

    std::unique_ptr<test::PrivateSessionBus> bus;
};

TEST_F(XfceDesktopTest, SetsEveryWorkspaceOfTheScreensMonitorAndLeavesOthersAlone) {
    const QString a0 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0");
    const QString a1 = QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1");
    const QString b0 = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0");
    // What xfdesktop leaves after showing a picture on a monitor's workspace.
    for (const QString &group : {a0, a1, b0}) {
        query(group + QStringLiteral("/last-image"), "string", "/usr/share/old.png");
        query(group + QStringLiteral("/image-style"), "int", "2");
    }
    ASSERT_EQ(query(b0 + QStringLiteral("/image-style")), "2")
        << "xfconf-query could not reach xfconfd";

    XfceDesktop desktop(connection());
    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(QStringLiteral("/home/u/晨光 dawn.jpg"),
                                        Screen{QStringLiteral("HDMI-1"), QRect(0, 0, 1920, 1080)},
                                        DesktopImageOptions{}, &error))
        << error.toStdString();

    for (const QString &group : {a0, a1}) {
        EXPECT_EQ(query(group + QStringLiteral("/last-image")),
                  QStringLiteral("/home/u/晨光 dawn.jpg").toUtf8());
        EXPECT_EQ(query(group + QStringLiteral("/image-style")), "4");
        EXPECT_EQ(query(group + QStringLiteral("/color-style")), "0");
        EXPECT_EQ(query(group + QStringLiteral("/rgba1")),
                  "Value is an array with 4 items:\n\n0.055000\n0.120000\n0.160000\n1.000000");
    }
    EXPECT_EQ(query(b0 + QStringLiteral("/last-image")), "/usr/share/old.png");
    EXPECT_EQ(query(b0 + QStringLiteral("/image-style")), "2");

    // xfdesktop reads the styles as integers and the colour as an array of doubles.
    EXPECT_EQ(stored(a0 + QStringLiteral("/image-style")).typeId(), QMetaType::Int);
    EXPECT_EQ(stored(a0 + QStringLiteral("/color-style")).typeId(), QMetaType::Int);
    EXPECT_EQ(stored(a0 + QStringLiteral("/rgba1")).value<QDBusArgument>().currentSignature(),
              QStringLiteral("av"));

    DesktopImageOptions fill;
    fill.allowClipping = true;
    ASSERT_TRUE(desktop.setDesktopImage(QStringLiteral("/home/u/dawn.jpg"),
                                        Screen{QStringLiteral("HDMI-1"), {}}, fill, &error));
    EXPECT_EQ(query(a1 + QStringLiteral("/image-style")), "5");
}

TEST_F(XfceDesktopTest, StartsTheFirstGroupOnAFreshChannel) {
    XfceDesktop desktop(connection());
    QString error;
    ASSERT_TRUE(desktop.setDesktopImage(QStringLiteral("/home/u/dawn.jpg"),
                                        Screen{QStringLiteral("Virtual-1"), {}}, {}, &error))
        << error.toStdString();
    EXPECT_EQ(query(QStringLiteral("/backdrop/screen0/monitorVirtual-1/workspace0/last-image")),
              "/home/u/dawn.jpg");
}

} // namespace
