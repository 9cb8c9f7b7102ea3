#pragma once

#include <QChar>
#include <QStringView>

#include <algorithm>

// Hexadecimal text: digests, machine and device identifiers, percent escapes. Kept in the lowest
// layer so that every layer checks it the same way.
namespace velmora::HexDigits {

inline bool isLowerDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

inline bool isDigit(QChar c) {
    return isLowerDigit(c) || (c >= u'A' && c <= u'F');
}

// `text` is exactly `length` hexadecimal digits, in either case or lower case only.
enum class Case { Any, Lower };
inline bool isHex(QStringView text, qsizetype length, Case letterCase = Case::Any) {
    return text.size() == length && std::all_of(text.begin(), text.end(),
                                                letterCase == Case::Lower ? isLowerDigit : isDigit);
}

} // namespace velmora::HexDigits
