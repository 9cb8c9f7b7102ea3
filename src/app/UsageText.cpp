#include "UsageText.h"

#include "core/PlatformWords.h"

namespace velmora {

// Printed exactly as it stands, followed by one line feed.
const QString usageText = currentPlatformWords().usageTitle.toString() + QStringLiteral(R"USAGE(

用法：
  VelmoraWallpaper                 启动菜单栏客户端
  VelmoraWallpaper --refresh       拉取并设置今日壁纸后退出
  VelmoraWallpaper --register      自动登记本机（无需激活码）
  VelmoraWallpaper --status        显示激活和开机刷新状态
  VelmoraWallpaper --clear         清除本机服务凭证
  VelmoraWallpaper --startup-status
  VelmoraWallpaper --startup-enable
  VelmoraWallpaper --startup-disable
  VelmoraWallpaper --self-test   运行本地协议/安全自检
  VelmoraWallpaper --activate-invite <URI|票据>
                                     无界面关联邀请并保存服务凭证
  VelmoraWallpaper --invite-uri <URI>
                                     通过邀请链接启动并自动激活
  VelmoraWallpaper --handoff-ticket <票据>
                                     使用测试/本地启动器传入一次性票据
  VelmoraWallpaper --version       显示版本
  VelmoraWallpaper --help          显示此帮助

可选参数：
  --server <origin>                  覆盖服务器地址（正式环境必须 HTTPS；Debug 可用私有局域网地址）
  --app-data <directory>             )USAGE") +
                          currentPlatformWords().dataDirectoryOption.toString();

} // namespace velmora
