#pragma once

#include <QString>
#include <QStringView>

namespace velmora {

enum class Platform { MacOS, Linux };

#ifdef Q_OS_MACOS
inline constexpr Platform currentPlatform = Platform::MacOS;
#else
inline constexpr Platform currentPlatform = Platform::Linux;
#endif

// The user-visible words that name the platform or a part of it, one table per platform; the
// build uses its own. Every entry is constant data, so the table may be read while other
// static data is still being made.
struct PlatformWords {
    QStringView usageTitle;          // the usage text's first line
    QStringView dataDirectoryOption; // what the usage text says "--app-data" replaces
    QStringView followsSystemProxy;  // the confirmation of "follow the system proxy"
    QStringView ignoresSystemProxy;  // the same for "direct", followed by the host and "。"
    QStringView deviceName;          // the device name when the machine gives none
    QStringView agentStartFailed;    // prefixes of the login agent's errors, ending in "："
    QStringView agentCannotWrite;
    QStringView agentCannotRemove;
    QStringView customDataKeepsAgent; // why a private data directory leaves the agent alone
    QStringView whereTheIconIs;       // the greeting's first sentence: where the client lives
    QStringView iconPlace;            // where to click, before "的Velmora图标"
};

const PlatformWords &platformWords(Platform platform);

inline const PlatformWords &currentPlatformWords() {
    return platformWords(currentPlatform);
}

} // namespace velmora
