#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QDBusArgument;

namespace velmora::test {

// One entry of a tray menu as a desktop panel reads it over com.canonical.dbusmenu.
struct TrayMenuEntry {
    int id = 0;
    QString label; // without mnemonic markers
    bool enabled = true;
    bool visible = true;
    bool isSeparator = false;
    bool checkable = false;
    bool exclusive = false; // a radio entry (action in an exclusive group)
    bool checked = false;
    QString shortcut; // portable text such as "Ctrl+R"; empty when there is none
    QList<TrayMenuEntry> children;

    // Reads one (ia{sv}av) layout node and everything below it.
    static TrayMenuEntry fromLayout(const QDBusArgument &node);

    // The entry reached by following labels from this one, e.g. {"设置", "显示方式",
    // "完整显示（推荐）"}; null when a step has no entry of that label.
    const TrayMenuEntry *find(const QStringList &labelPath) const;

    // The entries below this one as indented lines, for failure messages and for reading a menu
    // by hand.
    QString dump(int depth = 0) const;
};

// dbusmenu marks a mnemonic with "_" and writes a literal underscore as "__".
QString labelWithoutMnemonic(const QString &label);

// A dbusmenu shortcut (chords of tokens such as {"Control", "R"}) as Qt's portable text.
QString shortcutText(const QList<QStringList> &chords);

} // namespace velmora::test
