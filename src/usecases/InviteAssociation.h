#pragma once

#include "ClientContext.h"
#include "core/ActivationState.h"
#include "net/WallpaperAPIClient.h"

#include <QObject>

#include <functional>
#include <memory>

namespace velmora {

// Associates this device with an invite: enrols with `server`, stores that credential at once
// (so the device stays enrolled when the invite step fails), redeems the one-time ticket and
// stores the credential the service answers with. Every attempt carries a fresh idempotency
// key, so the service recognises a repeated delivery of one request, never a later attempt.
// Completes once, later, on the main thread; a job destroyed before that reports nothing.
class InviteAssociation : public QObject {
    Q_OBJECT

public:
    InviteAssociation(const ClientContext &context, QString ticket, QString server,
                      QObject *parent = nullptr);
    ~InviteAssociation() override;

    void start(Completion<ActivationState> done);
    // Told as soon as the enrolment's credential is stored, before the invite is redeemed.
    void setOnRegistered(std::function<void(const ActivationState &)> onRegistered) {
        m_onRegistered = std::move(onRegistered);
    }

    // A random UUID without its dashes: 32 upper-case hexadecimal digits.
    static QString makeIdempotencyKey();

private:
    void finish(Result<ActivationState> result);

    const ClientContext &m_context;
    QString m_ticket;
    QString m_server;
    std::unique_ptr<WallpaperAPIClient> m_client;
    Completion<ActivationState> m_done;
    std::function<void(const ActivationState &)> m_onRegistered;
};

} // namespace velmora
