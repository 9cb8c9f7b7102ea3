#include "WidgetPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// QMessageBox takes one check box; the first-use prompt needs a stack of them, placed where
// the message box would put its informative text.
QList<QCheckBox *> addCheckBoxes(QMessageBox *box, const QStringList &titles) {
    QList<QCheckBox *> boxes;
    if (titles.isEmpty())
        return boxes;
    auto *stack = new QWidget(box);
    auto *layout = new QVBoxLayout(stack);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    for (const QString &title : titles) {
        auto *check = new QCheckBox(title, stack);
        check->setChecked(true);
        layout->addWidget(check, 0, Qt::AlignLeft);
        boxes << check;
    }
    stack->setMinimumSize(320, 54);
    // Right under the text, in its column.
    auto *grid = qobject_cast<QGridLayout *>(box->layout());
    auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_s);
    int row = 0, column = 1, rowSpan = 1, columnSpan = 1;
    if (grid && label)
        grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
    if (grid)
        grid->addWidget(stack, row + rowSpan, column, 1, columnSpan, Qt::AlignLeft);
    return boxes;
}

} // namespace

void WidgetPresenter::showAlert(const Alert &alert, std::function<void(AlertAnswer)> done) {
    auto *box = new QMessageBox(alert.style == Alert::Style::Warning ? QMessageBox::Warning
                                                                     : QMessageBox::Information,
                                alert.title, alert.text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setTextFormat(Qt::PlainText);
    // One role for every button keeps them in the given order on every desktop's layout.
    QList<QAbstractButton *> buttons;
    for (const QString &title : alert.buttons)
        buttons << box->addButton(title, QMessageBox::ActionRole);
    if (!buttons.isEmpty()) {
        box->setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box->setEscapeButton(buttons.last());
    }
    const QList<QCheckBox *> checks = addCheckBoxes(box, alert.checkBoxes);
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, checks, done] {
        AlertAnswer answer;
        answer.button = static_cast<int>(buttons.indexOf(box->clickedButton()));
        if (answer.button < 0)
            answer.button = static_cast<int>(buttons.size()) - 1;
        for (const QCheckBox *check : checks)
            answer.checked << check->isChecked();
        done(answer);
    });
    box->open();
    box->raise();
    box->activateWindow();
}

void WidgetPresenter::chooseFolder(const FolderPanel &panel,
                                   std::function<void(std::optional<QString>)> done) {
    auto *dialog = new QFileDialog(nullptr, panel.title, panel.startDirectory);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    // Qt's own dialog everywhere: it shows the accept label and the message line as given.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, panel.prompt);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout())) {
        auto *message = new QLabel(panel.message, dialog);
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
            return done(std::nullopt);
        done(chosen.first());
    });
    dialog->open();
}

void WidgetPresenter::raiseWindows() {
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        window->raise();
        window->activateWindow();
    }
}

} // namespace velmora
