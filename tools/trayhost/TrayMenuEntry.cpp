#include "tools/trayhost/TrayMenuEntry.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace velmora::test {

namespace {

QList<QStringList> readShortcut(const QVariant &value) {
    QList<QStringList> chords;
    if (!value.canConvert<QDBusArgument>())
        return chords;
    const QDBusArgument array = value.value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        QStringList chord;
        array >> chord;
        chords.append(chord);
    }
    array.endArray();
    return chords;
}

QString describe(const TrayMenuEntry &entry) {
    QString line = entry.isSeparator ? u"----"_s : u"[%1] %2"_s.arg(entry.id).arg(entry.label);
    if (entry.checkable)
        line += entry.checked ? u" (checked)"_s : u" (unchecked)"_s;
    if (!entry.shortcut.isEmpty())
        line += u" <%1>"_s.arg(entry.shortcut);
    if (!entry.enabled)
        line += u" disabled"_s;
    if (!entry.visible)
        line += u" hidden"_s;
    return line;
}

} // namespace

QString labelWithoutMnemonic(const QString &label) {
    QString plain;
    plain.reserve(label.size());
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] != u'_') {
            plain.append(label[i]);
        } else if (i + 1 < label.size() && label[i + 1] == u'_') {
            plain.append(u'_');
            ++i;
        }
    }
    return plain;
}

QString shortcutText(const QList<QStringList> &chords) {
    QStringList parts;
    for (const QStringList &chord : chords) {
        QStringList keys;
        for (const QString &token : chord) {
            if (token == QLatin1String("Control"))
                keys.append(u"Ctrl"_s);
            else if (token == QLatin1String("Super"))
                keys.append(u"Meta"_s);
            else if (token == QLatin1String("plus"))
                keys.append(u"+"_s);
            else if (token == QLatin1String("minus"))
                keys.append(u"-"_s);
            else
                keys.append(token);
        }
        parts.append(keys.join(u'+'));
    }
    return parts.join(u", "_s);
}

TrayMenuEntry TrayMenuEntry::fromLayout(const QDBusArgument &node) {
    TrayMenuEntry entry;
    QVariantMap properties;
    node.beginStructure();
    node >> entry.id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        entry.children.append(fromLayout(child.variant().value<QDBusArgument>()));
    }
    node.endArray();
    node.endStructure();

    // Absent properties take dbusmenu's defaults.
    entry.label = labelWithoutMnemonic(properties.value(u"label"_s).toString());
    entry.enabled = properties.value(u"enabled"_s, true).toBool();
    entry.visible = properties.value(u"visible"_s, true).toBool();
    entry.isSeparator = properties.value(u"type"_s).toString() == u"separator";
    const QString toggle = properties.value(u"toggle-type"_s).toString();
    entry.checkable = toggle == u"checkmark" || toggle == u"radio";
    entry.exclusive = toggle == u"radio";
    entry.checked = entry.checkable && properties.value(u"toggle-state"_s).toInt() == 1;
    entry.shortcut = shortcutText(readShortcut(properties.value(u"shortcut"_s)));
    return entry;
}

const TrayMenuEntry *TrayMenuEntry::find(const QStringList &labelPath) const {
    const TrayMenuEntry *current = this;
    for (const QString &label : labelPath) {
        const auto &children = current->children;
        const auto match = std::find_if(children.begin(), children.end(), [&](const auto &child) {
            return !child.isSeparator && child.label == label;
        });
        if (match == children.end())
            return nullptr;
        current = &*match;
    }
    return current;
}

QString TrayMenuEntry::dump(int depth) const {
    QString text;
    for (const TrayMenuEntry &child : children)
        text += QString(depth * 2, u' ') + describe(child) + u'\n' + child.dump(depth + 1);
    return text;
}

} // namespace velmora::test
