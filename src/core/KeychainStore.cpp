#include "KeychainStore.h"

#include "ClientConstants.h"
#include "PrivateFile.h"
#include "platform/DeviceFacts.h"
#include "platform/SystemError.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// A credential is a few hundred bytes; a file far larger than that is not one.
constexpr qint64 kMaxCredentialSize = 1024 * 1024;

const QByteArray kMarkerContent = QByteArrayLiteral("local-file-v2\n");

} // namespace

KeychainStore::KeychainStore(const ClientPaths &paths, std::optional<QString> account,
                             std::shared_ptr<const platform::LegacyKeychain> keychain)
    : m_paths(paths)
    , m_account(account ? std::move(*account) : platform::currentLoginName())
    , m_service(serviceName(paths))
    , m_keychain(std::move(keychain)) {}

QString KeychainStore::serviceName(const ClientPaths &paths) {
    if (paths.isDefaultRoot())
        return ClientConstants::keychainService;
    const QByteArray digest =
        QCryptographicHash::hash(paths.root().toUtf8(), QCryptographicHash::Sha256);
    return ClientConstants::keychainService + u'.' + QString::fromLatin1(digest.toHex().left(12));
}

Result<std::optional<ActivationState>> KeychainStore::load() const {
    if (PrivateFile::inspect(m_paths.activationFallback())) {
        // The file is authoritative even when it holds nothing usable: the caller enrols again
        // rather than falling back to an older credential.
        std::optional<ActivationState> stored = loadFromFile();
        (void)markLocalFileStorageSelected();
        return stored;
    }
    if (PrivateFile::inspect(m_paths.credentialStorageMarker()))
        return std::optional<ActivationState>();

    const platform::LegacyLookup legacy = m_keychain->lookup(m_account, m_service);
    const std::optional<ActivationState> migrated = decodeLegacy(legacy);
    if (migrated) {
        if (Status saved = saveFallback(migrated->encoded()); !saved)
            return saved.error();
    }
    // A keychain that did not answer (no session yet, a lookup past its deadline) may still
    // hold the credential: it is asked again next time rather than given up for good.
    if (migrated || legacy.answered)
        (void)markLocalFileStorageSelected();
    return migrated;
}

std::optional<ActivationState> KeychainStore::loadFromFile() const {
    const QString file = m_paths.activationFallback();
    const std::optional<PrivateFile::Attributes> attributes = PrivateFile::inspect(file);
    // A credential readable by others may have been read or planted by them: ignored, not
    // repaired. The descriptor is checked again while reading.
    if (attributes && (attributes->isSymbolicLink || attributes->isLoose()))
        return std::nullopt;
    Result<QByteArray> bytes =
        PrivateFile::readNoFollow(file, kMaxCredentialSize, PrivateFile::Trust::OwnerOnly);
    if (!bytes)
        return std::nullopt;
    Result<ActivationState> state = ActivationState::decodeCompatible(*bytes);
    if (!state || !state->isUsable())
        return std::nullopt;
    return std::move(state).value();
}

std::optional<ActivationState> KeychainStore::decodeLegacy(const platform::LegacyLookup &legacy) {
    if (!legacy.data)
        return std::nullopt;
    Result<ActivationState> state = ActivationState::decodeCompatible(*legacy.data);
    if (!state || !state->isUsable())
        return std::nullopt;
    return std::move(state).value();
}

Status KeychainStore::save(const ActivationState &state) const {
    if (!state.isUsable())
        return ClientError::malformedData(u"激活信息不完整，未写入钥匙串。"_s);
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    if (Status saved = saveFallback(state.encoded()); !saved)
        return saved;
    return markLocalFileStorageSelected();
}

Status KeychainStore::clear() const {
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    const QString file = m_paths.activationFallback();
    const bool removed = ::unlink(QFile::encodeName(file).constData()) == 0 || errno == ENOENT;
    const int removalError = errno;
    if (Status marked = markLocalFileStorageSelected(); !marked)
        return marked;
    // A credential that is still there after "clear" succeeded would be used again at the next
    // start, so this failure is reported rather than ignored.
    if (!removed)
        return ClientError::fileSystem(u"无法删除本地激活凭证："_s +
                                       platform::describeSystemError(removalError, file));
    return {};
}

Status KeychainStore::saveFallback(const QByteArray &data) const {
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    const QString file = m_paths.activationFallback();
    if (PrivateFile::isSymbolicLink(file))
        return ClientError::fileSystem(u"激活凭证路径不能是符号链接。"_s);
    if (Status written = PrivateFile::writeAtomically(file, data); !written)
        return wrapFileSystemError(u"钥匙串不可用，且无法保存本地激活凭证："_s, written.error());
    return {};
}

Status KeychainStore::markLocalFileStorageSelected() const {
    if (Status ready = m_paths.ensure(); !ready)
        return ready;
    const QString marker = m_paths.credentialStorageMarker();
    if (PrivateFile::isSymbolicLink(marker))
        return ClientError::fileSystem(u"凭证存储标记不能是符号链接。"_s);
    // Every load confirms the marker; rewriting (and flushing) identical bytes each time would
    // only cost the hourly refresh two disk syncs.
    const std::optional<PrivateFile::Attributes> existing = PrivateFile::inspect(marker);
    if (existing && existing->isRegularFile && existing->permissions == 0600) {
        const Result<QByteArray> current = PrivateFile::readNoFollow(
            marker, kMarkerContent.size() + 1, PrivateFile::Trust::OwnerOnly);
        if (current && *current == kMarkerContent)
            return {};
    }
    if (Status written = PrivateFile::writeAtomically(marker, kMarkerContent); !written)
        return wrapFileSystemError(u"无法保存凭证存储设置："_s, written.error());
    return {};
}

} // namespace velmora
