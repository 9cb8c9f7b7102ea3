#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// What a second launch asks of the running instance.
struct InstanceRequest {
    enum class Kind { Raise, OpenTicket };
    Kind kind = Kind::Raise;
    QString ticket; // OpenTicket only; already normalised

    friend bool operator==(const InstanceRequest &, const InstanceRequest &) = default;
};

// The one message a second launch sends over the instance socket:
//
//   "VELMORA" | version (1 byte, 1) | kind (1 byte: 1 raise, 2 ticket) | length (4 bytes, big
//   endian) | payload (UTF-8, the ticket; empty for raise)
//
// and the one byte the listener answers once it has taken the request. Everything read from the
// socket is untrusted: a peer of the same user can still be a confused or hostile program.
namespace InstanceMessage {

inline constexpr char acknowledgement = '\x06';
inline constexpr qsizetype headerSize = 13;
// Far above the longest ticket, far below anything worth buffering.
inline constexpr qsizetype maximumPayloadSize = 4096;

// The bytes of `request`, or an empty array when its ticket does not normalise.
QByteArray encode(const InstanceRequest &request);

struct Decoded {
    enum class State { Incomplete, Complete, Invalid };
    State state = State::Incomplete;
    InstanceRequest request; // Complete only
};

// Reads everything received on one connection so far. Complete only when `bytes` is exactly one
// well-formed message whose ticket normalises; Incomplete while it is a proper prefix of one
// that could still be; Invalid as soon as it can no longer become one (wrong magic or version,
// unknown kind, a length beyond the cap or not fitting the kind, bad UTF-8, a ticket that does
// not normalise, bytes after the message).
Decoded decode(const QByteArray &bytes);

} // namespace InstanceMessage

} // namespace velmora
