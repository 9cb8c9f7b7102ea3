#pragma once

#include "Presenter.h"

namespace velmora {

// Shows alerts as application-modal QMessageBoxes and the folder picker as Qt's own directory
// dialog. Neither runs an event loop of its own: each is opened and answers when it closes.
class WidgetPresenter final : public Presenter {
public:
    void showAlert(const Alert &alert, std::function<void(AlertAnswer)> done) override;
    void chooseFolder(const FolderPanel &panel,
                      std::function<void(std::optional<QString>)> done) override;
    void raiseWindows() override;
};

} // namespace velmora
