#pragma once

#include "core/ClientError.h"
#include "ui/Workspace.h"

#include <QList>
#include <QStringList>
#include <QUrl>

namespace velmora::test {

// The clipboard and the default handlers, recorded instead of reached; either can be made to
// refuse, as a desktop without a clipboard owner or a URL handler does.
class RecordingWorkspace final : public Workspace {
public:
    QStringList copied;
    QList<QUrl> opened;
    bool clipboardWorks = true;
    bool handlerWorks = true;

    Status copyText(const QString &text) override {
        if (!clipboardWorks)
            return ClientError::fileSystem(QStringLiteral("无法写入系统剪贴板。"));
        copied << text;
        return {};
    }
    bool openUrl(const QUrl &url) override {
        opened << url;
        return handlerWorks;
    }
};

} // namespace velmora::test
