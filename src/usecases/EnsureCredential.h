#pragma once

#include "ClientContext.h"
#include "core/ActivationState.h"
#include "core/Result.h"
#include "net/WallpaperAPIClient.h"

#include <QObject>

#include <memory>
#include <optional>

namespace velmora {

// Reads the stored credential. The first read may consult the legacy keychain, which can take
// a while, so it happens off the main thread; `done` runs later on the thread of `owner`.
void loadCredential(QObject *owner, const ClientContext &context,
                    Completion<std::optional<ActivationState>> done);

// Makes sure this device holds a usable service credential: the stored one when it is usable
// (with Reuse), else a fresh enrolment with `server`, saved before it is reported. Completes
// once, later, on the main thread; a job destroyed before that reports nothing.
class EnsureCredential : public QObject {
    Q_OBJECT

public:
    enum class Policy { Reuse, EnrolAgain };

    EnsureCredential(const ClientContext &context, Policy policy, QString server,
                     QObject *parent = nullptr);
    ~EnsureCredential() override;

    void start(Completion<ActivationState> done);

private:
    void enrol();
    void finish(Result<ActivationState> result);

    const ClientContext &m_context;
    Policy m_policy;
    QString m_server;
    std::unique_ptr<WallpaperAPIClient> m_client;
    Completion<ActivationState> m_done;
};

// This device's identifier and a client without a credential for `server`, to enrol with: what
// an enrolment and an invite association start from.
struct EnrolmentClient {
    QString deviceId;
    std::unique_ptr<WallpaperAPIClient> client;
};
Result<EnrolmentClient> enrolmentClient(const ClientContext &context, const QString &server);

// A client for the origin that issued `credential`, carrying it. With `requestedServer` (a
// --server naming an origin) the two must be the same origin: a credential is only ever sent to
// the origin that issued it, and nothing is sent otherwise.
Result<std::unique_ptr<WallpaperAPIClient>>
clientForCredential(const ClientContext &context, const ActivationState &credential,
                    const std::optional<QString> &requestedServer = std::nullopt);

} // namespace velmora
