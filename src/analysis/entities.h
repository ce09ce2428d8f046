#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The text of one character entity reference, given the name between "&" and ";" as found
// in the page (Windows-1252 bytes). Never fails:
// - a decimal number (ASCII digits, after one optional "#") gives the byte of that value
//   for 0..255, the Windows-1252 byte of that code point above (8217 gives 146, 8364 gives
//   128), and the empty text when the code page has no such character;
// - quot gives the empty text, amp, lt and gt their characters;
// - the 70 Latin-1 names give their byte; a letter name with any upper-case letter as
//   written gives the upper-case letter (Eacute, EACUTE: 201; eacute: 233);
// - every other name, "#x41" included, gives the empty text.
QByteArray DecodeEntities(QByteArrayView name);

// The same into a buffer of at least one byte, without allocating; returns the number of
// bytes written (every result is at most one byte).
int decodeEntityInto(char *out, QByteArrayView name);
