#include "WallpaperStore.h"

#include "core/Text.h"
#include "platform/Desktop.h"

#include <QFileInfo>

namespace velmora {

namespace {

// The desktop's name comes from the environment: enough for any real one, no more.
constexpr qsizetype kDesktopNameLength = 40;

} // namespace

Status WallpaperStore::setDesktopWallpaper(const QString &file, DisplayMode mode) {
    if (!QFileInfo::exists(file))
        return ClientError::wallpaper(QStringLiteral("壁纸文件不存在：") + file);
    if (!m_desktop)
        m_desktop = m_makeDesktop();
    const std::vector<platform::Screen> screens =
        m_desktop ? m_desktop->screens() : std::vector<platform::Screen>();
    if (screens.empty()) {
        const QString desktop = m_desktop ? m_desktop->unsupportedDesktopName() : QString();
        if (!desktop.isEmpty())
            return ClientError::wallpaper(QStringLiteral("当前桌面环境（") +
                                          Text::displaySafe(desktop, kDesktopNameLength) +
                                          QStringLiteral("）不支持自动设置壁纸。"));
        return ClientError::wallpaper(QStringLiteral("当前没有可用的显示器。"));
    }

    platform::DesktopImageOptions options;
    options.allowClipping = mode == DisplayMode::Fill;
    for (const platform::Screen &screen : screens) {
        QString error;
        if (!m_desktop->setDesktopImage(file, screen, options, &error))
            return ClientError::wallpaper(QStringLiteral("设置桌面壁纸失败：") + error);
    }
    return {};
}

} // namespace velmora
