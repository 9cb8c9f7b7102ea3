// The desktop backends' parts that need no desktop: which backend a session gets, from what its
// environment says and what is running; how the sway backend talks over the IPC; and the
// root-window picture painted for given monitor rectangles.
#include "platform/Desktop.h"
#include "platform/linux/DesktopPainting.h"
#include "platform/linux/PcmanfmDesktop.h"
#include "platform/linux/SwayDesktop.h"
#include "platform/linux/XfceDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QPainter>

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <thread>

using namespace Qt::StringLiterals;
using namespace velmora::platform;

namespace {

using Kind = DesktopBackendKind;

// The environment, what can be reached, and the choice: one row per distinct outcome.
TEST(DesktopSelection, PicksTheFirstNamedDesktopThatCanBeReached) {
    const Kind G = Kind::Gnome, C = Kind::Cinnamon, M = Kind::Mate, P = Kind::Plasma,
               X = Kind::Xfce, Q = Kind::Lxqt, D = Kind::Lxde, S = Kind::Sway,
               U = Kind::Unsupported;
    const std::set<Kind> all = {G, C, M, P, X, Q, D, S};
    // XDG_CURRENT_DESKTOP, DESKTOP_SESSION, DISPLAY, XDG_SESSION_TYPE, WAYLAND_DISPLAY.
    const std::tuple<DesktopSession, std::set<Kind>, Kind> cases[] = {
        {{"ubuntu:GNOME", "ubuntu", ":0", "x11", ""}, all, G},
        // Cinnamon reads its own schema; GNOME's being there too changes nothing.
        {{"X-Cinnamon", "cinnamon", ":0", "x11", ""}, {G, C}, C},
        {{"MATE", "mate", ":0", "x11", ""}, {G, M}, M},
        {{"LXQt", "lxqt", ":0", "x11", ""}, {Q, D}, Q},
        {{"", "LXDE", ":0", "", ""}, {D}, D},
        // The order of XDG_CURRENT_DESKTOP decides between two reachable families.
        {{"KDE:GNOME", "", ":0", "", ""}, {G, P}, P},
        {{"KDE:GNOME", "", ":0", "", ""}, {G}, G},
        // DESKTOP_SESSION only when XDG_CURRENT_DESKTOP names nothing known.
        {{"", "/usr/share/xsessions/xfce", ":1", "", ""}, {X}, X},
        // A named desktop draws over the root window: out of reach means unsupported.
        {{"XFCE", "plasma", ":0", "x11", ""}, {P}, U},
        // A bare window manager shows the root window.
        {{"i3", "i3", ":1", "x11", ""}, all, Kind::X11},
        {{"", "", "", "tty", ""}, all, Kind::None},
        // Wayland: sway's IPC, named or not; never XWayland's root.
        {{"", "", ":0", "", "wayland-1"}, {S}, S},
        {{"sway", "", ":0", "wayland", "wayland-1"}, {G}, U},
        {{"Hyprland", "", ":1", "wayland", ""}, {G, P, X}, U},
    };
    for (const auto &[environment, available, expected] : cases) {
        const std::string row = (environment.currentDesktop + u' ' + environment.desktopSession +
                                 u' ' + environment.sessionType)
                                    .toStdString();
        // Probing costs a bus round trip or a process lookup: desktops nobody named are not
        // probed, but for sway's socket in a Wayland session.
        std::vector<Kind> probed = namedDesktopFamilies(environment);
        if (isWaylandSession(environment))
            probed.push_back(S);
        EXPECT_EQ(selectDesktopBackend(environment,
                                       [&](Kind kind) {
                                           EXPECT_NE(std::ranges::find(probed, kind), probed.end())
                                               << row;
                                           return available.count(kind) > 0;
                                       }),
                  expected)
            << row;
    }
}

// The desktop process of pcmanfm-qt or pcmanfm, told from its command line, with the profile
// whose settings it keeps.
TEST(DesktopSelection, PcmanfmDesktopProcessesAndTheirProfiles) {
    using std::literals::string_view_literals::operator""sv;
    const std::tuple<std::string_view, const char *, std::optional<QString>> cases[] = {
        {"pcmanfm-qt\0--desktop\0--profile=lxqt"sv, "pcmanfm-qt", u"lxqt"_s},
        {"/usr/bin/pcmanfm\0--desktop\0-p\0LXDE"sv, "pcmanfm", u"LXDE"_s},
        {"pcmanfm-qt\0--desktop"sv, "pcmanfm-qt", u"default"_s},
        {"pcmanfm-qt\0-d"sv, "pcmanfm-qt", std::nullopt}, // the daemon mode, no desktop
        {"pcmanfm-qt\0--desktop"sv, "pcmanfm", std::nullopt},
    };
    for (const auto &[commandLine, program, profile] : cases)
        EXPECT_EQ(PcmanfmDesktop::desktopProfile(
                      QByteArray(commandLine.data(), qsizetype(commandLine.size())), program),
                  profile)
            << program;
}

// Which of xfdesktop's property groups setting one screen writes: the screen's own monitor
// (not one whose name merely starts the same) on every workspace in use, and every group when
// the monitor has none yet.
TEST(XfceGroups, AScreensOwnMonitorOnEveryWorkspaceInUse) {
    const QString prefix = u"/backdrop/screen0/monitor"_s;
    const QStringList properties = {
        prefix + u"HDMI-1/workspace0/last-image"_s, prefix + u"HDMI-1/workspace0/image-style"_s,
        prefix + u"HDMI-1/workspace1/last-image"_s, prefix + u"HDMI-10/workspace0/last-image"_s,
        u"/backdrop/single-workspace-mode"_s};
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, u"HDMI-1"_s),
              QStringList({prefix + u"HDMI-1/workspace0"_s, prefix + u"HDMI-1/workspace1"_s}));
    // A monitor plugged in since xfdesktop last wrote: its own groups on the workspaces in use.
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, u"DP-3"_s).mid(3),
              QStringList({prefix + u"DP-3/workspace0"_s, prefix + u"DP-3/workspace1"_s}));
    EXPECT_EQ(XfceDesktop::groupsToSet({}, u"Virtual-1"_s),
              QStringList{prefix + u"Virtual-1/workspace0"_s});
}

// The sway backend's side of the IPC, against a stand-in socket that records the request and
// answers as told: sway's framing, and that an answer is success only when every part of it
// says so. What sway itself makes of the command is shown against the real sway.
QByteArray frame(const QByteArray &magic, quint32 type, const QByteArray &payload) {
    const quint32 header[] = {quint32(payload.size()), type};
    return magic + QByteArray(reinterpret_cast<const char *>(header), sizeof header) + payload;
}

TEST(SwayDesktopTest, SendsOneFramedCommandAndReportsWhatSwayRefused) {
    const velmora::test::TempDir temp;
    const QString file = temp.path(u"a.png"_s);
    ASSERT_TRUE(velmora::test::writeFile(file, "png"));
    const DesktopImageOptions fill{.allowClipping = true};

    // sway's reply, and the error the user is shown (empty: success).
    const std::pair<QByteArray, QString> rows[] = {
        {frame("i3-ipc", 0, R"([{"success": true}])"), {}},
        {frame("i3-ipc", 0,
               R"([{"success": true}, {"success": false, "error": "Unknown\n\tcommand"}])"),
         u"sway 没有接受壁纸设置：Unknown command"_s},
        {frame("i3-ipx", 0, R"([{"success": true}])"), u"sway 的回应无法识别。"_s},
        {"", u"sway 没有回应壁纸设置。"_s},
    };
    QLocalServer server;
    ASSERT_TRUE(server.listen(temp.path(u"ipc.sock"_s)));
    const QByteArray command = SwayDesktop::backgroundCommand(file, fill);
    for (const auto &[reply, refusal] : rows) {
        std::thread setter([&] {
            QString error;
            const bool set =
                SwayDesktop(server.fullServerName()).setDesktopImage(file, {}, fill, &error);
            EXPECT_EQ(set, refusal.isEmpty());
            EXPECT_EQ(error, refusal);
        });
        ASSERT_TRUE(server.waitForNewConnection(5000));
        QLocalSocket *peer = server.nextPendingConnection();
        QByteArray request;
        while (request.size() < 14 + command.size() && peer->waitForReadyRead(5000))
            request += peer->readAll();
        peer->write(reply);
        peer->waitForBytesWritten(5000);
        peer->disconnectFromServer();
        setter.join();
        EXPECT_EQ(request, frame("i3-ipc", 0, command));
    }
}

// The root-window picture: where the picture lands on each monitor, where the bands are, and
// that no monitor's picture spills onto its neighbour.
constexpr QRgb kBand = 0xff0e1f29;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kBlue = 0xff0000ff;

// Root 400×150. Monitor A (0,0 200×150) is taller than the picture's shape, monitor B
// (200,0 200×100) has exactly its shape; the strip below B belongs to no monitor.
TEST(DesktopPainting, FitShowsAllOfThePictureAndFillCoversEachMonitor) {
    // 2:1, left half red, right half blue: crops and offsets show as a moved colour edge.
    QImage halves(200, 100, QImage::Format_RGB32);
    halves.fill(kRed);
    QPainter(&halves).fillRect(100, 0, 100, 100, QColor(kBlue));
    // Points of the root and the colour each must have.
    const std::pair<bool, std::vector<std::tuple<int, int, QRgb>>> modes[] = {
        // Fit: A shows 200×100 at y 25…124 with bands above and below; B is covered exactly.
        {false,
         {{100, 24, kBand},
          {50, 30, kRed},
          {150, 120, kBlue},
          {100, 125, kBand},
          {201, 1, kRed},
          {398, 98, kBlue},
          {300, 130, kBand}}},
        // Fill: A scales to 300×150 and loses 50 columns each side, so its colour edge stays at
        // x 100; neither B's left column nor the strip below it shows A's overflow.
        {true,
         {{1, 148, kRed},
          {98, 75, kRed},
          {102, 75, kBlue},
          {198, 148, kBlue},
          {200, 50, kRed},
          {210, 130, kBand}}},
    };
    for (const auto &[fill, samples] : modes) {
        const QImage root = paintDesktopImage(halves, QSize(400, 150),
                                              {QRect(0, 0, 200, 150), QRect(200, 0, 200, 100)},
                                              {.allowClipping = fill});
        ASSERT_EQ(root.size(), QSize(400, 150));
        for (const auto &[x, y, colour] : samples)
            EXPECT_EQ(root.pixel(x, y), colour)
                << (fill ? "fill" : "fit") << " at " << x << "," << y;
    }
}

// A 4K picture is decoded at the size a monitor shows it, upright; never above the file's own.
TEST(DesktopPainting, DecodesAtTheSizeTheMonitorShowsAndNeverLarger) {
    // The file's size, whether it is stored on its side, the monitor, the placement, and the
    // size to decode at (empty: the file's own).
    const std::tuple<QSize, bool, QSize, DesktopPlacement, QSize> rows[] = {
        {{3840, 2160}, false, {1280, 1024}, DesktopPlacement::Fit, {1280, 720}},
        {{3840, 2160}, false, {1280, 1024}, DesktopPlacement::Fill, {1820, 1024}},
        // A portrait photograph stored on its side: the reader scales it before turning it.
        {{4000, 3000}, true, {1080, 1920}, DesktopPlacement::Fill, {1920, 1440}},
        {{1920, 1080}, false, {3840, 2160}, DesktopPlacement::Fill, {}},
        {{3840, 2160}, false, {1920, 1080}, DesktopPlacement::Centre, {}},
    };
    for (const auto &[stored, turned, monitor, placement, decoded] : rows)
        EXPECT_EQ(decodingSize(stored, turned, monitor, placement), decoded)
            << stored.width() << "x" << stored.height() << " on " << monitor.width();
}

} // namespace
