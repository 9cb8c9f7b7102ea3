#include "InstanceMessage.h"

#include "net/PromotionHandoff.h"

#include <QStringDecoder>
#include <QtEndian>

#include <optional>

namespace velmora::InstanceMessage {

namespace {

constexpr char kMagicAndVersion[] = {'V', 'E', 'L', 'M', 'O', 'R', 'A', '\x01'};
constexpr qsizetype kKindOffset = sizeof kMagicAndVersion;
constexpr qsizetype kLengthOffset = kKindOffset + 1;
static_assert(kLengthOffset + 4 == headerSize);

constexpr char kRaise = 1;
constexpr char kOpenTicket = 2;

std::optional<QString> strictUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

Decoded invalid() {
    return {Decoded::State::Invalid, {}};
}

} // namespace

QByteArray encode(const InstanceRequest &request) {
    QByteArray payload;
    char kind = kRaise;
    if (request.kind == InstanceRequest::Kind::OpenTicket) {
        const std::optional<QString> ticket = PromotionHandoff::normalizeTicket(request.ticket);
        if (!ticket)
            return {};
        payload = ticket->toUtf8();
        kind = kOpenTicket;
    }
    QByteArray bytes(kMagicAndVersion, sizeof kMagicAndVersion);
    bytes.append(kind);
    char length[4];
    qToBigEndian(quint32(payload.size()), length);
    bytes.append(length, sizeof length);
    return bytes + payload;
}

Decoded decode(const QByteArray &bytes) {
    const QByteArrayView received(bytes);
    const QByteArrayView magic(kMagicAndVersion, sizeof kMagicAndVersion);
    // A wrong first byte ends the connection at once instead of when the timer fires.
    if (!magic.startsWith(received.first(std::min(received.size(), magic.size()))))
        return invalid();
    if (received.size() <= kKindOffset)
        return {};
    const char kind = received[kKindOffset];
    if (kind != kRaise && kind != kOpenTicket)
        return invalid();
    if (received.size() < headerSize)
        return {};

    const quint32 length = qFromBigEndian<quint32>(received.data() + kLengthOffset);
    if (length > quint32(maximumPayloadSize) || (kind == kRaise) != (length == 0))
        return invalid();
    const qsizetype total = headerSize + qsizetype(length);
    if (received.size() < total)
        return {};
    if (received.size() > total)
        return invalid();
    if (kind == kRaise)
        return {Decoded::State::Complete, {}};

    const std::optional<QString> text = strictUtf8(received.sliced(headerSize));
    if (!text)
        return invalid();
    const std::optional<QString> ticket = PromotionHandoff::normalizeTicket(*text);
    if (!ticket)
        return invalid();
    return {Decoded::State::Complete, {InstanceRequest::Kind::OpenTicket, *ticket}};
}

} // namespace velmora::InstanceMessage
