#pragma once

// Stand-ins for the dialogs, the clipboard and the default handlers the controllers use.

#include "core/ClientError.h"
#include "ui/Presenter.h"
#include "ui/Workspace.h"

#include <QList>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <deque>

namespace velmora::test {

// A presenter for controller tests: records every alert and folder panel as the user would see
// it, and answers each with the next scripted reply (by default: the first button, boxes left
// ticked, the panel cancelled), later, as a real modal dialog does.
class ScriptedPresenter final : public Presenter {
public:
    // One line per alert: "title|text|button,button" (warnings start with "!").
    QStringList shown;
    QStringList panels;
    std::deque<AlertAnswer> answers;
    std::deque<std::optional<QString>> folders;

    void showAlert(const Alert &alert, std::function<void(AlertAnswer)> done) override {
        shown << (alert.style == Alert::Style::Warning ? QStringLiteral("!") : QString()) +
                     alert.title + u'|' + alert.text + u'|' + alert.buttons.join(u',') +
                     (alert.checkBoxes.isEmpty() ? QString() : u'|' + alert.checkBoxes.join(u','));
        AlertAnswer answer;
        answer.checked = QList<bool>(alert.checkBoxes.size(), true);
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        QTimer::singleShot(0, [done, answer] { done(answer); });
    }

    void chooseFolder(const FolderPanel &panel,
                      std::function<void(std::optional<QString>)> done) override {
        panels << panel.title + u'|' + panel.prompt + u'|' + panel.startDirectory;
        std::optional<QString> folder;
        if (!folders.empty()) {
            folder = folders.front();
            folders.pop_front();
        }
        QTimer::singleShot(0, [done, folder] { done(folder); });
    }

    void raiseWindows() override {}
};

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
