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

using namespace velmora;
using test::pumpUntil;
using test::saveScreenshot;

namespace {

class Alerts : public ::testing::Test {
protected:
    // Shows `alert` as the application does; its box once it is on screen.
    QMessageBox *show(const Alert &alert) {
        answer.reset();
        presenter.showAlert(alert, [this](AlertAnswer a) { answer = a; });
        QMessageBox *box = nullptr;
        pumpUntil([&] {
            box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            return box && box->isVisible();
        });
        return box;
    }
    bool answered() {
        return pumpUntil([&] { return answer.has_value(); });
    }

    WidgetPresenter presenter;
    std::optional<AlertAnswer> answer;
};

TEST_F(Alerts, KeepTheButtonOrderAndAnswerWithTheCheckBoxes) {
    QMessageBox *box =
        show({Alert::Style::Informational,
              QStringLiteral("关联此邀请来源？"),
              QStringLiteral("客户端无需激活码即可使用；继续后会把当前设备关联到该推广渠道。"),
              {QStringLiteral("继续"), QStringLiteral("取消")}});
    ASSERT_TRUE(box);
    saveScreenshot(box, QStringLiteral("alert-invite"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("关联此邀请来源？"));
    EXPECT_EQ(box->buttons().at(0)->text(), QStringLiteral("继续"));
    EXPECT_EQ(box->buttons().at(1)->text(), QStringLiteral("取消"));
    box->buttons().at(1)->click();
    ASSERT_TRUE(answered());
    EXPECT_EQ(answer->button, 1);

    box = show({Alert::Style::Informational,
                QStringLiteral("首次使用设置"),
                QStringLiteral("以下两项默认开启，可取消勾选，也可以稍后从菜单栏“设置”中修改。"),
                {QStringLiteral("保存并继续")},
                {QStringLiteral("开机自动启动"), QStringLiteral("自动更新软件")}});
    ASSERT_TRUE(box);
    const QList<QCheckBox *> checks = box->findChildren<QCheckBox *>();
    ASSERT_EQ(checks.size(), 2);
    saveScreenshot(box, QStringLiteral("first-use-prompt"));
    checks[0]->setChecked(false);
    box->buttons().first()->click();
    ASSERT_TRUE(answered());
    EXPECT_EQ(answer->checked, (QList<bool>{false, true}));

    box = show({Alert::Style::Warning,
                QStringLiteral("操作失败"),
                QStringLiteral("壁纸文件校验失败，已保留当前桌面。"),
                {QStringLiteral("确定")}});
    ASSERT_TRUE(box);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    saveScreenshot(box, QStringLiteral("alert-error"));
    box->buttons().first()->click();
}

} // namespace
