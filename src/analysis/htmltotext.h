#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Converts the markup of one page (Windows-1252 bytes) into the text lines the fax scan
// reads: the body text without tags, scripts and comments, entities decoded, whitespace
// collapsed, line breaks at paragraph, row, cell, break, list and option tags, short table
// rows on one line, and long lines wrapped after the first whitespace at or beyond column
// 75. One pass with bounded look-aheads; the cost grows linearly with the page. It cannot
// fail.
QByteArray HtmlToText(QByteArrayView html);

// The text with every space character (code 32) removed; other whitespace stays.
QByteArray RemoveSpaces(QByteArrayView text);

// The same conversion without its shortcuts (every row look-ahead walked in full, text
// copied byte by byte): slower, the same text. For tests of the faster one.
QByteArray HtmlToTextReference(QByteArrayView html);
