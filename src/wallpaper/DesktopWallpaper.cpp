#include "WallpaperStore.h"

#include "core/Text.h"
#include "platform/Desktop.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The desktop's name comes from the environment: enough for any real one, no more.
constexpr qsizetype kDesktopNameLength = 40;

} // namespace

Status WallpaperStore::setDesktopWallpaper(const QString &file, DisplayMode mode) {
    if (!QFileInfo::exists(file))
        return ClientError::wallpaper(u"壁纸文件不存在："_s + file);
    if (!m_desktop)
        m_desktop = m_makeDesktop();
    const std::vector<platform::Screen> screens =
        m_desktop ? m_desktop->screens() : std::vector<platform::Screen>();
    if (screens.empty()) {
        const QString desktop = m_desktop ? m_desktop->unsupportedDesktopName() : QString();
        if (!desktop.isEmpty())
            return ClientError::wallpaper(u"当前桌面环境（"_s +
                                          Text::displaySafe(desktop, kDesktopNameLength) +
                                          u"）不支持自动设置壁纸。"_s);
        return ClientError::wallpaper(u"当前没有可用的显示器。"_s);
    }

    platform::DesktopImageOptions options;
    options.allowClipping = mode == DisplayMode::Fill;
    for (const platform::Screen &screen : screens) {
        QString error;
        if (!m_desktop->setDesktopImage(file, screen, options, &error))
            return ClientError::wallpaper(u"设置桌面壁纸失败："_s + error);
    }
    return {};
}

} // namespace velmora
