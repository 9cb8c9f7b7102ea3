#pragma once
// Placeholder until the bundle directory lands.
#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <optional>

namespace velmora::Bundle {
inline std::optional<QString> resource(const QString &name, const QString &extension) {
    const QString path = QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../share/velmora-wallpaper/") + name + u'.' + extension;
    if (QFileInfo(path).isFile())
        return path;
    return std::nullopt;
}
} // namespace velmora::Bundle
