#include "core/PlatformWords.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace Qt::StringLiterals;
using namespace velmora;

// The texts naming the platform: the Mac keeps the words its users know, Linux gets its own,
// and this build uses the Linux table.
TEST(PlatformWords, EachPlatformNamesItselfAndItsParts) {
    const auto words = [](Platform platform) {
        const PlatformWords &w = platformWords(platform);
        return QStringList{w.usageTitle.toString(),
                           w.dataDirectoryOption.toString(),
                           w.followsSystemProxy.toString(),
                           w.ignoresSystemProxy.toString(),
                           w.deviceName.toString(),
                           w.agentStartFailed.toString(),
                           w.agentCannotWrite.toString(),
                           w.agentCannotRemove.toString(),
                           w.customDataKeepsAgent.toString(),
                           w.whereTheIconIs.toString(),
                           w.iconPlace.toString()};
    };
    EXPECT_EQ(
        words(Platform::MacOS),
        (QStringList{
            u"Velmora壁纸 macOS 菜单栏客户端"_s, u"覆盖 Application Support 目录"_s,
            u"后续登记、刷新、下载、更新和推广请求将跟随 macOS 系统代理设置。"_s,
            u"后续登记、刷新、下载、更新和推广请求将忽略 macOS 系统代理，直接连接 "_s, u"macOS"_s,
            u"LaunchAgent 启动失败："_s, u"无法写入 LaunchAgent："_s, u"无法删除 LaunchAgent："_s,
            u"使用自定义 --app-data 时不会修改正式 LaunchAgent。"_s,
            u"客户端运行在屏幕右上角菜单栏的Velmora图标中，不会显示在 Dock。"_s, u"屏幕右上角"_s}));
    EXPECT_EQ(words(Platform::Linux),
              (QStringList{u"Velmora壁纸 Linux 菜单栏客户端"_s,
                           u"覆盖数据目录（默认 ~/.local/share/VelmoraWallpaper）"_s,
                           u"后续登记、刷新、下载、更新和推广请求将跟随系统代理设置。"_s,
                           u"后续登记、刷新、下载、更新和推广请求将忽略系统代理，直接连接 "_s,
                           u"Linux"_s, u"开机自动刷新服务启动失败："_s,
                           u"无法写入开机自动刷新服务："_s, u"无法删除开机自动刷新服务："_s,
                           u"使用自定义 --app-data 时不会修改正式开机自动刷新服务。"_s,
                           u"客户端运行在面板托盘区的Velmora图标中，不会显示在任务栏。"_s,
                           u"面板托盘区"_s}));
    EXPECT_EQ(&currentPlatformWords(), &platformWords(Platform::Linux));
}
