#include "UpdatePolicy.h"

#include "platform/HexDigits.h"

using namespace Qt::StringLiterals;

namespace velmora::UpdatePolicy {

namespace {

constexpr qsizetype kMaximumNameLength = 180;

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

// The last component, as a path reads it: trailing separators do not count.
QString lastComponent(const QString &name) {
    QString path = name;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path == u"/" ? path : path.section(u'/', -1);
}

// Every character but ASCII letters, digits, "-", "." and "_" replaced by "-", then "." and "-"
// trimmed from both ends.
QString cleaned(const QString &text) {
    QString safe;
    for (const char32_t scalar : text.toUcs4()) {
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
    return safe.mid(begin, end - begin);
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

QString displayVersion(const SoftwareUpdate &update) {
    return update.version.value_or(u"未知版本"_s);
}

QString displayNotes(const SoftwareUpdate &update) {
    if (!update.releaseNotes)
        return u"暂无发布说明。"_s;
    return update.releaseNotes->trimmed();
}

QString packageFileName(const SoftwareUpdate &update, Platform platform) {
    // The extension the package was accepted for (as sent: it is ASCII), else the platform's.
    // The stem is cleaned and shortened on its own, so no cut ever takes the extension away.
    const QString last = lastComponent(update.fileName.value_or(QString()));
    QString extension = platform == Platform::MacOS ? u".pkg"_s : u".deb"_s;
    const QStringList accepted = platform == Platform::MacOS
                                     ? QStringList{u".dmg"_s, u".pkg"_s, u".zip"_s}
                                     : QStringList{u".deb"_s};
    for (const QString &ending : accepted)
        if (last.endsWith(ending, Qt::CaseInsensitive))
            extension = last.right(4);
    const QString stem = last.endsWith(extension) ? last.chopped(extension.size()) : last;
    const QString safe = cleaned(stem).left(kMaximumNameLength - extension.size());
    if (!safe.isEmpty())
        return safe + extension;
    // The version comes from the service too: a "/" in it must not reach the file system.
    return u"VelmoraWallpaper-"_s + QString(displayVersion(update)).replace(u'/', u'-') + extension;
}

QString platformName(Platform platform) {
    return platform == Platform::MacOS ? u"macOS"_s : u"Linux"_s;
}

QString queryPlatform(Platform platform) {
    return platform == Platform::MacOS ? u"macos"_s : u"linux"_s;
}

} // namespace velmora::UpdatePolicy
