#include "useragent.h"

#include "varnel_version.h"

namespace UserAgent {

namespace {

// Keeps the characters keep() accepts.
template <typename Keep> QByteArray filtered(QByteArrayView s, Keep keep)
{
    QByteArray out;
    out.reserve(s.size());
    for (const char c : s) {
        if (keep(static_cast<unsigned char>(c)))
            out += c;
    }
    return out;
}

bool isLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

QByteArray productToken(QByteArrayView productName)
{
    QByteArray t =
        filtered(productName, [](unsigned char c) { return isLetter(c) || c == '-' || c == '_'; });
    return t.isEmpty() ? QByteArray("crawler") : t;
}

QByteArray text(QByteArrayView productName, QByteArrayView version, QByteArrayView website)
{
    const QByteArray v = filtered(version, [](unsigned char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    // Printable, and nothing that would end the comment or the token list early.
    const QByteArray w = filtered(website, [](unsigned char c) {
        return c > 0x20 && c < 0x7F && c != '(' && c != ')' && c != ';';
    });
    QByteArray ua = "Mozilla/5.0 (compatible; " + productToken(productName);
    if (!v.isEmpty())
        ua += '/' + v;
    if (!w.isEmpty())
        ua += "; +" + w;
    ua += ')';
    return ua;
}

QByteArray defaultProductToken()
{
    return productToken(VARNEL_PRODUCT_NAME);
}

QByteArray defaultText()
{
    return text(VARNEL_PRODUCT_NAME, VARNEL_VERSION, VARNEL_WEBSITE);
}

QByteArray sanitized(const QString &userText)
{
    QByteArray out;
    out.reserve(userText.size());
    for (const QChar ch : userText) {
        const char16_t u = ch.unicode();
        if (u >= 0x20 && u < 0x7F)
            out += char(u);
    }
    out = out.trimmed();
    return out.isEmpty() ? defaultText() : out;
}

} // namespace UserAgent
