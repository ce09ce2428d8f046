#include "numberscounts.h"

#include "areacode.h"
#include "backgroundjobs.h"

#include <algorithm>

NumbersCounter::NumbersCounter(Store *store, QObject *parent) : QObject(parent), m_store(store)
{
    std::unique_ptr<Store> another = store ? store->openAnother() : nullptr;
    if (!another)
        return;
    // The second connection opens on first use and closes when the thread ends, both there.
    m_another = another.get();
    m_jobs = new BackgroundJobs(QStringLiteral("numbers counter"), QThread::LowPriority, this);
    m_jobs->adopt(another.release());
}

NumbersCounter::~NumbersCounter()
{
    delete m_jobs; // waits for a read in progress
}

quint64 NumbersCounter::request(const FaxFilter &filter, int parts)
{
    const quint64 id = ++m_last;
    if (!m_jobs) {
        const NumbersCounts counts = m_store ? read(*m_store, filter, parts) : NumbersCounts();
        QMetaObject::invokeMethod(
            this, [this, id, counts] { Q_EMIT counted(id, counts); }, Qt::QueuedConnection);
        return id;
    }
    for (int bit = 0; bit < 3; ++bit) {
        if (parts & (1 << bit))
            (*m_latest)[size_t(bit)] = id;
    }
    const auto latest = m_latest;
    Store *another = m_another;
    m_jobs->submit(
        [latest, another, id, filter, parts]() -> std::optional<NumbersCounts> {
            // A read that every part of has been asked for again since is not worth its time.
            bool wanted = false;
            for (int bit = 0; bit < 3; ++bit)
                wanted |= (parts & (1 << bit)) && (*latest)[size_t(bit)] == id;
            if (!wanted)
                return std::nullopt;
            return read(*another, filter, parts);
        },
        [this, id](quint64, const std::optional<NumbersCounts> &counts) {
            if (counts)
                Q_EMIT counted(id, *counts);
        });
    return id;
}

NumbersCounts NumbersCounter::read(Store &store, const FaxFilter &filter, int parts)
{
    NumbersCounts c;
    c.parts = parts;
    bool ok = true;
    auto take = [&ok](auto optional, auto &into) {
        if (optional)
            into = std::move(*optional);
        else
            ok = false;
    };
    if (parts & NumbersCounts::Panels) {
        QList<ValueCount> regions;
        take(store.countFaxesBy(FaxColumn::Location, filter), regions);
        for (const ValueCount &r : regions) {
            qint64 left = r.count;
            if (r.value.trimmed() == QLatin1String(kUnknownInternational)) {
                // The numbers outside North America, by their country where it is known.
                FaxFilter outside = filter;
                outside.location = r.value;
                QList<ValueCount> countries;
                take(store.countFaxesBy(FaxColumn::Country, outside), countries);
                for (const ValueCount &country : countries) {
                    if (country.value.isEmpty())
                        continue;
                    c.places.append(PlaceCount{country.value, country.count, true});
                    left -= country.count;
                }
            }
            if (left > 0)
                c.places.append(PlaceCount{r.value, left, false});
        }
        std::stable_sort(
            c.places.begin(), c.places.end(),
            [](const PlaceCount &a, const PlaceCount &b) { return a.count > b.count; });
        take(store.countFaxesBy(FaxColumn::Search, filter), c.searches);
    }
    if (parts & NumbersCounts::Choices) {
        const FaxFilter all;
        take(store.countFaxesBy(FaxColumn::Location, all), c.locationChoices);
        take(store.countFaxesBy(FaxColumn::Country, all), c.countryChoices);
        take(store.countFaxesBy(FaxColumn::Search, all), c.searchChoices);
        take(store.countFaxesBy(FaxColumn::How, all), c.howChoices);
        take(store.countFaxes(all), c.stored);
        FaxSort newestFirst;
        newestFirst.column = FaxColumn::Date;
        newestFirst.order = Qt::DescendingOrder;
        QList<ListedFax> newest;
        take(store.faxPage(all, newestFirst, 0, 1), newest);
        if (!newest.isEmpty())
            c.newest = newest.first().row.date.date();
    }
    if (parts & NumbersCounts::Charts) {
        take(store.faxesPerDay(filter), c.days);
        take(store.searchYields(filter), c.yields);
    }
    if (!ok)
        c.error = store.lastError();
    return c;
}
