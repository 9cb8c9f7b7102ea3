// GIO first: GLib's headers use identifiers that Qt's headers define as macros.
#include <gio/gio.h>

#include "GSettingsDesktop.h"

#include "LinuxDesktop.h"

#include <QFile>
#include <QFileInfo>

#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace velmora::platform {

namespace {

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
struct KeyDeleter {
    void operator()(GSettingsSchemaKey *key) const { g_settings_schema_key_unref(key); }
};
using SchemaKey = std::unique_ptr<GSettingsSchemaKey, KeyDeleter>;
struct VariantDeleter {
    void operator()(GVariant *value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

Variant variant(GVariant *floating) {
    return Variant(g_variant_ref_sink(floating));
}

Schema lookupSchema(const char *name) {
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    return Schema(source ? g_settings_schema_source_lookup(source, name, TRUE) : nullptr);
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

QString variantText(GVariant *value) {
    return QString::fromUtf8(GText(g_variant_print(value, FALSE)).get());
}

} // namespace

const GSettingsBackground GSettingsBackground::gnome = {
    "gnome", "GNOME", "org.gnome.desktop.background", "picture-uri", true, "picture-uri-dark",
    nullptr};
const GSettingsBackground GSettingsBackground::cinnamon = {
    "cinnamon", "Cinnamon", "org.cinnamon.desktop.background", "picture-uri", true,
    nullptr,    nullptr};
const GSettingsBackground GSettingsBackground::mate = {
    "mate", "MATE", "org.mate.background", "picture-filename", false, nullptr, "draw-background"};

bool GSettingsDesktop::available(const GSettingsBackground &background) {
    return lookupSchema(background.schema) != nullptr;
}

QString GSettingsDesktop::pictureOption(DesktopPlacement placement) {
    switch (placement) {
    case DesktopPlacement::Fill:
        return u"zoom"_s;
    case DesktopPlacement::Stretch:
        return u"stretched"_s;
    case DesktopPlacement::Centre:
        return u"centered"_s;
    case DesktopPlacement::Fit:
        break;
    }
    return u"scaled"_s;
}

std::vector<Screen> GSettingsDesktop::screens() const {
    return desktopWideScreens(backendName());
}

bool GSettingsDesktop::setDesktopImage(const QString &file, const Screen &,
                                       const DesktopImageOptions &options, QString *error) {
    QString ignored;
    QString &message = error ? *error : ignored;
    const QString desktop = QLatin1String(m_background.desktopName);

    const Schema schema = lookupSchema(m_background.schema);
    if (!schema) {
        message = u"系统中没有 %1 桌面背景设置（%2）。"_s.arg(desktop,
                                                              QLatin1String(m_background.schema));
        return false;
    }
    const QByteArray path = QFile::encodeName(QFileInfo(file).absoluteFilePath());
    QByteArray picture = path;
    if (m_background.pictureIsUri) {
        // GLib's own conversion: it encodes a file name's bytes as they are, whatever the locale.
        GError *failure = nullptr;
        const GText uri(g_filename_to_uri(path.constData(), nullptr, &failure));
        if (!uri) {
            message = u"无法把图片路径转换为地址：%1"_s.arg(QString::fromUtf8(failure->message));
            g_error_free(failure);
            return false;
        }
        picture = QByteArray(uri.get());
    }

    const QByteArray option = pictureOption(desktopPlacement(options)).toUtf8();
    const QByteArray colour = desktopFillColourName(options).toUtf8();
    std::vector<std::pair<const char *, Variant>> values;
    values.emplace_back(m_background.pictureKey,
                        variant(g_variant_new_string(picture.constData())));
    values.emplace_back("picture-options", variant(g_variant_new_string(option.constData())));
    values.emplace_back("primary-color", variant(g_variant_new_string(colour.constData())));
    values.emplace_back("color-shading-type", variant(g_variant_new_string("solid")));
    // GNOME 42 and later show this one whenever the dark style is on.
    if (m_background.darkPictureKey &&
        g_settings_schema_has_key(schema.get(), m_background.darkPictureKey))
        values.emplace_back(m_background.darkPictureKey,
                            variant(g_variant_new_string(picture.constData())));
    if (m_background.drawKey)
        values.emplace_back(m_background.drawKey, variant(g_variant_new_boolean(TRUE)));

    for (const auto &[name, value] : values) {
        const SchemaKey key(g_settings_schema_has_key(schema.get(), name)
                                ? g_settings_schema_get_key(schema.get(), name)
                                : nullptr);
        // Checked here, since GSettings answers a value of the wrong type by aborting.
        if (!key ||
            !g_variant_is_of_type(value.get(), g_settings_schema_key_get_value_type(key.get())) ||
            !g_settings_schema_key_range_check(key.get(), value.get())) {
            message = u"%1 桌面设置“%2”不接受值“%3”。"_s.arg(desktop, QLatin1String(name),
                                                             variantText(value.get()));
            return false;
        }
    }

    const Settings settings(g_settings_new_full(schema.get(), nullptr, nullptr));
    if (storesNothing(settings.get())) {
        message = u"%1 桌面设置无法保存：系统缺少 dconf 设置后端。"_s.arg(desktop);
        return false;
    }
    for (const auto &[name, value] : values) {
        if (!g_settings_is_writable(settings.get(), name)) {
            message = u"%1 桌面设置“%2”已被锁定，无法修改。"_s.arg(desktop, QLatin1String(name));
            return false;
        }
    }

    // One change set, so the desktop redraws once, with every key already in place.
    g_settings_delay(settings.get());
    for (const auto &[name, value] : values)
        g_settings_set_value(settings.get(), name, value.get());
    g_settings_apply(settings.get());
    g_settings_sync();

    // dconf reports a failed write only by undoing it, e.g. when no session bus is reachable.
    for (const auto &[name, value] : values) {
        const Variant stored(g_settings_get_value(settings.get(), name));
        if (!g_variant_equal(stored.get(), value.get())) {
            message = u"%1 桌面设置没有保存下来（dconf 服务或会话总线不可用）。"_s.arg(desktop);
            return false;
        }
    }
    return true;
}

} // namespace velmora::platform
