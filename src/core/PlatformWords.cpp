#include "PlatformWords.h"

namespace velmora {

namespace {

constexpr PlatformWords kMacOS{
    u"Velmora壁纸 macOS 菜单栏客户端",
    u"覆盖 Application Support 目录",
    u"后续登记、刷新、下载、更新和推广请求将跟随 macOS 系统代理设置。",
    u"后续登记、刷新、下载、更新和推广请求将忽略 macOS 系统代理，直接连接 ",
    u"macOS",
    u"LaunchAgent 启动失败：",
    u"无法写入 LaunchAgent：",
    u"无法删除 LaunchAgent：",
    u"使用自定义 --app-data 时不会修改正式 LaunchAgent。",
    u"客户端运行在屏幕右上角菜单栏的Velmora图标中，不会显示在 Dock。",
    u"屏幕右上角",
};

constexpr PlatformWords kLinux{
    u"Velmora壁纸 Linux 菜单栏客户端",
    u"覆盖数据目录（默认 ~/.local/share/VelmoraWallpaper）",
    u"后续登记、刷新、下载、更新和推广请求将跟随系统代理设置。",
    u"后续登记、刷新、下载、更新和推广请求将忽略系统代理，直接连接 ",
    u"Linux",
    u"开机自动刷新服务启动失败：",
    u"无法写入开机自动刷新服务：",
    u"无法删除开机自动刷新服务：",
    u"使用自定义 --app-data 时不会修改正式开机自动刷新服务。",
    u"客户端运行在面板托盘区的Velmora图标中，不会显示在任务栏。",
    u"面板托盘区",
};

} // namespace

const PlatformWords &platformWords(Platform platform) {
    return platform == Platform::MacOS ? kMacOS : kLinux;
}

} // namespace velmora
