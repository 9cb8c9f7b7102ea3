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

struct Sample {
    int x, y;
    QRgb colour;
};

// Root 400×150. Monitor A (0,0 200×150) is taller than the picture's shape, monitor B
// (200,0 200×100) has exactly its shape; the strip below B belongs to no monitor.
TEST(DesktopPainting, FitShowsAllOfThePictureAndFillCoversEachMonitor) {
    const std::pair<bool, std::vector<Sample>> modes[] = {
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
        // x 100; B's left column is B's own red, not A's overflow.
        {true,
         {{1, 148, kRed},
          {98, 75, kRed},
          {102, 75, kBlue},
          {198, 148, kBlue},
          {200, 50, kRed},
          {300, 130, kBand}}},
    };
    for (const auto &[fill, samples] : modes) {
        DesktopImageOptions options;
        options.allowClipping = fill;
        const QImage root = paintDesktopImage(
            halves(), QSize(400, 150), {QRect(0, 0, 200, 150), QRect(200, 0, 200, 100)}, options);
        ASSERT_EQ(root.size(), QSize(400, 150));
        for (const Sample &s : samples)
            EXPECT_EQ(root.pixel(s.x, s.y), s.colour)
                << (fill ? "fill" : "fit") << " at " << s.x << "," << s.y;
    }
}

} // namespace

// A 4K picture is decoded at the size a monitor shows it, upright; never above the file's own.
TEST(DesktopPainting, DecodesAtTheSizeTheMonitorShowsAndNeverLarger) {
    const struct {
        QSize stored;
        bool turned;
        QSize monitor;
        DesktopPlacement placement;
        QSize decoded;
    } rows[] = {
        {{3840, 2160}, false, {1920, 1080}, DesktopPlacement::Fit, {1920, 1080}},
        {{3840, 2160}, false, {1280, 1024}, DesktopPlacement::Fit, {1280, 720}},
        {{3840, 2160}, false, {1280, 1024}, DesktopPlacement::Fill, {1820, 1024}},
        // A portrait photograph stored on its side: the reader scales it before turning it.
        {{4000, 3000}, true, {1080, 1920}, DesktopPlacement::Fill, {1920, 1440}},
        {{1920, 1080}, false, {3840, 2160}, DesktopPlacement::Fill, {}},
        {{3840, 2160}, false, {1920, 1080}, DesktopPlacement::Centre, {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(decodingSize(row.stored, row.turned, row.monitor, row.placement), row.decoded)
            << row.stored.width() << "x" << row.stored.height() << " on " << row.monitor.width();
}
