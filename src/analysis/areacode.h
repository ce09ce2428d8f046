#pragma once

#include <QByteArray>

// The label of a North American number's area code: the directory's description with its
// trailing spaces, or "Unknown/International" for a code the directory does not list. A
// leading "1-" is removed from the caller's variable. The code is the text before the
// first "-": an optional "+" and ASCII digits, at most 32767; anything else gives no code.
QByteArray AreaCodeLookup(QByteArray &number);

extern const char *const kUnknownInternational; // "Unknown/International"
