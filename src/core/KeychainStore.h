#pragma once

#include "ActivationState.h"
#include "ClientPaths.h"
#include "Result.h"
#include "platform/LegacyKeychain.h"

#include <QString>

#include <memory>
#include <optional>

namespace velmora {

// Keeps the service credential between runs. The credential lives in "activation.json" in the
// data directory, next to the marker "credential-storage-v2" that makes the file authoritative.
// Older versions kept it in the keychain: while neither file nor marker exists, the first load()
// reads that item once, copies it into the file and writes the marker; from then on the keychain
// is never consulted again. Nothing is ever written to or deleted from the keychain.
class KeychainStore {
public:
    // `account` defaults to the current user's login name; the keychain is the platform's own.
    // (Defined apart from the rest, so a program that names its keychain does not link the
    // platform's.)
    explicit KeychainStore(const ClientPaths &paths, std::optional<QString> account = std::nullopt);
    KeychainStore(const ClientPaths &paths, std::optional<QString> account,
                  std::shared_ptr<const platform::LegacyKeychain> keychain);

    // The legacy item's service name for a data directory: the fixed name for the default
    // directory, otherwise that name + "." + 12 hex digits of the SHA-256 of the directory's
    // path, so that a private data directory never picks up the real one's credential.
    static QString serviceName(const ClientPaths &paths);

    const ClientPaths &paths() const { return m_paths; }
    const QString &account() const { return m_account; }
    const QString &service() const { return m_service; }

    // The stored credential, or none. A linked, foreign-readable, unreadable, damaged or
    // unusable credential file reads as none, never as an error; the only failure is a legacy
    // credential that cannot be copied into the file.
    Result<std::optional<ActivationState>> load() const;
    // Stores a usable credential in the file (atomically, 0600) and marks the file authoritative.
    Status save(const ActivationState &state) const;
    // Removes the credential; the marker stays, so the keychain is not read again.
    Status clear() const;

private:
    std::optional<ActivationState> loadFromFile() const;
    static std::optional<ActivationState> decodeLegacy(const platform::LegacyLookup &legacy);
    Status saveFallback(const QByteArray &data) const;
    Status markLocalFileStorageSelected() const;

    ClientPaths m_paths;
    QString m_account;
    QString m_service;
    std::shared_ptr<const platform::LegacyKeychain> m_keychain;
};

} // namespace velmora
