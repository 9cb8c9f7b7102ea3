#pragma once

// A presenter for controller tests: records every alert and folder panel as the user would see
// it, and answers each with the next scripted reply (by default: the first button, boxes left
// ticked, the panel cancelled), later, as a real modal dialog does.

#include "ui/Presenter.h"

#include <QStringList>
#include <QTimer>

#include <deque>

namespace velmora::test {

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

} // namespace velmora::test
