#pragma once

#include "Messages.h"
#include "core/ActivationState.h"
#include "core/Result.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// What each call accepts of a success answer beyond what decodes: a body that decodes may still
// be unusable, and the caller gets a sentence of its own for that.
namespace velmora::AnswerChecks {

// An enrolment answer (registration or invite redemption) becomes the credential for `server`
// only with a token that is not blank and an enrolment time; otherwise `incomplete`.
Result<ActivationState> credential(const QByteArray &body, const QString &server,
                                   const QString &deviceID, const QString &deviceName,
                                   const char *incomplete);

// Today's descriptor needs an identifier, a file name, a 64-digit digest and an address.
Result<WallpaperMetadata> todayDescriptor(const QByteArray &body);

// An update offer as decoded, its version made fit for display (an empty one counts as none).
Result<SoftwareUpdate> updateOffer(const QByteArray &body);

// The promotion link must be `origin`'s own "/r/<ticket>" page with nothing else in it.
Result<ClientPromotionLinkResponse> promotionLink(const QByteArray &body, const QUrl &origin);

// The rewards status and a claim answer alike: an answer that does not decode gets the rewards
// window's own sentence instead of the decoder's.
Result<ClientRewardStatusResponse> rewardStatus(const QByteArray &body);

} // namespace velmora::AnswerChecks
