#pragma once

#include "core/Result.h"

#include <QString>
#include <QUrl>

namespace velmora {

// The desktop session's clipboard and default handlers, as the windows and the menu use them.
// Tests substitute a recorder, so nothing reaches the real clipboard or opens a browser.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Replaces the clipboard's content with `text` as plain text. Fails with
    // "无法写入系统剪贴板。" when the clipboard does not hold the text afterwards.
    virtual Status copyText(const QString &text) = 0;
    // Hands `url` (a web address, a file or a folder) to the desktop's default handler; false
    // when no handler took it.
    virtual bool openUrl(const QUrl &url) = 0;
};

// The real clipboard (QClipboard) and the desktop's handlers (QDesktopServices). Needs a
// QGuiApplication.
class SystemWorkspace final : public Workspace {
public:
    Status copyText(const QString &text) override;
    bool openUrl(const QUrl &url) override;
};

} // namespace velmora
