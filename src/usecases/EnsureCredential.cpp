#include "EnsureCredential.h"

#include "Background.h"
#include "net/ServerURL.h"

using namespace Qt::StringLiterals;

namespace velmora {

void loadCredential(QObject *owner, const ClientContext &context,
                    Completion<std::optional<ActivationState>> done) {
    std::shared_ptr<const KeychainStore> store = context.credentials;
    runInBackground<Result<std::optional<ActivationState>>>(
        owner, [store] { return store->load(); }, std::move(done));
}

EnsureCredential::EnsureCredential(const ClientContext &context, Policy policy, QString server,
                                   QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_policy(policy)
    , m_server(std::move(server)) {}

EnsureCredential::~EnsureCredential() = default;

void EnsureCredential::start(Completion<ActivationState> done) {
    m_done = std::move(done);
    if (Status ready = m_context.paths.ensure(); !ready)
        return finish(ready.error());
    if (m_policy == Policy::EnrolAgain)
        return enrol();
    loadCredential(this, m_context, [this](Result<std::optional<ActivationState>> loaded) {
        if (!loaded)
            return finish(loaded.error());
        if (*loaded && (*loaded)->isUsable())
            return finish(**loaded);
        enrol();
    });
}

void EnsureCredential::enrol() {
    Result<EnrolmentClient> enrolment = enrolmentClient(m_context, m_server);
    if (!enrolment)
        return finish(enrolment.error());
    const QString deviceId = enrolment->deviceId;
    m_client = std::move(enrolment->client);
    m_client->registerDevice(deviceId, m_context.identity.name(),
                             [this](Result<ActivationState> enrolled) {
                                 if (!enrolled)
                                     return finish(enrolled.error());
                                 if (!enrolled->isUsable())
                                     return finish(ClientError::invalidResponse());
                                 if (Status saved = m_context.credentials->save(*enrolled); !saved)
                                     return finish(saved.error());
                                 finish(*enrolled);
                             });
}

void EnsureCredential::finish(Result<ActivationState> result) {
    deliverLater(this, m_done, std::move(result));
}

Result<EnrolmentClient> enrolmentClient(const ClientContext &context, const QString &server) {
    Result<QString> deviceId = context.identity.id(context.paths);
    if (!deviceId)
        return deviceId.error();
    Result<std::unique_ptr<WallpaperAPIClient>> client =
        WallpaperAPIClient::create(server, std::nullopt, context.proxyMode());
    if (!client)
        return client.error();
    return EnrolmentClient{*deviceId, std::move(client).value()};
}

Result<std::unique_ptr<WallpaperAPIClient>>
clientForCredential(const ClientContext &context, const ActivationState &credential,
                    const std::optional<QString> &requestedServer) {
    std::optional<QString> requested;
    if (requestedServer) {
        Result<QString> normalized = ServerURL::normalize(*requestedServer);
        if (!normalized)
            return normalized.error();
        requested = *normalized;
    }
    const Result<QString> own = ServerURL::normalize(credential.serverBaseURL);
    if (!own)
        return own.error();
    if (requested && !ServerURL::equalOrigin(QUrl(*requested), QUrl(*own)))
        return ClientError::invalidServer(u"当前服务器与本机凭证不一致，请重新登记。"_s);
    return WallpaperAPIClient::create(*own, credential, context.proxyMode());
}

} // namespace velmora
