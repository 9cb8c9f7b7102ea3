// Refreshes as separate processes, as the login agent and a user's own command start them:
// several at once on one data directory and one X display, and one killed mid-download.
#include "ClientHarness.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "wallpaper/WallpaperStore.h"

#include <QBuffer>
#include <QImage>

#include <xcb/res.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace velmora;

namespace {

// The clients the X server holds, this probe and those it retains for programs that have gone
// included.
int xClients(const QByteArray &display) {
    xcb_connection_t *x = xcb_connect(display.constData(), nullptr);
    xcb_res_query_clients_reply_t *reply =
        xcb_res_query_clients_reply(x, xcb_res_query_clients(x), nullptr);
    const int clients = reply ? int(reply->num_clients) : -1;
    std::free(reply);
    xcb_disconnect(x);
    return clients;
}

QByteArray png(int round) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(round * 30 % 360, 200, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return bytes;
}

class RefreshRace : public test::ExecutableTest {
protected:
    RefreshRace()
        : ExecutableTest("640x480x24") {}

    std::unique_ptr<QProcess> refresh(const QProcessEnvironment &environment = {}) {
        return launch({u"--refresh"_s}, environment);
    }

    test::Ran refreshed(const QProcessEnvironment &environment = {}) {
        return test::finish(*refresh(environment), 30000);
    }

    // Five refreshes at once, of a picture no monitor shows yet.
    void runRound(int round) {
        service->setTodayWallpaper(u"round%1.png"_s.arg(round), png(round), u"image/png"_s);
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 5; ++i)
            runs.push_back(refresh());
        for (const auto &run : runs) {
            const test::Ran ran = test::finish(*run, 30000);
            EXPECT_EQ(ran.status, 0) << ran.err.toStdString();
        }
    }
};

// Every round leaves a record that names a verified file, and the X server keeps no more
// clients than the one that owns the published picture.
TEST_F(RefreshRace, ParallelRefreshesKeepTheRecordedFileAndLeakNoXClients) {
    const test::Ran first = refreshed();
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    const QByteArray display = ':' + xvfb->address();
    const int before = xClients(display);
    ASSERT_GT(before, 0);

    // Cache entries newer than anything a refresh applies: pruning would take the applied and
    // the recorded file first.
    for (int i = 0; i < 9; ++i) {
        const QString junk = paths.wallpapers() + u"/junk%1.png"_s.arg(i);
        ASSERT_TRUE(test::writeFile(junk, "x"));
        const timespec future[2] = {{4'000'000'000, 0}, {4'000'000'000, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(junk).constData(), future, 0);
    }
    const WallpaperStore store(paths);
    for (int round = 0; round < 10; ++round) {
        runRound(round);
        const auto last = store.lastVerifiedWallpaper();
        ASSERT_TRUE(last) << "round " << round << ": the record names no verified file";
    }
    // Closed connections are noticed a moment later; retained ones never.
    int after = 0;
    test::waitFor([&] { return (after = xClients(display)) <= before; }, 5000);
    EXPECT_EQ(after, before);
}

// A Wayland session without a backend for its compositor, and a named desktop whose tool is
// not running, are told so; the X server that is there (XWayland's, a root the desktop covers)
// gets no picture. The name from the environment is printed clean.
TEST_F(RefreshRace, ADesktopThatCannotBeReachedIsNamedAndNothingIsPainted) {
    const std::tuple<QString, const char *, QString> cases[] = {
        {u"Hyprland\u001b]0;x\u0007"_s, "wayland", u"Hyprland]0;x"_s},
        {u"LXQt"_s, "x11", u"LXQt"_s},
    };
    for (const auto &[desktop, type, shown] : cases) {
        QProcessEnvironment environment = test::displayEnvironment(xvfb->address());
        environment.insert(u"XDG_CURRENT_DESKTOP"_s, desktop);
        environment.insert(u"XDG_SESSION_TYPE"_s, QLatin1String(type));
        environment.remove(u"SWAYSOCK"_s);
        EXPECT_EQ(QString::fromUtf8(refreshed(environment).line()),
                  u"1 [] [错误：当前桌面环境（"_s + shown + u"）不支持自动设置壁纸。\n]"_s);
    }
    EXPECT_FALSE(test::runOnDisplay(xvfb->address(), u"xprop"_s, {u"-root"_s, u"_XROOTPMAP_ID"_s})
                     .contains(u"pixmap id"_s));
}

// Logout and a unit's time-out end a refresh with SIGTERM: its staging file goes with it. One
// killed outright leaves the file, and the next refresh removes it, however new.
TEST_F(RefreshRace, AKilledDownloadLeavesNoStagingFileBehindForLong) {
    service->setFault(service->todayWallpaper().downloadPath, {.stallAfter = 4096});
    const auto stagingFiles = [this] {
        return QDir(paths.wallpapers()).entryList({u".*.download"_s}, QDir::Files | QDir::Hidden);
    };
    for (const int signal : {SIGTERM, SIGKILL}) {
        const std::unique_ptr<QProcess> run = refresh();
        ASSERT_TRUE(test::pumpUntil([&] { return !stagingFiles().isEmpty(); }, 20000));
        ::kill(pid_t(run->processId()), signal);
        ASSERT_TRUE(run->waitForFinished(10000));
        EXPECT_EQ(stagingFiles().isEmpty(), signal == SIGTERM) << "signal " << signal;
    }
    service->clearFaults();
    const test::Ran next = refreshed();
    EXPECT_EQ(next.status, 0) << next.err.toStdString();
    EXPECT_TRUE(stagingFiles().isEmpty());
}

// The agent appends standard error to a log every hour: nothing but the program's own line may
// reach it, none of Qt's diagnostics about the reply it aborted.
TEST_F(RefreshRace, StandardErrorHoldsOnlyTheProgramsOwnLine) {
    service->setFault(test::kTodayPath, {.redirectTo = otherOrigin().origin() + test::kTodayPath});
    EXPECT_EQ(QString::fromUtf8(refreshed().line()),
              u"1 [] [错误：服务器返回错误（HTTP 302）：\n]"_s);
}

} // namespace
