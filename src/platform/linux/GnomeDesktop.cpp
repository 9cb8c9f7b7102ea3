// GIO first: GLib's headers use identifiers that Qt's headers define as macros.
#include <gio/gio.h>

#include "GnomeDesktop.h"

#include "LinuxDesktop.h"

#include <QFile>
#include <QFileInfo>

#include <memory>
#include <utility>
#include <vector>

namespace velmora::platform {

namespace {

constexpr const char *kSchema = "org.gnome.desktop.background";

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
using Settings = std::unique_ptr<GSettings, GObjectDeleter>;
using GText = std::unique_ptr<gchar, GFreeDeleter>;

struct SchemaDeleter {
    void operator()(GSettingsSchema *schema) const { g_settings_schema_unref(schema); }
};
using Schema = std::unique_ptr<GSettingsSchema, SchemaDeleter>;

Schema lookupSchema() {
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    return Schema(source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr);
}

// The memory backend is what GIO falls back to when dconf's module is not installed: writes
// "succeed" and are gone when the process ends.
bool storesNothing(GSettings *settings) {
    GObject *backend = nullptr;
    g_object_get(settings, "backend", &backend, nullptr);
    const bool memory =
        backend && g_str_equal(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend");
    if (backend)
        g_object_unref(backend);
    return memory;
}

QString stringKey(GSettings *settings, const char *key) {
    return QString::fromUtf8(GText(g_settings_get_string(settings, key)).get());
}

} // namespace

bool GnomeDesktop::available() {
    return lookupSchema() != nullptr;
}

QString GnomeDesktop::pictureOption(DesktopPlacement placement) {
    switch (placement) {
    case DesktopPlacement::Fill:
        return QStringLiteral("zoom");
    case DesktopPlacement::Stretch:
        return QStringLiteral("stretched");
    case DesktopPlacement::Centre:
        return QStringLiteral("centered");
    case DesktopPlacement::Fit:
        break;
    }
    return QStringLiteral("scaled");
}

std::vector<Screen> GnomeDesktop::screens() const {
    return desktopWideScreens(backendName());
}

bool GnomeDesktop::setDesktopImage(const QString &file, const Screen &,
                                   const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;

    const Schema schema = lookupSchema();
    if (!schema) {
        message =
            QStringLiteral("系统中没有 GNOME 桌面背景设置（%1）。").arg(QLatin1String(kSchema));
        return false;
    }
    // GLib's own conversion: it encodes a file name's bytes as they are, whatever the locale.
    GError *failure = nullptr;
    const GText uri(g_filename_to_uri(
        QFile::encodeName(QFileInfo(file).absoluteFilePath()).constData(), nullptr, &failure));
    if (!uri) {
        message =
            QStringLiteral("无法把图片路径转换为地址：%1").arg(QString::fromUtf8(failure->message));
        g_error_free(failure);
        return false;
    }

    const QByteArray option = pictureOption(desktopPlacement(options)).toUtf8();
    const QByteArray colour = desktopFillColourName(options).toUtf8();
    std::vector<std::pair<const char *, QByteArray>> values = {
        {"picture-uri", QByteArray(uri.get())},
        {"picture-options", option},
        {"primary-color", colour},
        {"color-shading-type", QByteArrayLiteral("solid")},
    };
    // GNOME 42 and later show this one whenever the dark style is on.
    if (g_settings_schema_has_key(schema.get(), "picture-uri-dark"))
        values.emplace_back("picture-uri-dark", QByteArray(uri.get()));

    const Settings settings(g_settings_new_full(schema.get(), nullptr, nullptr));
    if (storesNothing(settings.get())) {
        message = QStringLiteral("GNOME 桌面设置无法保存：系统缺少 dconf 设置后端。");
        return false;
    }
    for (const auto &[key, value] : values) {
        if (!g_settings_is_writable(settings.get(), key)) {
            message =
                QStringLiteral("GNOME 桌面设置“%1”已被锁定，无法修改。").arg(QLatin1String(key));
            return false;
        }
    }

    // One change set, so the desktop redraws once, with every key already in place.
    g_settings_delay(settings.get());
    for (const auto &[key, value] : values) {
        // Enumeration keys such as picture-options are still set and read as their nick.
        if (!g_settings_set_string(settings.get(), key, value.constData())) {
            g_settings_revert(settings.get());
            message = QStringLiteral("GNOME 桌面设置“%1”不接受值“%2”。")
                          .arg(QLatin1String(key), QString::fromUtf8(value));
            return false;
        }
    }
    g_settings_apply(settings.get());
    g_settings_sync();

    // dconf reports a failed write only by undoing it, e.g. when no session bus is reachable.
    for (const auto &[key, value] : values) {
        if (stringKey(settings.get(), key) != QString::fromUtf8(value)) {
            message = QStringLiteral("GNOME 桌面设置没有保存下来（dconf 服务或会话总线不可用）。");
            return false;
        }
    }
    return true;
}

} // namespace velmora::platform
