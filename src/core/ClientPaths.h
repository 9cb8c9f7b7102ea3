#pragma once

#include "Result.h"

#include <QString>

#include <optional>

namespace velmora {

// Every location of the client's per-user data directory. A plain value: building one touches
// nothing on disk; ensure() creates the directory tree.
class ClientPaths {
public:
    // The root is `root` when given (--app-data), else $VELMORA_MAC_APPDATA when set and not
    // empty, else defaultRoot(). It is made absolute against the working directory and cleaned.
    explicit ClientPaths(const std::optional<QString> &root = std::nullopt);

    // The default data directory, computed on each call: the per-user application data folder
    // (~/.local/share on Linux, ~/Library/Application Support on macOS) + "VelmoraWallpaper".
    static QString defaultRoot();
    // Refuses the environment variables that name the data directory when no root is given
    // ($VELMORA_MAC_APPDATA, else the home and data folders) if their bytes are not UTF-8: as
    // text they would name another directory.
    static Status checkEnvironment();
    // `path` made absolute against the working directory, without "." and ".." components.
    static QString standardized(const QString &path);

    const QString &root() const { return m_root; }
    QString wallpapers() const { return m_root + QStringLiteral("/wallpapers"); }
    QString updates() const { return m_root + QStringLiteral("/updates"); }
    QString logs() const { return m_root + QStringLiteral("/logs"); }
    QString activationFallback() const { return m_root + QStringLiteral("/activation.json"); }
    QString credentialStorageMarker() const {
        return m_root + QStringLiteral("/credential-storage-v2");
    }
    QString deviceIDFile() const { return m_root + QStringLiteral("/device-id"); }
    // The last verified wallpaper, beside the cache rather than in it, where pruning never
    // reaches it.
    QString lastWallpaperRecord() const { return m_root + QStringLiteral("/last-wallpaper.json"); }
    QString startupPromptMarker() const { return m_root + QStringLiteral("/startup-prompt-v1"); }
    QString instanceLock() const { return m_root + QStringLiteral("/.instance.lock"); }
    // Where the running menu-bar application listens for a second launch. Socket addresses are
    // short, so a listener may have to move elsewhere when this path is too long.
    QString instanceSocket() const { return m_root + QStringLiteral("/.instance.sock"); }
    QString clientLog() const { return logs() + QStringLiteral("/client.log"); }
    QString agentLog() const { return logs() + QStringLiteral("/launch-agent.log"); }
    QString agentErrorLog() const { return logs() + QStringLiteral("/launch-agent.error.log"); }

    // Whether this is the default data directory (both sides standardised).
    bool isDefaultRoot() const;

    // Creates root, wallpapers, updates and logs with permissions 0700, tightening wider ones,
    // and refuses a symbolic link at any of them. Cheap when everything is already in place.
    Status ensure() const;

    friend bool operator==(const ClientPaths &, const ClientPaths &) = default;

private:
    QString m_root;
};

} // namespace velmora
