// The real alerts as drawn: buttons in the given order answering with their index, the
// first-use check boxes, the warning icon. Each is also saved as a PNG under
// <build>/screenshots for a person to look at.
#include "ui/WidgetPresenter.h"

#include "integration/ClientHarness.h"
#include "support/Screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;
using namespace velmora;
using test::pumpUntil;

namespace {

// Shows `alert` as the application does, checks that the box says what it was given and saves
// it, then clears the first check box (if any) and clicks the button `expected` names: the
// answer must be `expected`.
void showAndAnswer(const Alert &alert, const char *screenshot, const AlertAnswer &expected) {
    WidgetPresenter presenter;
    std::optional<AlertAnswer> answer;
    presenter.showAlert(alert, [&](AlertAnswer a) { answer = a; });
    QMessageBox *box = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        return box && box->isVisible();
    }));
    test::saveScreenshot(box, QString::fromUtf8(screenshot));
    EXPECT_EQ(box->windowTitle(), alert.title);
    EXPECT_EQ(box->icon(), alert.style == Alert::Style::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information);
    QStringList buttons, checks;
    for (const QAbstractButton *button : box->buttons())
        buttons << button->text();
    for (const QCheckBox *check : box->findChildren<QCheckBox *>())
        checks << check->text();
    EXPECT_EQ(buttons, alert.buttons);
    EXPECT_EQ(checks, alert.checkBoxes);
    if (!checks.isEmpty())
        box->findChildren<QCheckBox *>().first()->setChecked(false);
    box->buttons().at(expected.button)->click();
    ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->button, expected.button);
    EXPECT_EQ(answer->checked, expected.checked);
}

TEST(Alerts, KeepTheButtonOrderAndAnswerWithTheCheckBoxes) {
    showAndAnswer({Alert::Style::Informational,
                   u"关联此邀请来源？"_s,
                   u"客户端无需激活码即可使用；继续后会把当前设备关联到该推广渠道。"_s,
                   {u"继续"_s, u"取消"_s}},
                  "alert-invite", {1, {}});
    showAndAnswer({Alert::Style::Informational,
                   u"首次使用设置"_s,
                   u"以下两项默认开启，可取消勾选，也可以稍后从菜单栏“设置”中修改。"_s,
                   {u"保存并继续"_s},
                   {u"开机自动启动"_s, u"自动更新软件"_s}},
                  "first-use-prompt", {0, {false, true}});
    showAndAnswer({Alert::Style::Warning,
                   u"操作失败"_s,
                   u"壁纸文件校验失败，已保留当前桌面。"_s,
                   {u"确定"_s}},
                  "alert-error", {0, {}});
}

} // namespace
