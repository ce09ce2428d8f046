#include "browser.h"

namespace {

// Sets the field of a form body or query ("a=1&sc=&b=2") to a value, adding the field
// when it is missing.
QByteArray withField(const QByteArray &form, const QByteArray &name, const QString &value)
{
    const QByteArray field = name + '=' + QUrl::toPercentEncoding(value);
    QList<QByteArray> parts = form.isEmpty() ? QList<QByteArray>() : form.split('&');
    bool set = false;
    for (QByteArray &p : parts) {
        if (p == name || p.startsWith(name + '=')) {
            p = field;
            set = true;
        }
    }
    if (!set)
        parts.append(field);
    return parts.join('&');
}

} // namespace

QUrl BrowserRequest::urlWithToken(const QString &token) const
{
    QUrl u(url, QUrl::TolerantMode);
    if (tokenField.isEmpty() || method == "POST")
        return u;
    u.setQuery(
        QString::fromLatin1(withField(u.query(QUrl::FullyEncoded).toLatin1(), tokenField, token)),
        QUrl::StrictMode);
    return u;
}

QByteArray BrowserRequest::bodyWithToken(const QString &token) const
{
    if (tokenField.isEmpty() || method != "POST")
        return body;
    return withField(body, tokenField, token);
}
