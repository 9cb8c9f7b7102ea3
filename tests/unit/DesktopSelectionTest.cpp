// Which desktop backend a session gets, from what its environment says and what is running.
#include "platform/Desktop.h"
#include "platform/linux/PcmanfmDesktop.h"
#include "platform/linux/XfceDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>

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
        {{"GNOME", "", ":0", "x11", ""}, {P, X}, U},
        {{"XFCE", "plasma", "", "", ""}, {P}, U},
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

} // namespace
