#pragma once

#include <QString>

namespace velmora::Text {

// Removes white space and line breaks (any Unicode separator, tab, CR, LF, NEL) at both ends.
QString trimmed(const QString &text);
bool isBlank(const QString &text);

// Length and prefix in user-perceived characters (extended grapheme clusters), so that a
// combining mark or an emoji sequence counts once and is never cut in half.
qsizetype userPerceivedLength(const QString &text);
QString userPerceivedPrefix(const QString &text, qsizetype count);
// The longest prefix of whole user-perceived characters that takes at most `bytes` in UTF-8.
QString utf8Prefix(const QString &text, qsizetype bytes);

// Text from outside (a service's message, a date) made fit for a terminal, a log line or an
// alert: control and invisible format characters (escape sequences, carriage returns, NUL,
// bidirectional overrides) removed, surrounding white space trimmed, at most `count`
// user-perceived characters kept.
QString displaySafe(const QString &text, qsizetype count);
// The same for text whose line breaks matter (instructions, release notes): each line cleaned on
// its own and cut to `lineLength`, at most `lines` lines kept.
QString displaySafeLines(const QString &text, qsizetype lines, qsizetype lineLength);

} // namespace velmora::Text
