#pragma once
class QTextDocument;
class QByteArray;
// Filled in by the help viewer work.
bool readRtf(const QByteArray &rtf, QTextDocument *doc);
