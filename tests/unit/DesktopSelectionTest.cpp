// Which desktop backend a session gets, from what its environment says and what is running.
#include "platform/Desktop.h"
#include "platform/linux/XfceDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace velmora::platform;

namespace {

using Kind = DesktopBackendKind;

// XDG_CURRENT_DESKTOP, DESKTOP_SESSION and DISPLAY, what can be reached, and the choice.
TEST(DesktopSelection, PicksTheFirstNamedDesktopThatCanBeReached) {
    const Kind G = Kind::Gnome, P = Kind::Plasma, X = Kind::Xfce;
    const std::tuple<const char *, const char *, const char *, std::set<Kind>, Kind> cases[] = {
        {"ubuntu:GNOME", "ubuntu", ":0", {G, P, X}, G},
        {"X-Cinnamon", "cinnamon", ":0", {G}, G},
        // Named but not reachable: the root window is what is left, given a display.
        {"GNOME", "", ":0", {P, X}, Kind::X11},
        // The order of XDG_CURRENT_DESKTOP decides between two reachable families.
        {"KDE:GNOME", "", ":0", {G, P}, P},
        {"KDE:GNOME", "", ":0", {G}, G},
        // DESKTOP_SESSION only when XDG_CURRENT_DESKTOP names nothing known.
        {"", "/usr/share/xsessions/xfce", ":1", {X}, X},
        {"XFCE", "plasma", "", {P}, Kind::None},
        {"i3", "i3", ":1", {G, P, X}, Kind::X11},
    };
    for (const auto &[current, session, display, available, expected] : cases) {
        const DesktopSession environment{QString::fromUtf8(current), QString::fromUtf8(session),
                                         QString::fromUtf8(display)};
        std::vector<Kind> asked;
        EXPECT_EQ(selectDesktopBackend(environment,
                                       [&](Kind kind) {
                                           asked.push_back(kind);
                                           return available.count(kind) > 0;
                                       }),
                  expected)
            << current << " " << session;
        // Probing costs a bus round trip or a file lookup: desktops nobody named are not probed.
        const std::vector<Kind> named = namedDesktopFamilies(environment);
        for (Kind kind : asked)
            EXPECT_NE(std::find(named.begin(), named.end(), kind), named.end()) << current;
    }
}

// Which of xfdesktop's property groups setting one screen writes: the screen's own monitor
// (not one whose name merely starts the same) on every workspace in use, and every group when
// the monitor has none yet.
TEST(XfceGroups, AScreensOwnMonitorOnEveryWorkspaceInUse) {
    const QString prefix = QStringLiteral("/backdrop/screen0/monitor");
    const QStringList properties = {prefix + QStringLiteral("HDMI-1/workspace0/last-image"),
                                    prefix + QStringLiteral("HDMI-1/workspace0/image-style"),
                                    prefix + QStringLiteral("HDMI-1/workspace1/last-image"),
                                    prefix + QStringLiteral("HDMI-10/workspace0/last-image"),
                                    QStringLiteral("/backdrop/single-workspace-mode")};
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, QStringLiteral("HDMI-1")),
              QStringList({prefix + QStringLiteral("HDMI-1/workspace0"),
                           prefix + QStringLiteral("HDMI-1/workspace1")}));
    // A monitor plugged in since xfdesktop last wrote: its own groups on the workspaces in use.
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, QStringLiteral("DP-3")).mid(3),
              QStringList({prefix + QStringLiteral("DP-3/workspace0"),
                           prefix + QStringLiteral("DP-3/workspace1")}));
    EXPECT_EQ(XfceDesktop::groupsToSet({}, QStringLiteral("Virtual-1")),
              QStringList{prefix + QStringLiteral("Virtual-1/workspace0")});
}

} // namespace
