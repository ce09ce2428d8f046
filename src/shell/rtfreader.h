#pragma once

class QByteArray;
class QTextDocument;

// Reads a rich text (RTF) document into doc, replacing its contents.
//
// The subset read is what the help document uses: paragraphs (\par, \pard, \line, \tab),
// alignment (\ql \qc \qr \qj), indents and spacing (\li \ri \fi \sb \sa), bold, italic and
// underline, font sizes (\fs), bullet paragraphs (\pnlvlblt, \ls), hyperlinks (\field with a
// HYPERLINK instruction) and the character escapes \'hh (Windows-1252), \uN (with \ucN),
// \\ \{ \} and the named symbols (\bullet, \emdash, \lquote ...).
//
// Anything else degrades to its plain text: unknown control words are ignored, destinations
// that carry no text (font and colour tables, pictures, "\*" groups) are skipped, and input
// that is not RTF at all is shown as plain text. No input makes it fail, hang or read outside
// the buffer; the work is linear in the size of the input.
//
// Returns true when the input was read as RTF, false when it was shown as plain text.
bool readRtf(const QByteArray &rtf, QTextDocument *doc);
