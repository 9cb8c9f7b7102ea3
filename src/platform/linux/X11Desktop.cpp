#include "X11Desktop.h"

#include "DesktopPainting.h"

#include <QFile>
#include <QImageReader>
#include <QThread>
#include <QtEndian>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

constexpr int kConnectAttempts = 20;
constexpr unsigned long kConnectRetryMs = 25;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> reply(T *raw) {
    return Reply<T>(raw, &std::free);
}

// One connection per operation: a setter must disconnect to hand its pixmap to the server, and
// a long-lived connection would make the next call's "previous setter" be this very client.
class Connection {
public:
    explicit Connection(const QByteArray &display) {
        const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
        if (name.isEmpty())
            return;
        int screenNumber = 0;
        // A bare server (Xvfb without -noreset) resets when its last client leaves and refuses
        // connections for that moment; another refresh's setter may just have left.
        for (int attempt = 0;; ++attempt) {
            m_connection = xcb_connect(name.constData(), &screenNumber);
            if (!xcb_connection_has_error(m_connection))
                break;
            if (attempt == kConnectAttempts - 1)
                return;
            xcb_disconnect(m_connection);
            m_connection = nullptr;
            QThread::msleep(kConnectRetryMs);
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; it.rem && i < screenNumber; ++i)
            xcb_screen_next(&it);
        if (it.rem) {
            m_screen = it.data;
            m_screenNumber = screenNumber;
        }
    }
    ~Connection() {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool isOpen() const { return m_screen != nullptr; }
    xcb_connection_t *get() const { return m_connection; }
    const xcb_screen_t &screen() const { return *m_screen; }
    int screenNumber() const { return m_screenNumber; }
    QSize rootSize() const { return QSize(m_screen->width_in_pixels, m_screen->height_in_pixels); }

    xcb_atom_t atom(const char *name) const {
        auto answer = reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(qstrlen(name)), name),
            nullptr));
        return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // Waits until the server has handled everything sent so far.
    void sync() const {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_connection_t *m_connection = nullptr;
    const xcb_screen_t *m_screen = nullptr;
    int m_screenNumber = 0;
};

QString displayName(const QByteArray &display) {
    return QString::fromLocal8Bit(display.isEmpty() ? qgetenv("DISPLAY") : display);
}

std::vector<Screen> randrMonitors(const Connection &x) {
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(x.get(), &xcb_randr_id);
    if (!extension || !extension->present)
        return {};
    auto version = reply(
        xcb_randr_query_version_reply(x.get(), xcb_randr_query_version(x.get(), 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 5))
        return {};
    auto monitors = reply(xcb_randr_get_monitors_reply(
        x.get(), xcb_randr_get_monitors(x.get(), x.screen().root, 1), nullptr));
    if (!monitors)
        return {};

    std::vector<Screen> screens;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t &info = *it.data;
        Screen screen;
        screen.geometry = QRect(info.x, info.y, info.width, info.height);
        auto name =
            reply(xcb_get_atom_name_reply(x.get(), xcb_get_atom_name(x.get(), info.name), nullptr));
        if (name)
            screen.name = QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                                            xcb_get_atom_name_name_length(name.get()));
        if (!screen.geometry.isEmpty())
            screens.push_back(std::move(screen));
    }
    return screens;
}

std::vector<Screen> monitorsOf(const Connection &x) {
    std::vector<Screen> screens = randrMonitors(x);
    if (screens.empty())
        screens.push_back({u"screen%1"_s.arg(x.screenNumber()), QRect(QPoint(0, 0), x.rootSize())});
    return screens;
}

// The pixmap a property of the root names, or none.
xcb_pixmap_t rootPixmapProperty(const Connection &x, xcb_atom_t property) {
    if (property == XCB_ATOM_NONE)
        return XCB_NONE;
    auto answer = reply(xcb_get_property_reply(
        x.get(), xcb_get_property(x.get(), 0, x.screen().root, property, XCB_ATOM_PIXMAP, 0, 1),
        nullptr));
    if (!answer || answer->type != XCB_ATOM_PIXMAP || answer->format != 32 ||
        xcb_get_property_value_length(answer.get()) != 4)
        return XCB_NONE;
    return *static_cast<const xcb_pixmap_t *>(xcb_get_property_value(answer.get()));
}

bool copiesIntoRoot(const Connection &x, xcb_pixmap_t pixmap) {
    if (pixmap == XCB_NONE)
        return false;
    auto geometry =
        reply(xcb_get_geometry_reply(x.get(), xcb_get_geometry(x.get(), pixmap), nullptr));
    return geometry && geometry->depth == x.screen().root_depth &&
           QSize(geometry->width, geometry->height) == x.rootSize();
}

// Only true-colour roots with 8 bits per channel in 32-bit pixels are handled: that is what
// every X server of the last two decades runs by default, Xvfb included.
bool rootTakesRgb32(const Connection &x) {
    const xcb_setup_t *setup = xcb_get_setup(x.get());
    bool thirtyTwoBits = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == x.screen().root_depth)
            thirtyTwoBits = it.data->bits_per_pixel == 32;
    if (!thirtyTwoBits)
        return false;
    for (auto depths = xcb_screen_allowed_depths_iterator(&x.screen()); depths.rem;
         xcb_depth_next(&depths))
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals))
            if (visuals.data->visual_id == x.screen().root_visual)
                return visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                       visuals.data->red_mask == 0xff0000 && visuals.data->green_mask == 0xff00 &&
                       visuals.data->blue_mask == 0xff;
    return false;
}

QString requestFailure(xcb_generic_error_t *failure) {
    const int code = failure->error_code;
    std::free(failure);
    return u"X 服务器拒绝了请求（错误代码 %1）。"_s.arg(code);
}

// Sends the image in pieces small enough for one request each.
bool upload(const Connection &x, xcb_pixmap_t pixmap, xcb_gcontext_t gc, QImage image,
            const QPoint &at, QString *error) {
    const bool serverLittleEndian =
        xcb_get_setup(x.get())->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (serverLittleEndian != (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)) {
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
            for (int i = 0; i < image.width(); ++i)
                row[i] = qbswap(row[i]);
        }
    }
    const qsizetype stride = image.bytesPerLine();
    const qsizetype maximum = qsizetype(xcb_get_maximum_request_length(x.get())) * 4 - 64;
    const int rowsPerRequest = int(std::clamp<qsizetype>(maximum / stride, 1, image.height()));
    for (int top = 0; top < image.height(); top += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, image.height() - top);
        const xcb_void_cookie_t cookie = xcb_put_image_checked(
            x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(image.width()), uint16_t(rows),
            int16_t(at.x()), int16_t(at.y() + top), 0, x.screen().root_depth,
            uint32_t(stride * rows), image.constScanLine(top));
        if (xcb_generic_error_t *failure = xcb_request_check(x.get(), cookie)) {
            *error = requestFailure(failure);
            return false;
        }
    }
    return true;
}

// What a monitor shows, precisely enough to tell that asking for it again would change nothing:
// the rectangle, the placement, the band colour and the file's identity. Files are replaced by
// renaming a new one over them, which gives a new inode; the modification time is no help, as
// the cache touches the file it applies.
QByteArray pictureSignature(const QString &file, const QRect &monitor,
                            const DesktopImageOptions &options) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return {};
    return u"%1,%2,%3,%4 %5 %6 %7,%8,%9 %10:%11:%12 %13"_s.arg(monitor.x())
        .arg(monitor.y())
        .arg(monitor.width())
        .arg(monitor.height())
        .arg(options.imageScaling)
        .arg(options.allowClipping ? 1 : 0)
        .arg(options.fillRed)
        .arg(options.fillGreen)
        .arg(options.fillBlue)
        .arg(qulonglong(info.st_dev))
        .arg(qulonglong(info.st_ino))
        .arg(qlonglong(info.st_size))
        .arg(file)
        .toUtf8();
}

// The record of what this client painted into the current root pixmap: the pixmap's id on the
// first line, one signature per monitor after it. Only valid while that pixmap is still the
// published one.
QList<QByteArray> paintedRecord(const Connection &x, xcb_atom_t property, xcb_pixmap_t current) {
    if (property == XCB_ATOM_NONE || current == XCB_NONE)
        return {};
    auto answer = reply(xcb_get_property_reply(
        x.get(), xcb_get_property(x.get(), 0, x.screen().root, property, XCB_ATOM_STRING, 0, 16384),
        nullptr));
    if (!answer || answer->type != XCB_ATOM_STRING || answer->format != 8)
        return {};
    const QByteArray text(static_cast<const char *>(xcb_get_property_value(answer.get())),
                          xcb_get_property_value_length(answer.get()));
    QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.takeFirst() != QByteArray::number(current))
        return {};
    return lines;
}

// Signatures of other monitors with the same rectangle are superseded by the new one.
QByteArray updatedRecord(xcb_pixmap_t pixmap, const QList<QByteArray> &kept,
                         const QByteArray &signature) {
    const QByteArray rectangle = signature.left(signature.indexOf(' ') + 1);
    QByteArray text = QByteArray::number(pixmap);
    for (const QByteArray &line : kept) {
        if (!line.isEmpty() && !line.startsWith(rectangle))
            text += '\n' + line;
    }
    if (!signature.isEmpty())
        text += '\n' + signature;
    return text;
}

} // namespace

std::vector<Screen> x11Monitors(const QByteArray &display) {
    const Connection x(display);
    return x.isOpen() ? monitorsOf(x) : std::vector<Screen>{};
}

X11Desktop::X11Desktop(QByteArray display)
    : m_display(std::move(display)) {}

std::vector<Screen> X11Desktop::screens() const {
    return x11Monitors(m_display);
}

bool X11Desktop::setDesktopImage(const QString &file, const Screen &screen,
                                 const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;

    const Connection x(m_display);
    if (!x.isOpen()) {
        message = u"无法连接到 X 显示服务器“%1”。"_s.arg(displayName(m_display));
        return false;
    }
    if (!rootTakesRgb32(x)) {
        message = u"不支持当前显示器的颜色格式（%1 位色深）。"_s.arg(x.screen().root_depth);
        return false;
    }
    const QRect root(QPoint(0, 0), x.rootSize());
    const QRect monitor = screen.geometry.isEmpty() ? root : screen.geometry & root;
    if (monitor.isEmpty()) {
        message = u"显示器“%1”不在当前桌面范围内。"_s.arg(screen.name);
        return false;
    }

    const xcb_atom_t rootPixmapAtom = x.atom("_XROOTPMAP_ID");
    const xcb_atom_t esetrootAtom = x.atom("ESETROOT_PMAP_ID");
    const xcb_pixmap_t previous = rootPixmapProperty(x, rootPixmapAtom);
    const bool keepOthers = copiesIntoRoot(x, previous);

    // The hourly refresh asks for the same picture again and again: when this monitor already
    // shows exactly it, there is nothing to decode, scale or upload.
    const xcb_atom_t recordAtom = x.atom("_VELMORA_WALLPAPER");
    const QList<QByteArray> painted = paintedRecord(x, recordAtom, previous);
    const QByteArray signature = pictureSignature(file, monitor, options);
    if (!signature.isEmpty() && painted.contains(signature))
        return true;

    QImageReader reader(file);
    reader.setAutoTransform(true); // photographs often carry their orientation in Exif
    // A 4K photograph on a smaller monitor is never held at full size: JPEG's decoder scales
    // while it decodes.
    reader.setScaledSize(decodingSize(
        reader.size(), reader.transformation().testFlag(QImageIOHandler::TransformationRotate90),
        monitor.size(), desktopPlacement(options)));
    const QImage picture = reader.read();
    if (picture.isNull()) {
        message = u"无法读取图片文件：%1（%2）"_s.arg(file, reader.errorString());
        return false;
    }

    const xcb_pixmap_t pixmap = xcb_generate_id(x.get());
    if (xcb_generic_error_t *failure = xcb_request_check(
            x.get(),
            xcb_create_pixmap_checked(x.get(), x.screen().root_depth, pixmap, x.screen().root,
                                      uint16_t(root.width()), uint16_t(root.height())))) {
        message = requestFailure(failure);
        return false;
    }
    const xcb_gcontext_t gc = xcb_generate_id(x.get());
    xcb_create_gc(x.get(), gc, pixmap, 0, nullptr);

    bool uploaded = false;
    if (keepOthers) {
        xcb_copy_area(x.get(), previous, pixmap, gc, 0, 0, 0, 0, uint16_t(root.width()),
                      uint16_t(root.height()));
        const QImage painted = paintDesktopImage(picture, monitor.size(),
                                                 {QRect(QPoint(0, 0), monitor.size())}, options);
        uploaded = upload(x, pixmap, gc, painted, monitor.topLeft(), &message);
    } else {
        uploaded =
            upload(x, pixmap, gc, paintDesktopImage(picture, root.size(), {monitor}, options),
                   QPoint(0, 0), &message);
    }
    xcb_free_gc(x.get(), gc);
    if (!uploaded) {
        xcb_free_pixmap(x.get(), pixmap);
        return false;
    }

    // Reading the published pixmap, publishing ours and freeing the one left behind is one step
    // under a server grab: two setters painting at once would otherwise both find the same
    // previous pixmap, and the one published first would never be freed (its client retained
    // for ever, until the server runs out of client slots).
    xcb_grab_server(x.get());
    const xcb_pixmap_t published = rootPixmapProperty(x, rootPixmapAtom);
    const bool publishedLeftBehind =
        published != XCB_NONE && published == rootPixmapProperty(x, esetrootAtom);
    for (xcb_atom_t property : {rootPixmapAtom, esetrootAtom}) {
        if (xcb_generic_error_t *failure = xcb_request_check(
                x.get(),
                xcb_change_property_checked(x.get(), XCB_PROP_MODE_REPLACE, x.screen().root,
                                            property, XCB_ATOM_PIXMAP, 32, 1, &pixmap))) {
            xcb_ungrab_server(x.get());
            xcb_free_pixmap(x.get(), pixmap);
            message = requestFailure(failure);
            return false;
        }
    }
    const QByteArray record =
        updatedRecord(pixmap, keepOthers ? painted : QList<QByteArray>(), signature);
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, x.screen().root, recordAtom,
                        XCB_ATOM_STRING, 8, uint32_t(record.size()), record.constData());
    xcb_change_window_attributes(x.get(), x.screen().root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(x.get(), 0, x.screen().root, 0, 0, 0, 0);

    // Both properties naming one pixmap is the setters' sign that its owner has gone and left it
    // to the server; freeing it is then up to the next setter. A pixmap only in _XROOTPMAP_ID
    // belongs to a live program (a desktop or a compositor) and is left alone. Any copy from it
    // was sent before this, so the server has finished with it.
    if (publishedLeftBehind)
        xcb_kill_client(x.get(), published);
    // The grab ends with this connection, not before: the next setter must find this client
    // gone. Killing a client that is still connected after choosing to retain its resources
    // would leave them retained for ever, with nothing left to say whose they are.
    xcb_set_close_down_mode(x.get(), XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    x.sync();
    return true;
}

} // namespace velmora::platform
