// The root-window picture painted for given monitor rectangles: where the picture lands on each
// monitor, where the bands are, and that no monitor's picture spills onto its neighbour.
#include "platform/linux/DesktopPainting.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace velmora::platform;

namespace {

constexpr QRgb kBand = 0xff0e1f29;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kBlue = 0xff0000ff;

// 2:1, left half red, right half blue: crops and offsets show as a moved colour edge.
QImage halves() {
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(kRed);
    QPainter(&picture).fillRect(100, 0, 100, 100, QColor(kBlue));
    return picture;
}

// Root 400×150. Monitor A (0,0 200×150) is taller than the picture's shape, monitor B
// (200,0 200×100) has exactly its shape; the strip below B belongs to no monitor.
const QSize kRoot(400, 150);
const std::vector<QRect> kMonitors = {QRect(0, 0, 200, 150), QRect(200, 0, 200, 100)};

struct Sample {
    QPoint at;
    QRgb colour;
};

struct PaintingCase {
    const char *name;
    bool fill;
    std::vector<Sample> samples;
};

class DesktopPainting : public ::testing::TestWithParam<PaintingCase> {};

TEST_P(DesktopPainting, LaysThePictureIntoEachMonitor) {
    DesktopImageOptions options;
    options.allowClipping = GetParam().fill;
    const QImage root = paintDesktopImage(halves(), kRoot, kMonitors, options);
    ASSERT_EQ(root.size(), kRoot);
    for (const Sample &sample : GetParam().samples)
        EXPECT_EQ(root.pixel(sample.at), sample.colour)
            << "at " << sample.at.x() << "," << sample.at.y();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DesktopPainting,
    ::testing::Values(
        // Fit: A shows 200×100 at y 25…124 with bands above and below; B is covered exactly.
        PaintingCase{"Fit",
                     false,
                     {{{100, 10}, kBand},
                      {{100, 24}, kBand},
                      {{50, 30}, kRed},
                      {{150, 120}, kBlue},
                      {{100, 125}, kBand},
                      {{100, 149}, kBand},
                      {{201, 1}, kRed},
                      {{398, 98}, kBlue},
                      {{300, 130}, kBand}}},
        // Fill: A scales to 300×150 and loses 50 columns each side, so its colour edge stays at
        // x 100 and blue reaches A's right edge; B's left column is B's own red, not A's
        // overflow.
        PaintingCase{"Fill",
                     true,
                     {{{1, 1}, kRed},
                      {{1, 148}, kRed},
                      {{98, 75}, kRed},
                      {{102, 75}, kBlue},
                      {{198, 1}, kBlue},
                      {{198, 148}, kBlue},
                      {{200, 50}, kRed},
                      {{398, 98}, kBlue},
                      {{300, 130}, kBand}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DesktopPaintingEdges, APanoramaStillShowsAsALine) {
    const QRect placed =
        placePicture(QSize(10000, 1), QRect(0, 0, 100, 100), DesktopPlacement::Fit);
    EXPECT_EQ(placed, QRect(0, 49, 100, 1));
}

} // namespace
