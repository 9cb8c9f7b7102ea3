#include "support/TrayMenuEntry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace velmora::test;

namespace {

// Menu tests find entries by the label the user reads; Qt sends the mnemonic form.
TEST(TrayMenuLabels, LoseMnemonicMarkersButKeepLiteralUnderscores) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("立即刷新(_R)"), QStringLiteral("立即刷新(R)")},
        {QStringLiteral("_Quit"), QStringLiteral("Quit")},
        {QStringLiteral("snake__case"), QStringLiteral("snake_case")},
        {QStringLiteral("完整显示（推荐）"), QStringLiteral("完整显示（推荐）")},
        {QStringLiteral("ends_"), QStringLiteral("ends")},
    };
    for (const auto &[sent, read] : cases)
        EXPECT_EQ(labelWithoutMnemonic(sent), read) << sent.toStdString();
}

TEST(TrayMenuShortcuts, ReadAsQtPortableText) {
    const std::pair<QList<QStringList>, QString> cases[] = {
        {{{QStringLiteral("Control"), QStringLiteral("R")}}, QStringLiteral("Ctrl+R")},
        {{{QStringLiteral("Super"), QStringLiteral("Q")}}, QStringLiteral("Meta+Q")},
        {{{QStringLiteral("Control"), QStringLiteral("Shift"), QStringLiteral("plus")}},
         QStringLiteral("Ctrl+Shift++")},
        {{{QStringLiteral("Control"), QStringLiteral("K")},
          {QStringLiteral("Control"), QStringLiteral("C")}},
         QStringLiteral("Ctrl+K, Ctrl+C")},
        {{}, QString()},
    };
    for (const auto &[chords, text] : cases)
        EXPECT_EQ(shortcutText(chords), text);
}

TrayMenuEntry entry(int id, const QString &label, QList<TrayMenuEntry> children = {}) {
    TrayMenuEntry item;
    item.id = id;
    item.label = label;
    item.children = std::move(children);
    return item;
}

TEST(TrayMenuPaths, FollowLabelsThroughSubmenusAndSkipSeparators) {
    TrayMenuEntry separator;
    separator.id = 5;
    separator.isSeparator = true;
    const TrayMenuEntry menu =
        entry(0, {},
              {separator,
               entry(1, QStringLiteral("设置"),
                     {entry(2, QStringLiteral("显示方式"),
                            {entry(3, QStringLiteral("完整显示（推荐）")),
                             entry(4, QStringLiteral("填满屏幕（可能裁切）"))})}),
               entry(6, QStringLiteral("退出"))});

    const std::pair<QStringList, int> cases[] = {
        {{QStringLiteral("设置"), QStringLiteral("显示方式"), QStringLiteral("完整显示（推荐）")},
         3},
        {{QStringLiteral("退出")}, 6},
        {{QStringLiteral("显示方式")}, -1},
        {{QStringLiteral("设置"), QStringLiteral("退出")}, -1},
        {{QString()}, -1},
        {{}, 0},
    };
    for (const auto &[path, id] : cases) {
        const TrayMenuEntry *found = menu.find(path);
        EXPECT_EQ(found ? found->id : -1, id) << path.join(u'/').toStdString();
    }
    EXPECT_EQ(menu.dump(),
              QStringLiteral("----\n[1] 设置\n  [2] 显示方式\n    [3] 完整显示（推荐）\n"
                             "    [4] 填满屏幕（可能裁切）\n[6] 退出\n"));
}

} // namespace
