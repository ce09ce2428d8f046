#include "resultlinks.h"

#include <QUrlQuery>

namespace ResultLinks {

namespace {

constexpr int kMaxWrappers = 4; // a wrapper inside a wrapper, and so on

bool startsWithEncodedScheme(const QString &text)
{
    return text.startsWith(QLatin1String("http%3a"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("https%3a"), Qt::CaseInsensitive);
}

QString percentDecoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

QUrl parse(QString text, const QUrl &base)
{
    text = text.trimmed();
    if (startsWithEncodedScheme(text))
        text = percentDecoded(text);
    const QUrl url(text, QUrl::TolerantMode);
    return base.isValid() ? base.resolved(url) : url;
}

// The address inside a wrapper, or an empty text when url is no wrapper.
QString wrapped(const QUrl &url)
{
    const QUrlQuery query(url);
    const QString uddg = query.queryItemValue(QStringLiteral("uddg"), QUrl::FullyDecoded);
    if (!uddg.isEmpty())
        return uddg;

    const QString path = url.path(QUrl::FullyEncoded);
    if (path == QLatin1String("/url") || path == QLatin1String("/interstitial")) {
        for (const char *key : {"q", "url"}) {
            const QString v = query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
            if (v.startsWith(QLatin1String("http"), Qt::CaseInsensitive) ||
                v.startsWith(QLatin1Char('/')))
                return v;
        }
    }

    if (path.startsWith(QLatin1String("/ck/"))) {
        const QString u = query.queryItemValue(QStringLiteral("u"), QUrl::FullyDecoded);
        if (u.startsWith(QLatin1String("a1"))) {
            const auto decoded = QByteArray::fromBase64Encoding(
                u.mid(2).toLatin1(),
                QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
            if (decoded)
                return QString::fromUtf8(*decoded);
        }
    }

    const qsizetype ru = path.indexOf(QLatin1String("/RU="));
    if (ru >= 0) {
        const qsizetype from = ru + 4;
        qsizetype end = path.indexOf(QLatin1String("/RK="), from);
        if (end < 0)
            end = path.indexOf(QLatin1String("/RS="), from);
        if (end < 0)
            end = path.size();
        return percentDecoded(path.mid(from, end - from));
    }
    return QString();
}

} // namespace

QUrl target(const QString &href, const QUrl &pageAddress)
{
    QUrl url = parse(href, pageAddress);
    for (int i = 0; i < kMaxWrappers && url.isValid(); ++i) {
        const QString inner = wrapped(url);
        if (inner.isEmpty())
            break;
        url = parse(inner, url);
    }
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return QUrl();
    return url;
}

} // namespace ResultLinks
