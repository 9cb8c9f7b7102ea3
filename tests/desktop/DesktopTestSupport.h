#pragma once

// Private display and bus servers for the desktop backend tests. Each is started by the test
// that needs it and stopped when the test ends.

#include "platform/Desktop.h"
#include "platform/linux/DesktopPainting.h"
#include "support/Run.h"
#include "support/Screenshot.h"
#include "support/Server.h"
#include "support/TempDir.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace velmora::test {

// A session bus of our own. The services it starts on demand (dconf, xfconfd) inherit the
// bus's environment, not the caller's, so HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR are set —
// in this process too, since GIO's dconf client reads the database files directly — before
// the bus starts.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        // The runtime folder must be private to its owner; the others may as well be.
        for (const char *name : {"home", "config", "runtime"})
            ::mkdir(QFile::encodeName(m_dir.path(QLatin1String(name))).constData(), 0700);
        qputenv("HOME", m_dir.path(QStringLiteral("home")).toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_dir.path(QStringLiteral("runtime")).toUtf8());
        m_daemon = std::make_unique<Server>(
            "dbus-daemon", QStringLiteral("--session --nofork --print-address=1").split(u' '));
        if (!address().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_daemon->address());
    }

    // Empty when the bus did not start.
    QString address() const { return QString::fromUtf8(m_daemon->address()); }
    QString configHome() const { return m_dir.path(QStringLiteral("config")); }

private:
    TempDir m_dir;
    std::unique_ptr<Server> m_daemon;
};

// A connection of its own to an X display, as a compositor or another setter has: the root's
// properties and the pixels of the root or of a pixmap, as other programs see them.
class XProbe {
    template <typename Reply> static auto owned(Reply *reply) {
        return std::unique_ptr<Reply, void (*)(void *)>(reply, std::free);
    }

public:
    explicit XProbe(const QByteArray &display)
        : m_x(xcb_connect(display.constData(), nullptr)) {
        if (!xcb_connection_has_error(m_x))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    }
    ~XProbe() { xcb_disconnect(m_x); }

    // A property of the root, as its raw bytes.
    QByteArray property(const char *name, xcb_atom_t type) const {
        const auto atom = owned(xcb_intern_atom_reply(
            m_x, xcb_intern_atom(m_x, 0, uint16_t(qstrlen(name)), name), nullptr));
        const auto answer = owned(xcb_get_property_reply(
            m_x, xcb_get_property(m_x, 0, m_root, atom ? atom->atom : 0, type, 0, 16384), nullptr));
        if (!answer)
            return {};
        return QByteArray(static_cast<const char *>(xcb_get_property_value(answer.get())),
                          xcb_get_property_value_length(answer.get()));
    }
    // The pixmap a root property names, or 0.
    xcb_pixmap_t pixmap(const char *name) const {
        const QByteArray id = property(name, XCB_ATOM_PIXMAP);
        return id.size() == 4 ? *reinterpret_cast<const xcb_pixmap_t *>(id.constData()) : 0;
    }
    // What the root shows, windows included.
    QImage image() const { return image(m_root); }
    // What a drawable holds, in RGB32 (through RGB888, as a depth-24 server leaves the fourth
    // byte undefined); null if there is no such drawable.
    QImage image(xcb_drawable_t drawable) const {
        const auto geometry =
            owned(xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, drawable), nullptr));
        const auto reply = owned(
            geometry
                ? xcb_get_image_reply(m_x,
                                      xcb_get_image(m_x, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, 0, 0,
                                                    geometry->width, geometry->height, ~0u),
                                      nullptr)
                : nullptr);
        if (!reply)
            return {};
        return QImage(xcb_get_image_data(reply.get()), geometry->width, geometry->height,
                      QImage::Format_RGB32)
            .convertToFormat(QImage::Format_RGB888)
            .convertToFormat(QImage::Format_RGB32);
    }

private:
    xcb_connection_t *m_x;
    xcb_window_t m_root = 0;
};

inline platform::DesktopImageOptions fitOrFill(bool fill) {
    return {.allowClipping = fill};
}

// A picture whose colours change in both directions, so a wrong scale, offset or channel order
// shows in the pixels.
inline QImage landscape(const QSize &size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 60));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 250, 220));
    painter.drawEllipse(QPointF(size.width() * 0.7, size.height() * 0.35), 60, 60);
    return image;
}

// Whether a screenshot shows, on each monitor rectangle, the picture laid out as the options say:
// on a grid of points each pixel must be close to the expected one or to a neighbour of it (a
// desktop program's filter is not ours, so an edge may move by a pixel or two).
inline testing::AssertionResult showsPicture(const QImage &screenshot,
                                             const std::vector<QRect> &monitors,
                                             const QImage &picture, bool fill) {
    const auto near = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
               std::abs(a.blue() - b.blue()) < 24;
    };
    for (const QRect &monitor : monitors) {
        const QImage expected = platform::paintDesktopImage(
            picture, monitor.size(), {QRect(QPoint(), monitor.size())}, fitOrFill(fill));
        for (const double fx : {0.05, 0.3, 0.5, 0.7, 0.95})
            for (const double fy : {0.05, 0.3, 0.5, 0.7, 0.95}) {
                const QPoint at(int(monitor.width() * fx), int(monitor.height() * fy));
                const QColor seen = screenshot.pixelColor(monitor.topLeft() + at);
                bool close = false;
                for (int dx = -2; dx <= 2 && !close; ++dx)
                    for (int dy = -2; dy <= 2 && !close; ++dy)
                        close = near(expected.pixelColor(at + QPoint(dx, dy)), seen);
                if (!close)
                    return testing::AssertionFailure()
                           << (fill ? "fill" : "fit") << ": the monitor at " << monitor.x() << ","
                           << monitor.y() << " shows " << seen.name().toStdString() << " at "
                           << at.x() << "," << at.y() << " instead of "
                           << expected.pixelColor(at).name().toStdString();
            }
    }
    return testing::AssertionSuccess();
}

} // namespace velmora::test
