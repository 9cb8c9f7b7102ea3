// Draws the sample wallpapers bundled in resources/sample-wallpapers (1920x1080 JPEG):
//   velmora-sample-wallpapers <output folder>
// Every scene is made of gradients and curves, so the images are ours and compress well.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QtMath>

#include <array>
#include <cstdio>
#include <functional>

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

QLinearGradient vertical(std::initializer_list<std::pair<qreal, QColor>> stops, qreal top = 0,
                         qreal bottom = height) {
    QLinearGradient gradient(0, top, 0, bottom);
    for (const auto &[at, colour] : stops)
        gradient.setColorAt(at, colour);
    return gradient;
}

// A ridge line across the picture: the sum of a few sine waves around `base`.
QPainterPath ridge(qreal base, std::initializer_list<std::array<qreal, 3>> waves) {
    QPainterPath path(QPointF(0, height));
    for (int x = 0; x <= width; x += 8) {
        qreal y = base;
        for (const auto &[amplitude, period, phase] : waves)
            y += amplitude * qSin(x / period + phase);
        path.lineTo(x, y);
    }
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

QPainterPath peaks(qreal base, int count, qreal heightRange, quint32 seed) {
    QRandomGenerator random(seed);
    QPainterPath path(QPointF(0, height));
    path.lineTo(0, base);
    const qreal step = qreal(width) / count;
    for (int i = 0; i < count; ++i) {
        const qreal peakX = i * step + step * (0.3 + 0.4 * random.generateDouble());
        path.lineTo(peakX, base - heightRange * (0.4 + 0.6 * random.generateDouble()));
        path.lineTo((i + 1) * step, base - heightRange * 0.2 * random.generateDouble());
    }
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

void dawnHills(QPainter &p) {
    p.fillRect(0, 0, width, height,
               vertical({{0, QColor(0x2b, 0x3a, 0x67)},
                         {0.45, QColor(0xe8, 0x8d, 0x7a)},
                         {0.7, QColor(0xf7, 0xc5, 0x8b)},
                         {1, QColor(0xfb, 0xe3, 0xb0)}}));
    QRadialGradient sun(1240, 640, 260);
    sun.setColorAt(0, QColor(255, 244, 214, 255));
    sun.setColorAt(0.25, QColor(255, 226, 170, 220));
    sun.setColorAt(1, QColor(255, 200, 150, 0));
    p.fillRect(0, 0, width, height, sun);
    const QColor layers[] = {QColor(0xb5, 0x6e, 0x7a), QColor(0x8a, 0x51, 0x6b),
                             QColor(0x5c, 0x3a, 0x5a), QColor(0x33, 0x25, 0x40)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(layers[i]);
        p.drawPath(ridge(640 + i * 110,
                         {{40.0 - i * 4, 180.0 + i * 40, i * 1.3}, {18, 70.0 + i * 11, i * 0.7}}));
    }
}

void mountainLake(QPainter &p) {
    p.fillRect(0, 0, width, height,
               vertical({{0, QColor(0x0b, 0x1d, 0x3a)},
                         {0.55, QColor(0x3f, 0x7c, 0x9a)},
                         {0.62, QColor(0x9c, 0xc9, 0xd1)}},
                        0, 620));
    QRandomGenerator random(7);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 140; ++i) {
        p.setBrush(QColor(255, 255, 255, 60 + random.bounded(150)));
        const qreal r = 0.8 + random.generateDouble() * 1.6;
        p.drawEllipse(QPointF(random.bounded(width), random.bounded(330)), r, r);
    }
    const QPainterPath far = peaks(620, 7, 330, 11);
    const QPainterPath near = peaks(620, 5, 200, 23);
    p.setBrush(vertical({{0, QColor(0x5d, 0x7f, 0x96)}, {1, QColor(0x2f, 0x4b, 0x61)}}, 290, 620));
    p.drawPath(far);
    p.setBrush(vertical({{0, QColor(0x24, 0x3b, 0x4f)}, {1, QColor(0x13, 0x24, 0x33)}}, 420, 620));
    p.drawPath(near);
    // The lake mirrors the scene above it, darker and fading with depth.
    p.fillRect(
        0, 620, width, height - 620,
        vertical({{0, QColor(0x6f, 0xa3, 0xb3)}, {1, QColor(0x0d, 0x22, 0x36)}}, 620, height));
    p.save();
    p.translate(0, 1240);
    p.scale(1, -1);
    p.setClipRect(0, 160, width, 460);
    p.setOpacity(0.45);
    p.setBrush(QColor(0x2f, 0x4b, 0x61));
    p.drawPath(far);
    p.setBrush(QColor(0x13, 0x24, 0x33));
    p.drawPath(near);
    p.restore();
    p.setBrush(QColor(255, 255, 255, 28));
    for (int i = 0; i < 30; ++i)
        p.drawRect(
            QRectF(random.bounded(width), 640 + random.bounded(420), 80 + random.bounded(260), 2));
}

void desertDunes(QPainter &p) {
    p.fillRect(0, 0, width, height,
               vertical({{0, QColor(0x4a, 0x8f, 0xc7)},
                         {0.5, QColor(0xa9, 0xd4, 0xe8)},
                         {0.62, QColor(0xf4, 0xe2, 0xc4)}},
                        0, 700));
    QRadialGradient sun(420, 260, 120);
    sun.setColorAt(0, QColor(255, 255, 240));
    sun.setColorAt(0.4, QColor(255, 250, 220, 200));
    sun.setColorAt(1, QColor(255, 250, 220, 0));
    p.fillRect(0, 0, width, height, sun);
    const QColor light[] = {QColor(0xf0, 0xc2, 0x8a), QColor(0xe6, 0xa7, 0x66),
                            QColor(0xd8, 0x8c, 0x4c), QColor(0xc2, 0x70, 0x38)};
    for (int i = 0; i < 4; ++i) {
        const QPainterPath dune = ridge(600 + i * 120, {{70.0 - i * 8, 260.0 + i * 60, 0.9 * i},
                                                        {25, 120.0 + i * 20, 2.1 * i}});
        p.setBrush(vertical({{0, light[i]}, {1, light[i].darker(135)}}, 500 + i * 120, height));
        p.drawPath(dune);
    }
}

void auroraForest(QPainter &p) {
    p.fillRect(0, 0, width, height,
               vertical({{0, QColor(0x05, 0x0b, 0x1f)},
                         {0.6, QColor(0x0f, 0x2a, 0x3f)},
                         {1, QColor(0x1c, 0x3d, 0x4a)}}));
    p.setPen(Qt::NoPen);
    const QColor bands[] = {QColor(80, 255, 170, 70), QColor(60, 220, 200, 55),
                            QColor(150, 110, 255, 40)};
    for (int band = 0; band < 3; ++band) {
        for (int layer = 0; layer < 6; ++layer) {
            QPainterPath curtain;
            const qreal base = 300 + band * 70 + layer * 6;
            curtain.moveTo(0, base);
            for (int x = 0; x <= width; x += 12)
                curtain.lineTo(x, base + 90 * qSin(x / (300.0 + band * 90) + band + layer * 0.05) +
                                      30 * qSin(x / 97.0 + band));
            for (int x = width; x >= 0; x -= 12)
                curtain.lineTo(x, base - 160 + 60 * qSin(x / 210.0 + band * 2.0));
            curtain.closeSubpath();
            QColor colour = bands[band];
            colour.setAlpha(colour.alpha() / (layer + 1));
            p.setBrush(colour);
            p.drawPath(curtain);
        }
    }
    p.setBrush(QColor(0x0a, 0x1a, 0x22));
    p.drawPath(ridge(930, {{20, 230, 0.4}, {10, 90, 1.1}}));
    QRandomGenerator random(5);
    for (int i = 0; i < 70; ++i) {
        const qreal x = random.bounded(width);
        const qreal treeHeight = 120 + random.bounded(220);
        const qreal baseY = 960 + random.bounded(100);
        QPainterPath tree;
        for (int tier = 0; tier < 4; ++tier) {
            const qreal top = baseY - treeHeight + tier * treeHeight * 0.2;
            const qreal half = treeHeight * (0.12 + tier * 0.05);
            tree.moveTo(x, top);
            tree.lineTo(x - half, top + treeHeight * 0.35);
            tree.lineTo(x + half, top + treeHeight * 0.35);
            tree.closeSubpath();
        }
        tree.addRect(QRectF(x - 4, baseY - 20, 8, 40));
        p.setBrush(QColor(0x04, 0x10, 0x14));
        p.drawPath(tree);
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-sample-wallpapers <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    const std::pair<const char *, std::function<void(QPainter &)>> scenes[] = {
        {"01-dawn-hills.jpg", dawnHills},
        {"02-mountain-lake.jpg", mountainLake},
        {"03-desert-dunes.jpg", desertDunes},
        {"04-aurora-forest.jpg", auroraForest},
    };
    for (const auto &[name, draw] : scenes) {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        draw(painter);
        painter.end();
        const QString path = out.filePath(QString::fromLatin1(name));
        if (!image.save(path, "JPEG", 85)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
