#include "enginerests.h"

#include "store.h"

#include <QLocale>

namespace EngineRests {

QString key(Kind kind)
{
    switch (kind) {
    case Kind::Captcha:
        return QStringLiteral("captcha");
    case Kind::TooManyRequests:
        return QStringLiteral("tooManyRequests");
    case Kind::Forbidden:
        return QStringLiteral("forbidden");
    case Kind::NoAnswer:
        break;
    }
    return QStringLiteral("noAnswer");
}

std::optional<Kind> kindOfKey(const QString &text)
{
    for (Kind k : {Kind::Captcha, Kind::TooManyRequests, Kind::Forbidden, Kind::NoAnswer}) {
        if (text == key(k))
            return k;
    }
    return std::nullopt;
}

QString label(Kind kind)
{
    switch (kind) {
    case Kind::Captcha:
        return QStringLiteral("CAPTCHA");
    case Kind::TooManyRequests:
        return QStringLiteral("too many requests");
    case Kind::Forbidden:
        return QStringLiteral("forbidden");
    case Kind::NoAnswer:
        break;
    }
    return QStringLiteral("no answer");
}

qint64 defaultSeconds(Kind kind)
{
    switch (kind) {
    case Kind::Captcha:
        return 24 * 3600;
    case Kind::TooManyRequests:
        return 3600;
    case Kind::Forbidden:
        return 6 * 3600;
    case Kind::NoAnswer:
        break;
    }
    return 10 * 60;
}

QString untilText(const QDateTime &until, const QDateTime &now)
{
    const QDateTime local = until.toLocalTime();
    const QLocale c = QLocale::c();
    if (local.date() == now.toLocalTime().date())
        return c.toString(local, QStringLiteral("HH:mm"));
    return c.toString(local, QStringLiteral("d MMM HH:mm"));
}

QString stateText(const Rest &rest, const QDateTime &now)
{
    const QString what = rest.kind == Kind::NoAnswer
                             ? label(rest.kind)
                             : QStringLiteral("refused (%1)").arg(label(rest.kind));
    return QStringLiteral("%1, resting until %2").arg(what, untilText(rest.until, now));
}

QDateTime StoreBook::now() const
{
    return m_store->now();
}

std::optional<QHash<QString, Rest>> StoreBook::current()
{
    const std::optional<QList<EngineRestRow>> rows = m_store->engineRests();
    if (!rows)
        return std::nullopt;
    const QDateTime now = this->now();
    QHash<QString, Rest> rests;
    for (const EngineRestRow &row : *rows) {
        const std::optional<Kind> kind = kindOfKey(row.kind);
        // A kind this version does not know still rests the engine.
        if (row.until > now)
            rests.insert(row.engine,
                         {row.engine, kind.value_or(Kind::Captcha), row.until, row.reason});
    }
    return rests;
}

bool StoreBook::rest(const Rest &rest)
{
    return m_store->setEngineRest({rest.engine, key(rest.kind), rest.until, rest.reason});
}

bool StoreBook::wake(const QString &engine)
{
    return m_store->endEngineRest(engine);
}

} // namespace EngineRests
