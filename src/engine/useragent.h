#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The User-Agent the harvest sends in the modern mode, and the product token robots.txt
// groups are matched against. The default names the program, its version and its web
// address in the form sites and their firewalls recognise as a crawler:
// "Mozilla/5.0 (compatible; Name/Version; +address)".
namespace UserAgent {

// The name as one token of letters, "-" and "_" (spaces and other characters dropped).
QByteArray productToken(QByteArrayView productName);
QByteArray text(QByteArrayView productName, QByteArrayView version, QByteArrayView website);

// The same from the build's version information.
QByteArray defaultProductToken();
QByteArray defaultText();

// A text the user wrote, fit for a header line: only printable ASCII is kept (so no line
// break can end the header early), spaces trimmed. Empty after that: the default.
QByteArray sanitized(const QString &userText);

} // namespace UserAgent
