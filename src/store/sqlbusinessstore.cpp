// The businesses of the harvest over a Qt SQL connection (SqlStore's BusinessStore side):
// the statements are the same on both backends.

#include "faxquerysql.h"
#include "sqlstore.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

namespace {

const char *const kFindBusiness = "SELECT id FROM businesses WHERE site = ? AND org_key = ?";
const char *const kFirstOfSite = "SELECT id FROM businesses WHERE site = ? ORDER BY id LIMIT 1";
// Two harvesters of a team may create one business at the same moment: one row is kept.
const char *const kInsertBusiness =
    "INSERT INTO businesses (site, org_key, organization, unit, street, postal_code, city, "
    "region, country, phone, email, sources, date) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT DO NOTHING";
const char *const kOwnerOf =
    "SELECT unit, street, postal_code, city, region, country, phone, email, sources "
    "FROM businesses WHERE id = ?";
const char *const kUpdateOwner =
    "UPDATE businesses SET unit = ?, street = ?, postal_code = ?, city = ?, region = ?, "
    "country = ?, phone = ?, email = ?, sources = ? WHERE id = ?";
const char *const kAddSearch = "INSERT INTO business_searches (business, search, date) "
                               "VALUES (?, ?, ?) ON CONFLICT DO NOTHING";
const char *const kAddNumber = "INSERT INTO business_numbers (business, kind, e164, page, date) "
                               "VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING";
const char *const kPointNumber =
    "INSERT INTO number_business (e164, business) VALUES (?, ?) ON CONFLICT DO NOTHING";

const QString kFax = QStringLiteral("fax");
const QString kPhone = QStringLiteral("phone");

QString nonNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// "key=word key=word": the parts of a that are known, then those only b knows.
QString mergedSources(const QString &a, const QString &b)
{
    QStringList parts = a.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList keys;
    for (const QString &p : qAsConst(parts))
        keys << p.section(QLatin1Char('='), 0, 0);
    for (const QString &p : b.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!keys.contains(p.section(QLatin1Char('='), 0, 0)))
            parts << p;
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

std::optional<qint64> SqlStore::businessOf(const BusinessRow &b)
{
    const QString key = foldCase(b.organization);
    const std::optional<QStringList> id = key.isEmpty()
                                              ? column(kFirstOfSite, {nonNull(b.site)})
                                              : column(kFindBusiness, {nonNull(b.site), key});
    if (!id)
        return std::nullopt;
    return id->isEmpty() ? 0 : id->constFirst().toLongLong();
}

bool SqlStore::fillOwner(qint64 id, const BusinessRow &b)
{
    QSqlQuery *q = prepared(kOwnerOf);
    if (!q)
        return false;
    bindAll(q, {id});
    if (!exec(q, false) || !q->next()) {
        q->finish();
        return false;
    }
    QStringList old;
    for (int i = 0; i < 9; ++i)
        old << q->value(i).toString();
    q->finish();
    QStringList now = old;
    // Each part the business lacks is taken from this owner; what it has stays.
    const QString *const parts[] = {&b.unit,   &b.street,  &b.postalCode, &b.city,
                                    &b.region, &b.country, &b.phone,      &b.email};
    for (int i = 0; i < 8; ++i) {
        if (now.at(i).isEmpty())
            now[i] = nonNull(*parts[i]);
    }
    now[8] = mergedSources(old.at(8), b.sources);
    if (now == old)
        return true;
    QVariantList values;
    for (const QString &v : qAsConst(now))
        values << v;
    return write(kUpdateOwner, values << id);
}

bool SqlStore::addBusinessFax(const BusinessFax &found)
{
    if (found.fax.isEmpty())
        return false;
    const BusinessRow &b = found.business;
    const QString date = now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    beginBatch();
    std::optional<qint64> id = businessOf(b);
    bool ok = id.has_value();
    if (ok && *id == 0) {
        ok = write(kInsertBusiness,
                   {nonNull(b.site), foldCase(nonNull(b.organization)), nonNull(b.organization),
                    nonNull(b.unit), nonNull(b.street), nonNull(b.postalCode), nonNull(b.city),
                    nonNull(b.region), nonNull(b.country), nonNull(b.phone), nonNull(b.email),
                    nonNull(b.sources), date});
        // The row another harvester made meanwhile is as good; an owner without an
        // organisation is looked up by its own key now that the site has a business.
        if (ok) {
            id = column(kFindBusiness, {nonNull(b.site), foldCase(nonNull(b.organization))})
                     .value_or(QStringList())
                     .value(0)
                     .toLongLong();
            ok = *id > 0;
        }
    } else if (ok) {
        ok = fillOwner(*id, b);
    }
    // As the numbers table keeps it: a blank search string is "Unknown".
    const QString search = normalizeSearch(found.search);
    ok =
        ok && write(kAddSearch, {*id, search.isEmpty() ? QStringLiteral("Unknown") : search, date});
    ok = ok && write(kAddNumber, {*id, kFax, found.fax, nonNull(found.page), date});
    if (ok && !b.phone.isEmpty())
        ok = write(kAddNumber, {*id, kPhone, b.phone, nonNull(found.page), date});
    ok = ok && write(kPointNumber, {found.fax, *id});
    endBatch();
    return ok && lastError().isEmpty();
}

namespace {

// What the reads of the businesses keep of each number row.
struct NumberRow
{
    qint64 business = 0;
    QString kind;
    QString e164;
    QString page;
    QDateTime date;
    bool stored = false; // a fax in the numbers table
};

} // namespace

std::optional<QList<BusinessRow>> SqlStore::readBusinesses(const QString &where,
                                                           const QVariantList &values)
{
    const FaxQuerySql::Dialect &d = dialect();
    QStringList columns{QStringLiteral("b.id")};
    for (const char *c : {"site", "organization", "unit", "street", "postal_code", "city", "region",
                          "country", "phone", "email", "sources"})
        columns << QStringLiteral("b.") + QLatin1String(c);
    columns << d.dateText.arg(QStringLiteral("b.date"));
    const auto q =
        select(QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) +
                   QStringLiteral(" FROM businesses b") + where + QStringLiteral(" ORDER BY b.id"),
               values);
    if (!q)
        return std::nullopt;
    QList<BusinessRow> rows;
    while (q->next())
        rows.append(businessAt(*q, 0));
    return rows;
}

std::optional<QList<BusinessRow>> SqlStore::businesses(const QString &text)
{
    const FaxQuerySql::Dialect &d = dialect();
    QString where = QStringLiteral(
        " WHERE EXISTS (SELECT 1 FROM business_numbers n JOIN faxes f ON f.e164 = n.e164 AND "
        "f.e164 <> '' WHERE n.business = b.id AND n.kind = 'fax')");
    QVariantList values;
    if (!text.trimmed().isEmpty()) {
        QStringList any;
        for (const char *c : {"b.organization", "b.site", "b.city"}) {
            any << QStringLiteral("%1 %2 ? ESCAPE '\\'").arg(QLatin1String(c), d.caseless);
            values << FaxQuerySql::containsPattern(text.trimmed());
        }
        where += QStringLiteral(" AND (") + any.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    std::optional<QList<BusinessRow>> rows = readBusinesses(where, values);
    if (!rows)
        return std::nullopt;
    QHash<qint64, qsizetype> byId;
    for (qsizetype i = 0; i < rows->size(); ++i)
        byId.insert(rows->at(i).id, i);

    const auto numbers = select(
        QStringLiteral("SELECT n.business, n.kind, n.e164, n.page, EXISTS (SELECT 1 FROM faxes f "
                       "WHERE f.e164 = n.e164 AND f.e164 <> '') FROM business_numbers n "
                       "ORDER BY n.id"));
    if (!numbers)
        return std::nullopt;
    QHash<qint64, QSet<QString>> pages;
    while (numbers->next()) {
        const auto it = byId.constFind(numbers->value(0).toLongLong());
        if (it == byId.cend())
            continue;
        BusinessRow &b = (*rows)[*it];
        const QString kind = numbers->value(1).toString();
        const QString e164 = numbers->value(2).toString();
        pages[b.id].insert(numbers->value(3).toString());
        QStringList &list = kind == kFax ? b.faxes : b.phones;
        if ((kind != kFax || numbers->value(4).toBool()) && !list.contains(e164))
            list << e164;
    }
    for (BusinessRow &b : *rows)
        b.pages = pages.value(b.id).size();

    const auto searches =
        select(QStringLiteral("SELECT business, search FROM business_searches ORDER BY id"));
    if (!searches)
        return std::nullopt;
    while (searches->next()) {
        const auto it = byId.constFind(searches->value(0).toLongLong());
        if (it != byId.cend())
            (*rows)[*it].searches << searches->value(1).toString();
    }
    return rows;
}

std::optional<QList<BusinessFax>> SqlStore::allBusinessFaxes()
{
    const FaxQuerySql::Dialect &d = dialect();
    const std::optional<QList<BusinessRow>> rows = readBusinesses(QString(), {});
    if (!rows)
        return std::nullopt;
    QHash<qint64, qsizetype> byId;
    for (qsizetype i = 0; i < rows->size(); ++i)
        byId.insert(rows->at(i).id, i);
    const auto numbers = select(QStringLiteral("SELECT business, kind, e164, page, %1 FROM "
                                               "business_numbers ORDER BY id")
                                    .arg(d.dateText.arg(QStringLiteral("date"))));
    if (!numbers)
        return std::nullopt;
    QList<NumberRow> faxes;
    QHash<QPair<qint64, QString>, QString> phoneAt; // the phone beside a page's fax
    while (numbers->next()) {
        NumberRow n;
        n.business = numbers->value(0).toLongLong();
        n.kind = numbers->value(1).toString();
        n.e164 = numbers->value(2).toString();
        n.page = numbers->value(3).toString();
        n.date = QDateTime::fromString(numbers->value(4).toString(),
                                       QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!byId.contains(n.business))
            continue;
        if (n.kind == kFax)
            faxes << n;
        else if (!phoneAt.contains({n.business, n.page}))
            phoneAt.insert({n.business, n.page}, n.e164);
    }
    const auto searches =
        select(QStringLiteral("SELECT business, search, %1 FROM business_searches ORDER BY id")
                   .arg(d.dateText.arg(QStringLiteral("date"))));
    if (!searches)
        return std::nullopt;
    QHash<qint64, QList<QPair<QString, QDateTime>>> searchesOf;
    while (searches->next())
        searchesOf[searches->value(0).toLongLong()].append(
            {searches->value(1).toString(),
             QDateTime::fromString(searches->value(2).toString(),
                                   QStringLiteral("yyyy-MM-dd HH:mm:ss"))});

    QList<BusinessFax> out;
    QHash<qint64, qsizetype> firstOf; // each business's first fax in out
    for (const NumberRow &n : qAsConst(faxes)) {
        BusinessFax f;
        f.business = rows->at(byId.value(n.business));
        f.business.phone = phoneAt.value({n.business, n.page});
        f.fax = n.e164;
        f.page = n.page;
        f.search = searchesOf.value(n.business).value(0).first;
        f.date = n.date;
        if (!firstOf.contains(n.business))
            firstOf.insert(n.business, out.size());
        out << f;
    }
    // The business's later search strings, each with its first fax.
    for (const BusinessRow &b : *rows) {
        const auto first = firstOf.constFind(b.id);
        const QList<QPair<QString, QDateTime>> found = searchesOf.value(b.id);
        for (qsizetype i = 1; first != firstOf.cend() && i < found.size(); ++i) {
            BusinessFax f = out.at(*first);
            f.search = found.at(i).first;
            f.date = found.at(i).second;
            out << f;
        }
    }
    return out;
}
