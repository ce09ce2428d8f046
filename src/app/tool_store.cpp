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

static ToolCommand cmd("store", "varnel-tool store copy --from LOCATION --to LOCATION",
                       "copy the numbers, the backlog of sites and the search strings of one "
                       "store into another (a data folder, a database file or a server address "
                       "postgresql://USER@HOST:PORT/DATABASE); what the target holds already is "
                       "skipped, so a second copy adds nothing",
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

    const std::optional<QStringList> searches = source->searches();
    const std::optional<QList<FaxRow>> faxes = source->allFaxes();
    const std::optional<QList<SiteRow>> sites = source->allWebsites();
    // Sites taken out of the backlog by a harvest that did not finish go back with it.
    const std::optional<QStringList> pending = source->pendingSites();
    const std::optional<QStringList> targetSearches = target->searches();
    if (!searches || !faxes || !sites || !pending || !targetSearches)
        return 1;

    Tally searchTally{"search strings"}, faxTally{"numbers"}, siteTally{"backlog sites"};
    Copier copier(*target);
    bool ok = true;
    QSet<QString> known;
    for (const QString &s : *targetSearches)
        known.insert(Store::foldCase(s));
    for (QString s : *searches) {
        const bool isNew = !known.contains(Store::foldCase(Store::normalizeSearch(s)));
        copier.before(QDateTime());
        ok = (!isNew || target->addSearch(s)) && copier.after(searchTally, isNew);
        if (!ok)
            break;
        known.insert(Store::foldCase(s));
    }
    for (int i = 0; ok && i < faxes->size(); ++i) {
        FaxRow row = faxes->at(i);
        // One fax in two forms is one number (and the target's index takes it once).
        const std::optional<bool> stored = target->numberExists(row);
        bool there = stored.value_or(false);
        copier.before(row.date);
        ok = stored && (there || target->addFax(row, &there)) && copier.after(faxTally, !there);
    }
    QList<SiteRow> backlog = *sites;
    for (const QString &p : *pending)
        backlog.append({p, QDateTime()});
    for (int i = 0; ok && i < backlog.size(); ++i) {
        QString site = backlog.at(i).website;
        const std::optional<bool> there = target->websiteExists(site);
        copier.before(backlog.at(i).date);
        ok = there && (*there || target->addWebsite(site)) && copier.after(siteTally, !*there);
    }
    ok = copier.end() && ok;
    for (const Tally *t : {&searchTally, &faxTally, &siteTally})
        std::printf("%s: %d copied, %d skipped\n", t->what, t->copied, t->skipped);
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
