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

bool isAddress(const QString &value)
{
    return value.startsWith(QLatin1String("http"), Qt::CaseInsensitive) ||
           value.startsWith(QLatin1Char('/'));
}

bool pathFits(const QString &path, const QString &pattern)
{
    if (pattern.isEmpty())
        return true;
    if (pattern.endsWith(QLatin1Char('*')))
        return path.startsWith(QStringView(pattern).chopped(1));
    return path == pattern;
}

// The address inside a wrapper of that kind, or an empty text when url is no such wrapper.
QString unwrapped(const QUrl &url, const QString &path, const Wrapper &w)
{
    if (!pathFits(path, w.path))
        return QString();
    if (!w.pathBetween.isEmpty()) {
        const qsizetype at = path.indexOf(w.pathBetween.first());
        if (at < 0)
            return QString();
        const qsizetype from = at + w.pathBetween.first().size();
        qsizetype end = -1;
        for (qsizetype k = 1; k < w.pathBetween.size() && end < 0; ++k)
            end = path.indexOf(w.pathBetween.at(k), from);
        if (end < 0)
            end = path.size();
        return percentDecoded(path.mid(from, end - from));
    }
    if (w.query.isEmpty())
        return QString();
    const QUrlQuery query(url);
    for (const QString &key : w.query) {
        QString v = query.queryItemValue(key, QUrl::FullyDecoded);
        if (!w.strip.isEmpty()) {
            if (!v.startsWith(w.strip))
                continue;
            v = v.mid(w.strip.size());
        }
        if (w.base64url) {
            const auto decoded = QByteArray::fromBase64Encoding(
                v.toLatin1(),
                QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                continue;
            v = QString::fromUtf8(*decoded);
        }
        if (isAddress(v))
            return v;
    }
    return QString();
}

} // namespace

QUrl target(const QString &href, const QUrl &pageAddress, const QList<Wrapper> &wrappers)
{
    QUrl url = parse(href, pageAddress);
    for (int i = 0; i < kMaxWrappers && url.isValid() && !wrappers.isEmpty(); ++i) {
        const QString path = url.path(QUrl::FullyEncoded);
        QString inner;
        for (qsizetype k = 0; k < wrappers.size() && inner.isEmpty(); ++k)
            inner = unwrapped(url, path, wrappers.at(k));
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
