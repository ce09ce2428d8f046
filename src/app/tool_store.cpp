// varnel-tool store copy: one store into another (a file and a server, either way).

#include "tool.h"

#include "clock.h"
#include "datadirlock.h"
#include "openstore.h"
#include "store.h"
#include "toolstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cstdio>

static int runStore(const QStringList &args);

static ToolCommand cmd(
    "store", "varnel-tool store copy --from LOCATION --to LOCATION",
    "copy one store into another (a data folder, a database file or a server "
    "address postgresql://USER@HOST:PORT/DATABASE): the search strings, the "
    "numbers, the backlog of sites, the do-not-fax list, the ledger of "
    "exports and the businesses, with their dates; what the target holds already is skipped, so "
    "a second copy adds nothing",
    runStore);

namespace {

// Rows are written in transactions of this many, each stored whole or not at all.
constexpr int kBatchRows = 500;

struct Tally
{
    const char *what;
    int copied = 0;
    int skipped = 0;
};

// Writes into the target in batches, each stored whole or not at all, and counts a row once
// its batch is stored. Each row keeps the time it was found or queued.
class Copier
{
public:
    explicit Copier(Store &target) : m_target(target)
    {
        m_target.setClock(&m_clock);
        QObject::connect(&m_target, &Store::writeFailed, [this] { m_failed = true; });
    }
    ~Copier()
    {
        end();
        m_target.setClock(nullptr);
    }

    // Before a row's write (a row without a time gets now).
    void before(const QDateTime &when)
    {
        m_clock.set(when.isValid() ? when : Clock().now());
        if (!m_batchOpen) {
            m_target.beginBatch();
            m_batchOpen = true;
        }
    }
    // After it; false once a write has failed (the open batch is then lost).
    bool after(Tally &t, bool copied)
    {
        if (m_failed)
            return false;
        m_rows.append({&t, copied});
        return m_rows.size() < kBatchRows || end();
    }
    // Ends the open batch; true when it is stored.
    bool end()
    {
        if (m_batchOpen) {
            m_target.endBatch();
            m_batchOpen = false;
        }
        for (const auto &row : qAsConst(m_rows)) {
            if (!m_failed)
                (row.second ? row.first->copied : row.first->skipped)++;
        }
        m_rows.clear();
        return !m_failed;
    }

private:
    Store &m_target;
    ManualClock m_clock;
    QList<QPair<Tally *, bool>> m_rows; // the open batch's rows: copied or skipped
    bool m_batchOpen = false;
    bool m_failed = false;
};

// One table of a store: copies the source's rows that the target lacks, counting each row
// in the tally, and answers false once a read or a write failed.
struct TableCopy
{
    const char *what;
    bool (*copy)(Store &source, Store &target, Copier &copier, Tally &tally);
};

bool copySearches(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QStringList> searches = source.searches();
    const std::optional<QStringList> there = target.searches();
    if (!searches || !there)
        return false;
    QSet<QString> known;
    for (const QString &s : *there)
        known.insert(Store::foldCase(s));
    for (QString s : *searches) {
        const bool isNew = !known.contains(Store::foldCase(Store::normalizeSearch(s)));
        copier.before(QDateTime());
        if (!(!isNew || target.addSearch(s)) || !copier.after(tally, isNew))
            return false;
        known.insert(Store::foldCase(s));
    }
    return true;
}

bool copyNumbers(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QList<FaxRow>> faxes = source.allFaxes();
    if (!faxes)
        return false;
    for (FaxRow row : *faxes) {
        // One fax in two forms is one number (and the target's index takes it once).
        const std::optional<bool> stored = target.numberExists(row);
        bool there = stored.value_or(false);
        copier.before(row.date);
        if (!stored || !(there || target.addFax(row, &there)) || !copier.after(tally, !there))
            return false;
    }
    return true;
}

bool copyBacklog(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QList<SiteRow>> sites = source.allWebsites();
    // Sites taken out of the backlog by a harvest that did not finish go back with it.
    const std::optional<QStringList> pending = source.pendingSites();
    if (!sites || !pending)
        return false;
    QList<SiteRow> backlog = *sites;
    for (const QString &p : *pending)
        backlog.append({p, QDateTime()});
    for (const SiteRow &row : qAsConst(backlog)) {
        QString site = row.website;
        const std::optional<bool> there = target.websiteExists(site);
        copier.before(row.date);
        if (!there || !(*there || target.addWebsite(site)) || !copier.after(tally, !*there))
            return false;
    }
    return true;
}

// Each number keeps the date and the reason it was listed with; a key the target lists
// already keeps the target's entry.
bool copyDoNotFax(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QList<DoNotFaxEntry>> entries = source.doNotFaxList();
    if (!entries)
        return false;
    for (const DoNotFaxEntry &e : *entries) {
        bool added = false;
        copier.before(e.date);
        if (!target.addDoNotFax(e.number, e.key, e.reason, &added) || !copier.after(tally, added))
            return false;
    }
    return true;
}

// An export is the same one when the target has an export of that time into that file with
// as many numbers; so that an export of only the new numbers from the target leaves out
// what the source had exported.
QString exportIdentity(const ExportRecord &r)
{
    return r.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\t') + r.file +
           QLatin1Char('\t') + QString::number(r.keys.size());
}

bool copyExports(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QList<ExportRecord>> records = source.exportLedger();
    const std::optional<QList<ExportRecord>> there = target.exportLedger();
    if (!records || !there)
        return false;
    QSet<QString> known;
    for (const ExportRecord &r : *there)
        known.insert(exportIdentity(r));
    for (const ExportRecord &r : *records) {
        const bool isNew = !known.contains(exportIdentity(r));
        copier.before(r.date);
        if (!(!isNew || target.recordExport(r.file, r.keys)) || !copier.after(tally, isNew))
            return false;
        known.insert(exportIdentity(r));
    }
    return true;
}

// The businesses with their faxes, phones, pages and search strings, after the numbers so
// that each fax points to the business it pointed to in the source.
QString sightingKey(const BusinessFax &f)
{
    return QStringList{f.business.site, Store::foldCase(f.business.organization), f.fax, f.page,
                       Store::foldCase(f.search)}
        .join(QLatin1Char('\t'));
}

bool copyBusinesses(Store &source, Store &target, Copier &copier, Tally &tally)
{
    const std::optional<QList<BusinessFax>> found = source.allBusinessFaxes();
    const std::optional<QList<BusinessFax>> there = target.allBusinessFaxes();
    if (!found || !there)
        return false;
    QSet<QString> known;
    for (const BusinessFax &f : *there)
        known.insert(sightingKey(f));
    for (const BusinessFax &f : *found) {
        const bool isNew = !known.contains(sightingKey(f));
        copier.before(f.date);
        if (!(!isNew || target.addBusinessFax(f)) || !copier.after(tally, isNew))
            return false;
        known.insert(sightingKey(f));
    }
    return true;
}

// Everything a user relies on, in the order copied; a table that a later version adds to
// the store gets its line here.
const TableCopy kTables[] = {
    {"search strings", copySearches}, {"numbers", copyNumbers},
    {"backlog sites", copyBacklog},   {"do-not-fax numbers", copyDoNotFax},
    {"exports", copyExports},         {"business sightings", copyBusinesses},
};

} // namespace

static int copyStores(const QString &from, const QString &to)
{
    if (ToolStore::sameStore(from, to)) {
        std::fprintf(stderr, "varnel-tool: the source and the target are the same store\n");
        return 2;
    }
    // Copying must not create the source: a mistyped name is reported, not made.
    if (!StoreLocation::isServer(from) && !QFileInfo(ToolStore::filePath(from)).isFile())
        return Tool::fileError(ToolStore::filePath(from),
                               QStringLiteral("no harvest database here"));
    // A harvest that runs in the source's folder holds the head of its queue in memory: a
    // copy would miss those sites.
    std::unique_ptr<DataDirLock> sourceLock = ToolStore::lockFolder(from);
    if (sourceLock && !sourceLock->tryLock()) {
        std::fprintf(stderr, "varnel-tool: %s Copy after it has stopped.\n",
                     qPrintable(sourceLock->errorString()));
        return 1;
    }
    const std::unique_ptr<Store> source = ToolStore::open(from);
    const std::unique_ptr<Store> target = ToolStore::open(to);
    if (!source->isUsable() || !target->isUsable())
        return 1; // the store said which and why

    QList<Tally> tallies;
    for (const TableCopy &table : kTables)
        tallies.append(Tally{table.what});
    bool ok = true;
    {
        Copier copier(*target);
        for (qsizetype i = 0; ok && i < tallies.size(); ++i)
            ok = kTables[i].copy(*source, *target, copier, tallies[i]);
        ok = copier.end() && ok;
    }
    for (const Tally &t : qAsConst(tallies))
        std::printf("%s: %d copied, %d skipped\n", t.what, t.copied, t.skipped);
    if (!ok) {
        std::fprintf(stderr, "varnel-tool: the copy stopped; what is counted above is stored. "
                             "Run it again once the store works: it skips what is there.\n");
        return 1;
    }
    return 0;
}

static int runStore(const QStringList &args)
{
    if (args.value(0) != QLatin1String("copy"))
        return Tool::usageError(cmd);
    QString from, to;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--from") && i + 1 < args.size())
            from = args.at(++i);
        else if (a == QLatin1String("--to") && i + 1 < args.size())
            to = args.at(++i);
        else
            return Tool::usageError(cmd);
    }
    if (from.isEmpty() || to.isEmpty())
        return Tool::usageError(cmd);
    return copyStores(from, to);
}
