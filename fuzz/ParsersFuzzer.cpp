// Feeds arbitrary bytes to every parser that reads outside input: command-line words, origins,
// invite links and tickets, stored credentials, and every message the service can send.
// Nothing may crash, hang or read out of bounds, and what a parser accepts must be well formed.
#include "app/CommandLineOptions.h"
#include "core/ActivationState.h"
#include "net/Messages.h"
#include "net/PromotionHandoff.h"
#include "net/ServerURL.h"
#include "net/UrlComponents.h"
#include "net/WallpaperAPIClient.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    if (const auto url = UrlComponents::parse(text)) {
        // Whatever parses must survive being written out and read back.
        const auto again = UrlComponents::parse(url->toString());
        if (!again || again->toString() != url->toString())
            std::abort();
    }
    if (const auto ticket = PromotionHandoff::normalizeTicket(text)) {
        if (ticket->size() < PromotionHandoff::minimumTicketLength ||
            PromotionHandoff::parseURI(*PromotionHandoff::buildURI(*ticket)) != ticket)
            std::abort();
    }
    (void)PromotionHandoff::parseURI(text);
    if (const Result<QString> origin = ServerURL::normalize(text); origin.ok()) {
        if (ServerURL::normalize(*origin).value() != *origin)
            std::abort();
    }
    (void)CommandLineOptions::parse(text.split(u'\n'));

    (void)ActivationState::decodeCompatible(bytes);
    (void)ActivationResponse::decode(bytes);
    (void)WallpaperMetadata::decode(bytes);
    (void)SoftwareUpdate::decode(bytes);
    (void)ClientPromotionLinkResponse::decode(bytes);
    if (const auto rewards = ClientRewardStatusResponse::decode(bytes); rewards.ok()) {
        (void)rewards->safeRedemptionURL();
        (void)rewards->redemptionQRData();
        (void)rewards->shouldClaimBaseOnOpen();
    }
    (void)serverErrorMessage(bytes);
    (void)WallpaperAPIClient::isValidIdempotencyKey(text);
    return 0;
}
