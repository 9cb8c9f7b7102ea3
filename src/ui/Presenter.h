#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmora {

// A modal alert as the user sees it: its style, title, text, buttons (first = default) and
// check boxes (all shown ticked).
struct Alert {
    enum class Style { Informational, Warning };

    Style style = Style::Informational;
    QString title;
    QString text;
    QStringList buttons;
    QStringList checkBoxes;
};

// How an alert was closed: the index of the pressed button and the final state of each check
// box, in the order they were given.
struct AlertAnswer {
    int button = 0;
    QList<bool> checked;
};

// The folder picker: directories only, one at a time, new folders allowed.
struct FolderPanel {
    QString title;
    QString message;
    QString prompt; // the accept button
    QString startDirectory;
};

// Where the menu-bar application shows its modal questions. Every call returns at once; the
// answer arrives later on the main thread, once the user closed the alert or panel. The widget
// presenter shows real dialogs; tests answer with scripted replies and record what was shown.
class Presenter {
public:
    virtual ~Presenter() = default;

    virtual void showAlert(const Alert &alert, std::function<void(AlertAnswer)> done) = 0;
    // None when the panel was cancelled.
    virtual void chooseFolder(const FolderPanel &panel,
                              std::function<void(std::optional<QString>)> done) = 0;
    // Brings the application's visible windows to the front.
    virtual void raiseWindows() = 0;
};

} // namespace velmora
