#include "UpdatePolicy.h"

#include "platform/HexDigits.h"

namespace velmora::UpdatePolicy {

namespace {

QString lowerFileName(const SoftwareUpdate &update) {
    return update.fileName.value_or(QString()).toLower();
}

// An absent or empty platform does not refuse a package; any other must be one of `accepted`.
bool platformAllows(const SoftwareUpdate &update, std::initializer_list<const char *> accepted) {
    if (!update.platform || update.platform->isEmpty())
        return true;
    const QString platform = update.platform->toLower();
    for (const char *name : accepted)
        if (platform == QLatin1String(name))
            return true;
    return false;
}

} // namespace

bool isMacPackage(const SoftwareUpdate &update) {
    if (!platformAllows(update, {"macos", "mac", "osx", "darwin"}))
        return false;
    const QString name = lowerFileName(update);
    if (name.endsWith(u".dmg") || name.endsWith(u".pkg"))
        return true;
    if (!name.endsWith(u".zip"))
        return false;
    for (const char *word : {"mac", "macos", "osx", "darwin", "apple", "universal"})
        if (name.contains(QLatin1String(word)))
            return true;
    return false;
}

bool isLinuxPackage(const SoftwareUpdate &update) {
    return platformAllows(update, {"linux"}) && lowerFileName(update).endsWith(u".deb");
}

bool isPlatformPackage(const SoftwareUpdate &update, Platform platform) {
    return platform == Platform::MacOS ? isMacPackage(update) : isLinuxPackage(update);
}

bool hasValidHash(const SoftwareUpdate &update) {
    return update.sha256 && HexDigits::isHex(*update.sha256, 64);
}

bool isAcceptable(const SoftwareUpdate &update, Platform platform) {
    return isPlatformPackage(update, platform) && update.downloadURL && hasValidHash(update) &&
           update.fileName;
}

QString safeFileName(const QString &name, const QString &fallback) {
    // The last component, as a path reads it: trailing separators do not count.
    QString path = name;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QString last = path == u"/" ? path : path.section(u'/', -1);
    QString safe;
    for (const char32_t scalar : last.toUcs4()) {
        const bool kept = (scalar >= 'a' && scalar <= 'z') || (scalar >= 'A' && scalar <= 'Z') ||
                          (scalar >= '0' && scalar <= '9') || scalar == '-' || scalar == '.' ||
                          scalar == '_';
        safe += kept ? QChar(char16_t(scalar)) : QChar(u'-');
    }
    qsizetype begin = 0;
    qsizetype end = safe.size();
    while (begin < end && (safe[begin] == u'.' || safe[begin] == u'-'))
        ++begin;
    while (end > begin && (safe[end - 1] == u'.' || safe[end - 1] == u'-'))
        --end;
    if (begin == end)
        return fallback;
    return safe.mid(begin, end - begin).left(180);
}

QString displayVersion(const SoftwareUpdate &update) {
    return update.version.value_or(QStringLiteral("未知版本"));
}

QString displayNotes(const SoftwareUpdate &update) {
    if (!update.releaseNotes)
        return QStringLiteral("暂无发布说明。");
    return update.releaseNotes->trimmed();
}

QString packageFileName(const SoftwareUpdate &update, Platform platform) {
    const QString extension =
        platform == Platform::MacOS ? QStringLiteral(".pkg") : QStringLiteral(".deb");
    return safeFileName(update.fileName.value_or(QString()),
                        QStringLiteral("VelmoraWallpaper-") + displayVersion(update) + extension);
}

QString platformName(Platform platform) {
    return platform == Platform::MacOS ? QStringLiteral("macOS") : QStringLiteral("Linux");
}

QString queryPlatform(Platform platform) {
    return platform == Platform::MacOS ? QStringLiteral("macos") : QStringLiteral("linux");
}

} // namespace velmora::UpdatePolicy
