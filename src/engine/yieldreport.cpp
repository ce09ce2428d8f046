#include "yieldreport.h"

void YieldReport::begin(const QString &search)
{
    if (m_open && m_tally.search == search)
        return;
    // Sites from a file are harvested without a search: there is no search to report on.
    if (search.trimmed().isEmpty()) {
        m_open = false;
        m_numbers.clear();
        return;
    }
    m_open = true;
    m_tally = Tally{};
    m_tally.search = search;
    m_numbers.clear();
}

void YieldReport::sitesFound(int count)
{
    if (m_open)
        m_tally.sites += count;
}

void YieldReport::numberRead(const QString &number, bool isNew)
{
    if (!m_open || m_numbers.contains(number))
        return;
    m_numbers.insert(number);
    ++m_tally.numbers;
    if (isNew)
        ++m_tally.newNumbers;
}

void YieldReport::pageRendered()
{
    if (m_open)
        ++m_tally.rendered;
}

void YieldReport::finish()
{
    if (!m_open)
        return;
    m_open = false;
    const Tally tally = m_tally;
    m_tally = Tally{};
    m_numbers.clear();
    Q_EMIT finished(tally);
}

QString YieldReport::text(const Tally &tally)
{
    auto count = [](int n, const char *one, const char *many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QString text = tally.search + QStringLiteral(": ") + count(tally.sites, "site", "sites") +
                   QStringLiteral(", ") + count(tally.numbers, "number", "numbers");
    if (tally.numbers > 0)
        text += QStringLiteral(", %1 new (%2%)")
                    .arg(tally.newNumbers)
                    .arg(qRound(100.0 * tally.newNumbers / tally.numbers));
    if (tally.rendered > 0)
        text += QStringLiteral(", ") + count(tally.rendered, "page rendered", "pages rendered");
    return text;
}
