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

struct SelectionCase {
    const char *currentDesktop;
    const char *desktopSession;
    const char *display;
    std::set<Kind> available;
    Kind expected;
};

const Kind G = Kind::Gnome, P = Kind::Plasma, X = Kind::Xfce;

class DesktopSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(DesktopSelection, PicksTheFirstNamedDesktopThatCanBeReached) {
    const SelectionCase &c = GetParam();
    std::vector<Kind> asked;
    const Kind chosen =
        selectDesktopBackend({QString::fromUtf8(c.currentDesktop),
                              QString::fromUtf8(c.desktopSession), QString::fromUtf8(c.display)},
                             [&](Kind kind) {
                                 asked.push_back(kind);
                                 return c.available.count(kind) > 0;
                             });
    EXPECT_EQ(chosen, c.expected);
    // Probing costs a bus round trip or a file lookup: desktops nobody named are not probed.
    const std::vector<Kind> named = namedDesktopFamilies(
        {QString::fromUtf8(c.currentDesktop), QString::fromUtf8(c.desktopSession), {}});
    for (Kind kind : asked)
        EXPECT_NE(std::find(named.begin(), named.end(), kind), named.end());
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DesktopSelection,
    ::testing::Values(SelectionCase{"GNOME", "", ":0", {G, P, X}, G},
                      SelectionCase{"ubuntu:GNOME", "ubuntu", ":0", {G}, G},
                      SelectionCase{"X-Cinnamon", "cinnamon", ":0", {G}, G},
                      SelectionCase{"pantheon", "", ":0", {G}, G},
                      SelectionCase{"KDE", "plasma", ":0", {G, P, X}, P},
                      SelectionCase{"kde", "", "", {P}, P},
                      SelectionCase{"XFCE", "xfce", ":0", {G, P, X}, X},
                      // Named but not reachable: the root window is what is left, given a display.
                      SelectionCase{"GNOME", "", ":0", {P, X}, Kind::X11},
                      SelectionCase{"KDE", "", "", {G, X}, Kind::None},
                      // Order of XDG_CURRENT_DESKTOP decides between two reachable families.
                      SelectionCase{"KDE:GNOME", "", ":0", {G, P}, P},
                      SelectionCase{"KDE:GNOME", "", ":0", {G}, G},
                      // DESKTOP_SESSION only when XDG_CURRENT_DESKTOP names nothing known.
                      SelectionCase{"", "plasmawayland", "", {P}, P},
                      SelectionCase{"", "/usr/share/xsessions/xfce", ":1", {X}, X},
                      SelectionCase{"i3", "gnome", ":1", {G}, G},
                      SelectionCase{"XFCE", "plasma", "", {P}, Kind::None},
                      // Bare window managers and servers without a desktop.
                      SelectionCase{"i3", "i3", ":1", {G, P, X}, Kind::X11},
                      SelectionCase{"sway", "sway", "", {G, P, X}, Kind::None},
                      SelectionCase{"", "", "", {G, P, X}, Kind::None}));

TEST(DesktopFillColour, RoundsEachChannelOfTheBandColour) {
    // 14.025, 30.6 and 40.8: truncating would give #0e1e28.
    EXPECT_EQ(desktopFillColourName(DesktopImageOptions{}), QStringLiteral("#0e1f29"));
    DesktopImageOptions extremes;
    extremes.fillRed = 1.5;
    extremes.fillGreen = 0.5; // 127.5
    extremes.fillBlue = -0.5;
    EXPECT_EQ(desktopFillColourName(extremes), QStringLiteral("#ff8000"));
}

// Which of xfdesktop's property groups setting one screen writes.
TEST(XfceGroups, AScreensOwnMonitorElseEveryGroupElseAFirstOne) {
    const QStringList properties = {
        QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/last-image"),
        QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0/image-style"),
        QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1/last-image"),
        QStringLiteral("/backdrop/screen0/monitorHDMI-10/workspace0/last-image"),
        QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0/last-image"),
        QStringLiteral("/backdrop/single-workspace-mode"),
    };
    using velmora::platform::XfceDesktop;
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, QStringLiteral("HDMI-1")),
              QStringList({QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace0"),
                           QStringLiteral("/backdrop/screen0/monitorHDMI-1/workspace1")}));
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, QStringLiteral("DP-3")).size(), 4);
    EXPECT_EQ(XfceDesktop::groupsToSet(properties, QString()).size(), 4);
    EXPECT_EQ(XfceDesktop::groupsToSet({}, QStringLiteral("Virtual-1")),
              QStringList{QStringLiteral("/backdrop/screen0/monitorVirtual-1/workspace0")});
    EXPECT_EQ(XfceDesktop::groupsToSet({}, QStringLiteral("xfce")),
              QStringList{QStringLiteral("/backdrop/screen0/monitor0/workspace0")});
}

} // namespace
