#include "WallpaperStore.h"

#include "platform/Desktop.h"

#include <QFileInfo>

namespace velmora {

Status WallpaperStore::setDesktopWallpaper(const QString &file, DisplayMode mode) {
    if (!QFileInfo::exists(file))
        return ClientError::wallpaper(QStringLiteral("壁纸文件不存在：") + file);
    if (!m_desktop)
        m_desktop = m_makeDesktop();
    const std::vector<platform::Screen> screens =
        m_desktop ? m_desktop->screens() : std::vector<platform::Screen>();
    if (screens.empty())
        return ClientError::wallpaper(QStringLiteral("当前没有可用的显示器。"));

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
