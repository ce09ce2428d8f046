#include "store.h"

namespace {

// Removes every occurrence of needle (ASCII letters folded), in one left-to-right pass.
void removeAllAsciiCaseless(QString &text, QLatin1String needle)
{
    const int n = int(needle.size());
    if (n == 0 || text.size() < n)
        return;
    QString out;
    out.reserve(text.size());
    int i = 0;
    const int last = int(text.size()) - n;
    while (i < text.size()) {
        bool match = false;
        if (i <= last) {
            match = true;
            for (int k = 0; k < n; ++k) {
                ushort c = text.at(i + k).unicode();
                ushort d = uchar(needle.at(k).toLatin1());
                if (c >= 'A' && c <= 'Z')
                    c = ushort(c + 32);
                if (d >= 'A' && d <= 'Z')
                    d = ushort(d + 32);
                if (c != d) {
                    match = false;
                    break;
                }
            }
        }
        if (match) {
            i += n;
        } else {
            out.append(text.at(i));
            ++i;
        }
    }
    text = out;
}

// Spaces only; other whitespace stays.
QString trimSpaces(const QString &s)
{
    int b = 0, e = int(s.size());
    while (b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}

} // namespace

// Kept on purpose (tst_store normalizeSite "one pass per prefix"): each prefix is removed in
// one pass, so what a removal joins together stays.
QString Store::normalizeSite(QString site)
{
    // "https://" first, so that a secure address is not left as "httpshost".
    static const char *const prefixes[] = {"https://", "http://", "ttp://", "tp://", "p://", "://"};
    for (const char *p : prefixes)
        removeAllAsciiCaseless(site, QLatin1String(p));
    return trimSpaces(site);
}

// Kept on purpose (tst_store normalizeNumber "dot then space keeps the dot"): the dot goes
// before the spaces are trimmed.
QString Store::normalizeNumber(QString number)
{
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    return trimSpaces(number);
}

QString Store::normalizeSearch(QString search)
{
    return trimSpaces(search);
}

QString Store::foldCase(QString text)
{
    for (QChar &c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    return text;
}

bool NumberStore::addFax(FaxRow &row, bool *alreadyStored)
{
    row.fax = Store::normalizeNumber(row.fax);
    if (row.search.isEmpty())
        row.search = QStringLiteral("Unknown");
    if (row.context.size() > ContextLength)
        row.context.truncate(row.context.at(ContextLength - 1).isHighSurrogate() ? ContextLength - 1
                                                                                 : ContextLength);
    row.date = now();
    bool known = false;
    const bool ok = insertFax(row, &known);
    if (alreadyStored)
        *alreadyStored = ok && known;
    return ok;
}

std::optional<bool> NumberStore::faxExists(QString &number)
{
    number = Store::normalizeNumber(number);
    return hasFax(number);
}

std::optional<bool> NumberStore::numberExists(FaxRow &row)
{
    if (!row.e164.isEmpty()) {
        const std::optional<bool> known = hasE164(row.e164);
        if (!known || *known)
            return known;
    }
    return faxExists(row.fax);
}

bool Backlog::addWebsite(QString &site)
{
    site = Store::normalizeSite(site);
    return insertWebsite(site);
}

bool Backlog::deleteWebsite(QString &site)
{
    site = Store::normalizeSite(site);
    return removeWebsite(site);
}

std::optional<bool> Backlog::websiteExists(QString &site)
{
    site = Store::normalizeSite(site);
    return hasWebsite(site);
}

bool SearchList::addSearch(QString &search)
{
    search = Store::normalizeSearch(search);
    return insertSearch(search);
}

bool SearchList::deleteSearch(QString &search)
{
    search = Store::normalizeSearch(search);
    return removeSearch(search);
}

const QString DoNotFaxStore::reasonImported = QStringLiteral("imported from a file");
const QString DoNotFaxStore::reasonOptOut = QStringLiteral("opt-out request");
const QString DoNotFaxStore::reasonMarked = QStringLiteral("marked in the window");
const QString DoNotFaxStore::reasonNoticeSays = QStringLiteral("page says no unsolicited faxes");

bool DoNotFaxStore::addDoNotFax(const QString &number, const QString &key, const QString &reason,
                                bool *added)
{
    bool isNew = false;
    const bool ok = insertDoNotFax({number.trimmed(), key, now(), reason}, &isNew);
    if (added)
        *added = ok && isNew;
    return ok;
}

std::optional<QStringList> Store::takeSites(int count, TakeOrder order)
{
    std::optional<QStringList> sites;
    if (order == TakeOrder::Newest) {
        sites = newestWebsites(count);
    } else {
        const std::optional<QString> first = firstWebsite();
        if (first)
            sites = first->isEmpty() ? QStringList() : QStringList{*first};
    }
    if (!sites)
        return std::nullopt;
    // Noted first: a kill in between keeps the site. A refused write has been reported
    // (writeFailed); the queue goes on as far as it can meanwhile.
    for (const QString &site : qAsConst(*sites)) {
        (void)notePending(site);
        QString copy = site;
        (void)deleteWebsite(copy);
    }
    return sites;
}

bool Store::returnSites(const QStringList &sites)
{
    bool ok = true;
    for (const QString &site : sites) {
        QString copy = site;
        // Back in the backlog, the site needs its note no more.
        if (addWebsite(copy))
            ok = clearPending(site) && ok;
        else
            ok = false;
    }
    return ok;
}

QMetaObject::Connection StoreAccess::onWriteFailed(QObject *context,
                                                   std::function<void(const QString &)> f)
{
    return QObject::connect(qobject_cast<Store *>(storeObject()), &Store::writeFailed, context,
                            std::move(f));
}

QMetaObject::Connection StoreAccess::onStoreProblem(QObject *context,
                                                    std::function<void(const QString &)> f)
{
    return QObject::connect(qobject_cast<Store *>(storeObject()), &Store::storeProblem, context,
                            std::move(f));
}

void Store::setHarvester(const QString &id, int leaseSeconds)
{
    if (TeamQueue *team = teamQueue())
        team->setHarvester(id, leaseSeconds);
}

std::optional<Store::SearchClaim> Store::claimSearch(const QString &search)
{
    if (TeamQueue *team = teamQueue())
        return team->claimSearch(search);
    // Alone, the caller empties the queue first and looks for sites.
    return SearchClaim::Discover;
}

void Store::discoveryDone()
{
    if (TeamQueue *team = teamQueue())
        team->discoveryDone();
}

void Store::setOwnCounts(qint64 sitesScanned, qint64 numbersFound)
{
    if (TeamQueue *team = teamQueue())
        team->setOwnCounts(sitesScanned, numbersFound);
}

std::optional<bool> Store::teamStillWorking(const QString &search)
{
    if (TeamQueue *team = teamQueue())
        return team->teamStillWorking(search);
    return false;
}
