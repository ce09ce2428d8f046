#pragma once

#include <QByteArray>
#include <QString>

// Page text is 8-bit Windows-1252. These two map it to and from QString for the store and
// the lists. The mapping is one to one over all 256 byte values (the five bytes Windows-1252
// leaves undefined map to the C1 controls of the same value), so a site or a label read from
// a page reaches the store and comes back byte for byte.
namespace Cp1252 {
QString toUnicode(const QByteArray &bytes);
// Characters outside Windows-1252 become "?".
QByteArray fromUnicode(const QString &text);
// The Windows-1252 byte of a Unicode code point, or -1 when the code page has none.
int byteOfCodePoint(uint codePoint);
// The Unicode code point of a Windows-1252 byte.
uint codePointOfByte(uchar byte);
} // namespace Cp1252
