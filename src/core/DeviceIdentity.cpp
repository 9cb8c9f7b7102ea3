#include "DeviceIdentity.h"

#include "PlatformWords.h"
#include "PrivateFile.h"
#include "Text.h"
#include "platform/HexDigits.h"

#include <QCryptographicHash>
#include <QStringList>

namespace velmora {

namespace {

constexpr qint64 kMaxIdentifierFileSize = 4096;

} // namespace

DeviceIdentity::DeviceIdentity(std::shared_ptr<const platform::DeviceFacts> facts)
    : m_facts(std::move(facts)) {}

QString DeviceIdentity::name() const {
    const QString computerName = m_facts->computerName();
    if (!computerName.isEmpty())
        return computerName;
    // "host.example.org" and ".host" both give "host".
    const QStringList labels = m_facts->hostName().split(u'.', Qt::SkipEmptyParts);
    if (!labels.isEmpty())
        return labels.first();
    return currentPlatformWords().deviceName.toString();
}

QString DeviceIdentity::seed() const {
    return m_facts->platformUUID().value_or(QString()) + u'|' + name() + u'|' +
           m_facts->loginName();
}

QString DeviceIdentity::derivedIdentifier(const QString &seed) {
    return QString::fromLatin1(
        QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256).toHex());
}

Result<QString> DeviceIdentity::id(const ClientPaths &paths) const {
    if (Status ready = paths.ensure(); !ready)
        return ready.error();

    const QString file = paths.deviceIDFile();
    const std::optional<PrivateFile::Attributes> attributes = PrivateFile::inspect(file);
    const bool link = attributes && attributes->isSymbolicLink;
    const bool loose = attributes && attributes->isLoose();

    if (!link && !loose) {
        if (Result<QByteArray> bytes = PrivateFile::readNoFollow(file, kMaxIdentifierFileSize)) {
            const QString stored = Text::trimmed(QString::fromUtf8(*bytes)).toLower();
            if (HexDigits::isHex(stored, 64, HexDigits::Case::Lower))
                return stored;
        }
    }

    const QString derived = derivedIdentifier(seed());
    // A file with owner-only permissions but foreign content may be someone's on purpose: it is
    // left alone, and the same derived value comes back each time.
    if (!link && (!attributes || loose))
        (void)PrivateFile::writeAtomically(file, derived.toUtf8());
    return derived;
}

} // namespace velmora
