#include "Workspace.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace velmora {

Status SystemWorkspace::copyText(const QString &text) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard) {
        clipboard->setText(text);
        // Without a clipboard owner (no session, a clipboard manager refusing) setText fails
        // silently; reading back is the only way to know.
        if (clipboard->text() == text)
            return {};
    }
    return ClientError::fileSystem(u"无法写入系统剪贴板。"_s);
}

bool SystemWorkspace::openUrl(const QUrl &url) {
    return QDesktopServices::openUrl(url);
}

} // namespace velmora
