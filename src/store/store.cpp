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

bool Store::addFax(FaxRow &row, bool *alreadyStored)
{
    row.fax = normalizeNumber(row.fax);
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

std::optional<bool> Store::faxExists(QString &number)
{
    number = normalizeNumber(number);
    return hasFax(number);
}

std::optional<bool> Store::numberExists(FaxRow &row)
{
    if (!row.e164.isEmpty()) {
        const std::optional<bool> known = hasE164(row.e164);
        if (!known || *known)
            return known;
    }
    return faxExists(row.fax);
}

bool Store::addWebsite(QString &site)
{
    site = normalizeSite(site);
    return insertWebsite(site);
}

bool Store::deleteWebsite(QString &site)
{
    site = normalizeSite(site);
    return removeWebsite(site);
}

std::optional<bool> Store::websiteExists(QString &site)
{
    site = normalizeSite(site);
    return hasWebsite(site);
}

bool Store::addSearch(QString &search)
{
    search = normalizeSearch(search);
    return insertSearch(search);
}

bool Store::deleteSearch(QString &search)
{
    search = normalizeSearch(search);
    return removeSearch(search);
}

const QString Store::reasonImported = QStringLiteral("imported from a file");
const QString Store::reasonOptOut = QStringLiteral("opt-out request");
const QString Store::reasonMarked = QStringLiteral("marked in the window");
const QString Store::reasonNoticeSays = QStringLiteral("page says no unsolicited faxes");

bool Store::addDoNotFax(const QString &number, const QString &key, const QString &reason,
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
