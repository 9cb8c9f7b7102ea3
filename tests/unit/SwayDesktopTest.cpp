// The sway backend's side of the IPC, against a stand-in socket that records the request and
// answers as told: sway's framing, and that an answer is success only when every part of it
// says so. What sway itself makes of the command is shown against the real sway.
#include "platform/linux/SwayDesktop.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QLocalServer>
#include <QLocalSocket>

#include <thread>

using namespace Qt::StringLiterals;

using velmora::platform::DesktopImageOptions;
using velmora::platform::SwayDesktop;

namespace {

QByteArray frame(const QByteArray &magic, quint32 type, const QByteArray &payload) {
    const quint32 header[] = {quint32(payload.size()), type};
    return magic + QByteArray(reinterpret_cast<const char *>(header), sizeof header) + payload;
}

TEST(SwayDesktopTest, SendsOneFramedCommandAndReportsWhatSwayRefused) {
    const velmora::test::TempDir temp;
    const QString file = temp.path(u"a.png"_s);
    ASSERT_TRUE(velmora::test::writeFile(file, "png"));
    DesktopImageOptions fill;
    fill.allowClipping = true;

    const struct {
        QByteArray reply;
        QString error; // empty: success
    } rows[] = {
        {frame("i3-ipc", 0, R"([{"success": true}])"), {}},
        {frame("i3-ipc", 0,
               R"([{"success": true}, {"success": false, "error": "Unknown\n\tcommand"}])"),
         u"sway 没有接受壁纸设置：Unknown command"_s},
        {frame("i3-ipx", 0, R"([{"success": true}])"), u"sway 的回应无法识别。"_s},
        {"", u"sway 没有回应壁纸设置。"_s},
    };
    for (const auto &row : rows) {
        const QString socket = temp.path(u"ipc.sock"_s);
        QLocalServer::removeServer(socket);
        QLocalServer server;
        ASSERT_TRUE(server.listen(socket));
        QByteArray request;
        std::thread setter([&] {
            QString error;
            const bool set = SwayDesktop(socket).setDesktopImage(file, {}, fill, &error);
            EXPECT_EQ(set, row.error.isEmpty());
            EXPECT_EQ(error, row.error);
        });
        ASSERT_TRUE(server.waitForNewConnection(5000));
        QLocalSocket *peer = server.nextPendingConnection();
        const QByteArray command = SwayDesktop::backgroundCommand(file, fill);
        while (request.size() < 14 + command.size() && peer->waitForReadyRead(5000))
            request += peer->readAll();
        peer->write(row.reply);
        peer->waitForBytesWritten(5000);
        peer->disconnectFromServer();
        setter.join();
        EXPECT_EQ(request, frame("i3-ipc", 0, command));
    }
}

} // namespace
