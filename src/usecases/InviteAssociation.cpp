#include "InviteAssociation.h"

#include "Background.h"
#include "EnsureCredential.h"

#include "net/PromotionHandoff.h"

#include <QUuid>

using namespace Qt::StringLiterals;

namespace velmora {

InviteAssociation::InviteAssociation(const ClientContext &context, QString ticket, QString server,
                                     QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_ticket(std::move(ticket))
    , m_server(std::move(server)) {}

InviteAssociation::~InviteAssociation() = default;

QString InviteAssociation::makeIdempotencyKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).remove(u'-').toUpper();
}

void InviteAssociation::start(Completion<ActivationState> done) {
    m_done = std::move(done);
    if (Status ready = m_context.paths.ensure(); !ready)
        return finish(ready.error());
    const std::optional<QString> ticket = PromotionHandoff::normalizeTicket(m_ticket);
    if (!ticket)
        return finish(ClientError::malformedData(u"缺少有效的一次性邀请票据。"_s));
    Result<EnrolmentClient> enrolment = enrolmentClient(m_context, m_server);
    if (!enrolment)
        return finish(enrolment.error());
    const QString deviceId = enrolment->deviceId;
    m_client = std::move(enrolment->client);

    const std::shared_ptr<const KeychainStore> store = m_context.credentials;
    m_client->activateByInvite(
        *ticket, deviceId, m_context.identity.name(), makeIdempotencyKey(),
        [this, store](const ActivationState &enrolled) -> Status {
            if (Status saved = store->save(enrolled); !saved)
                return saved;
            if (m_onRegistered)
                m_onRegistered(enrolled);
            return {};
        },
        [this, store](Result<ActivationState> activated) {
            if (!activated)
                return finish(activated.error());
            if (Status saved = store->save(*activated); !saved)
                return finish(saved.error());
            finish(std::move(activated));
        });
}

void InviteAssociation::finish(Result<ActivationState> result) {
    deliverLater(this, m_done, std::move(result));
}

} // namespace velmora
