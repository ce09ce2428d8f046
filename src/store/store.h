#pragma once

#include "businessstore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class Clock;

// One site of the backlog with the time it was queued.
struct SiteRow
{
    QString website;
    QDateTime date;
};

// One stored number with every column.
struct FaxRow
{
    QString fax;
    QDateTime date;
    QString website;
    QString search;
    QString location;
    // How the number reads everywhere (+ and digits), when known; numbers are unique by it.
    // Rows stored without the finder (or before it) keep this and the fields below empty.
    QString e164;
    QString country; // ISO 3166 two-letter code of the number's country, when known
    // The evidence: the label beside the number, how it was found, the text around it (at
    // most ContextLength characters).
    QString label;
    QString how;
    QString context;
};

// A column of the numbers table: what the numbers window sorts and counts by.
enum class FaxColumn
{
    Fax,
    E164,
    Location, // the region label of the area code, or "Unknown/International"
    Country,
    Date,
    Website,
    Search,
    Label,
    How,
    Context,
    DoNotFax, // the do-not-fax list's reason for the number (sorting only)
    // The business the number points to (empty for a number stored without one).
    Organization,
    Unit,
    Street,
    PostalCode,
    City,
    Region,
    AddressCountry,
    Phone,
    Email,
    Site,
};

// Which stored numbers a read covers. Empty fields do not filter; the dates are whole days,
// both included. The text is looked for, letter case ignored, in every text column.
struct FaxFilter
{
    QString text;
    QString location;
    QString country;
    QString search;
    QString how;
    QDate from;
    QDate to;

    bool operator==(const FaxFilter &o) const
    {
        return text == o.text && location == o.location && country == o.country &&
               search == o.search && how == o.how && from == o.from && to == o.to;
    }
    bool operator!=(const FaxFilter &o) const { return !(*this == o); }
};

// The order of a page of numbers; rows of equal value keep their stored order.
struct FaxSort
{
    std::optional<FaxColumn> column; // none: stored order
    Qt::SortOrder order = Qt::AscendingOrder;
};

// A stored number as the numbers window lists it: its row, the key that names it, and why
// it may not be faxed (the do-not-fax list's reason; empty when it is not listed).
struct ListedFax
{
    qint64 id = 0;
    FaxRow row;
    QString doNotFax;
    BusinessRow business; // its business (id 0 when it has none); its lists are not read
};

struct ValueCount
{
    QString value;
    qint64 count = 0;
};

struct DayCount
{
    QDate day;
    qint64 count = 0;
};

// What one search string yielded: its numbers and the sites (hosts) they were found on.
struct SearchYield
{
    QString search;
    qint64 numbers = 0;
    qint64 sites = 0;
};

// A number that must not be faxed: as it was given, the form it is matched by (its E.164
// form, see DoNotFax::matchKey), when and why it was listed.
struct DoNotFaxEntry
{
    QString number;
    QString key;
    QDateTime date;
    QString reason;
};

// What an export writes and what it leaves out. A number is left out for the do-not-fax
// list (flagged: listed because its page says it takes no unsolicited faxes; listed: for
// any other reason) or, when only new numbers are asked for, because an earlier export
// wrote it. The rows come in stored order with their matching forms (keys).
struct ExportCounts
{
    qint64 toWrite = 0;
    qint64 listed = 0;
    qint64 flagged = 0;
    qint64 exportedBefore = 0;
};

struct ExportPlan
{
    QList<FaxRow> rows;
    QStringList keys;
    ExportCounts counts;
    QList<BusinessRow> businesses; // of each row (id 0 for none); their lists are not read
};

// One export of the ledger: when, into which file, and the keys of the numbers it wrote.
struct ExportRecord
{
    QDateTime date;
    QString file;
    QStringList keys;
};

// A search engine resting after it refused a search: which kind of refusal (a key that
// discovery gives), until when, and why in words. Engines are named as discovery names them.
struct EngineRestRow
{
    QString engine;
    QString kind;
    QDateTime until;
    QString reason;
};

// The harvest database: the numbers found (faxes), the backlog of sites to crawl
// (websites), the search strings (searches) and the sites taken out of the backlog whose
// page has not been analysed yet (pending). The rules for texts live here; a backend
// (SQLite, or PostgreSQL for a team's shared server) keeps the rows.
//
// One error convention. A write returns true when it is stored; false means nothing of it
// was. A read returns its value, or nothing (std::nullopt) when the store cannot be read.
// Either failure is also reported: storeProblem() once, naming the store and the reason,
// until a write works again; writeFailed() for every refused write. lastError() is the
// last problem, empty while the store works.
//
// Texts are normalised by the rules below before they are written or compared; an
// operation that takes a text by reference writes the normalised text back (callers use
// it). Comparisons fold ASCII letters only.
class Store : public QObject, public BusinessStore
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Store() override = default;

    // The rules: a site loses every scheme ("https://", "http://" and their broken tails
    // such as "ttp://") and surrounding spaces; a number loses one trailing "." and
    // surrounding spaces; a search string loses surrounding spaces.
    static QString normalizeSite(QString site);
    static QString normalizeNumber(QString number);
    static QString normalizeSearch(QString search);
    // The text with ASCII letters in lower case and nothing else changed: two texts are equal
    // to the store when their folded forms are.
    static QString foldCase(QString text);

    virtual QString location() const = 0; // names the store in messages
    virtual bool isUsable() = 0;          // opens the store when needed
    virtual QString lastError() const = 0;
    // The clock behind the Date columns; not owned; null restores the system clock.
    virtual void setClock(const Clock *clock) = 0;
    virtual QDateTime now() const = 0;
    // A second connection to the same rows, to be used (and destroyed) in one other thread,
    // so that long reads can run beside the window; nothing where the backend has none.
    virtual std::unique_ptr<Store> openAnother() const { return nullptr; }

    // Groups the writes between the two calls (one page's links) into one transaction,
    // stored whole or not at all: once a write of it is refused, its later writes are not
    // run. Nests by count.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;

    // ---- numbers -------------------------------------------------------------------------
    static constexpr int ContextLength = 200;
    // Stores the row: its number normalised, an empty search as "Unknown", the context cut
    // to ContextLength, the date now. A store that keeps each number once (a shared server,
    // where another harvester may store the same number at the same moment) adds no second
    // row: the number is stored, so the answer is true, and *alreadyStored (when given)
    // tells that it was there before.
    [[nodiscard]] bool addFax(FaxRow &row, bool *alreadyStored = nullptr);
    [[nodiscard]] virtual bool deleteAllFaxes() = 0;
    // Deletes the rows of these numbers (compared exactly, as stored), all or none: on a
    // server, numbers another harvester stored meanwhile stay.
    [[nodiscard]] virtual bool deleteExportedFaxes(const QStringList &numbers) = 0;
    // A number stored under this text (letter case ignored).
    std::optional<bool> faxExists(QString &number);
    // The row's number is stored: one with its E.164 form, or, since rows stored without
    // the finder have none, one with its text form. A row without an E.164 form is looked
    // up by its text alone, as faxExists does. row.fax is normalised in place.
    std::optional<bool> numberExists(FaxRow &row);
    virtual std::optional<qint32> countFaxes() = 0;
    // "number | location" of the newest numbers, the oldest of them first.
    virtual std::optional<QStringList> newestFaxes(int count) = 0;
    virtual std::optional<QList<FaxRow>> allFaxes() = 0; // in stored order

    // ---- reading the numbers in view (the numbers window) -----------------------------------
    // Each read covers the numbers the filter lets through; none loads the whole table.
    virtual std::optional<qint64> countFaxes(const FaxFilter &filter) = 0;
    // At most `limit` rows from `offset` in the order asked for.
    virtual std::optional<QList<ListedFax>> faxPage(const FaxFilter &filter, const FaxSort &sort,
                                                    qint64 offset, int limit) = 0;
    // The numbers per value of a column, the most first (ties by value).
    virtual std::optional<QList<ValueCount>> countFaxesBy(FaxColumn column,
                                                          const FaxFilter &filter) = 0;
    // The numbers stored on each day that has any, oldest day first.
    virtual std::optional<QList<DayCount>> faxesPerDay(const FaxFilter &filter) = 0;
    // The numbers and sites of each search string, the most numbers first.
    virtual std::optional<QList<SearchYield>> searchYields(const FaxFilter &filter) = 0;
    // Deletes the numbers of these keys (ListedFax::id); keys that are gone are no error.
    [[nodiscard]] virtual bool deleteFaxes(const QList<qint64> &ids) = 0;

    // ---- the do-not-fax list ----------------------------------------------------------------
    // The reasons a number is on the list.
    static const QString reasonImported;   // "imported from a file"
    static const QString reasonOptOut;     // "opt-out request"
    static const QString reasonMarked;     // "marked in the window"
    static const QString reasonNoticeSays; // "page says no unsolicited faxes"
    // Lists the number under its key (the caller reads it, DoNotFax::matchKey), dated now. A
    // key on the list already keeps its first entry; *added (when given) says whether this
    // one was new.
    [[nodiscard]] bool addDoNotFax(const QString &number, const QString &key, const QString &reason,
                                   bool *added = nullptr);
    [[nodiscard]] virtual bool removeDoNotFax(const QStringList &keys) = 0;
    virtual std::optional<QList<DoNotFaxEntry>> doNotFaxList() = 0; // in the order listed

    // ---- exports ---------------------------------------------------------------------------
    // No export writes a listed number; with onlyNew none that an earlier export wrote.
    virtual std::optional<ExportCounts> exportCounts(bool onlyNew) = 0;
    virtual std::optional<ExportPlan> exportPlan(bool onlyNew) = 0;
    // Notes an export in the ledger: when (now), into which file, and which numbers (keys).
    [[nodiscard]] virtual bool recordExport(const QString &file, const QStringList &keys) = 0;
    virtual std::optional<QList<ExportRecord>> exportLedger() = 0; // in the order exported

    // ---- the backlog -----------------------------------------------------------------------
    [[nodiscard]] bool addWebsite(QString &site);
    [[nodiscard]] bool deleteWebsite(QString &site); // the first matching row
    [[nodiscard]] virtual bool deleteAllWebsites() = 0;
    std::optional<bool> websiteExists(QString &site); // in the table, letter case ignored
    virtual std::optional<qint32> countWebsites() = 0;
    // The newest sites, the oldest of them first; they stay in the table.
    virtual std::optional<QStringList> newestWebsites(int count) = 0;
    // The first site in stored order (it stays), or the empty text when there is none.
    virtual std::optional<QString> firstWebsite() = 0;
    virtual std::optional<QList<SiteRow>> allWebsites() = 0; // in stored order

    // ---- search strings ----------------------------------------------------------------------
    [[nodiscard]] bool addSearch(QString &search);
    [[nodiscard]] bool deleteSearch(QString &search);  // the first matching row
    virtual std::optional<QStringList> searches() = 0; // in stored order

    // ---- pending notes ---------------------------------------------------------------------
    // Sites taken out of the backlog stay noted until their page has been analysed, so that
    // a harvest that is killed loses none of them.
    [[nodiscard]] virtual bool notePending(const QString &site) = 0;
    [[nodiscard]] virtual bool clearPending(const QString &site) = 0; // the first matching note
    [[nodiscard]] virtual bool clearAllPending() = 0;
    virtual std::optional<QStringList> pendingSites() = 0; // in stored order
    // Puts every noted site back into the backlog and forgets its note, except one note for
    // each entry of stillQueued; returns how many went back. A shared store puts back only
    // this harvester's notes.
    virtual std::optional<int> restorePending(const QStringList &stillQueued = {}) = 0;

    // ---- search engines at rest -------------------------------------------------------------
    // Rests outlast a run and are shared by a team; the times are kept in UTC, so that
    // harvesters in other time zones read the same moment.
    virtual std::optional<QList<EngineRestRow>> engineRests() = 0; // every rest kept, by engine
    // Keeps the engine's rest in place of the one it had.
    [[nodiscard]] virtual bool setEngineRest(const EngineRestRow &rest) = 0;
    // Forgets the engine's rest; no error when it had none.
    [[nodiscard]] virtual bool endEngineRest(const QString &engine) = 0;

    // ---- the queue of a team -----------------------------------------------------------------
    // A store that many harvesters share (a server) hands each site of the backlog to one of
    // them: a taken site is leased to this harvester for a while and noted as handed out for
    // the current search string, so that no other harvester takes or queues it again. A
    // harvester renews its leases while it runs; the sites of one that died go to another
    // once their leases have run out. A store of one harvester (the file) leases nothing.
    virtual bool isShared() const { return false; }
    // Who this harvester is (its leases carry it) and how long a lease lasts; before the
    // first operation.
    virtual void setHarvester(const QString &id, int leaseSeconds)
    {
        Q_UNUSED(id);
        Q_UNUSED(leaseSeconds);
    }
    enum class TakeOrder
    {
        First, // stored order
        Newest // the newest, returned oldest first
    };
    // Takes up to count sites out of the backlog, each noted as pending first; a shared store
    // first takes sites whose lease ran out. Empty when there is none.
    virtual std::optional<QStringList> takeSites(int count, TakeOrder order);
    // Sites taken (and their notes) go back into the backlog.
    virtual bool returnSites(const QStringList &sites);
    // A harvester of the team took the site for the current search string ("host" and
    // "host/" are one site); compared exactly.
    virtual std::optional<bool> handedOut(const QString &site)
    {
        Q_UNUSED(site);
        return false;
    }
    // The backlog holds a site (cheaper than counting it).
    virtual std::optional<bool> anyWebsite() = 0;
    // Where a start for a search string goes: Discover looks for sites (always, for a store
    // of one harvester, whose caller empties the queue first; a shared store keeps the
    // sites its team has queued and forgets only which were handed out); Join crawls the
    // team's queue of that string, which another harvester has begun.
    enum class SearchClaim
    {
        Discover,
        Join
    };
    virtual std::optional<SearchClaim> claimSearch(const QString &search)
    {
        Q_UNUSED(search);
        return SearchClaim::Discover;
    }
    // The discovery this harvester began (claimSearch) has queued its sites.
    virtual void discoveryDone() {}
    // What this harvester has done (its sites scanned and numbers found), told to the team
    // with its next lease renewal.
    virtual void setOwnCounts(qint64 sitesScanned, qint64 numbersFound)
    {
        Q_UNUSED(sitesScanned);
        Q_UNUSED(numbersFound);
    }
    struct TeamTotals
    {
        qint64 sitesScanned = 0;  // by every harvester that ever joined
        qint64 numbersStored = 0; // the numbers in the store
        int harvesters = 0;       // those that renewed their leases lately
    };
    // Nothing for a store of one harvester.
    virtual std::optional<TeamTotals> teamTotals() { return std::nullopt; }
    // Other harvesters still work on the queue of this search string (they hold sites whose
    // links may refill it, or still look for sites): an idle harvester waits rather than
    // calling the queue dry.
    virtual std::optional<bool> teamStillWorking(const QString &search)
    {
        Q_UNUSED(search);
        return false;
    }

Q_SIGNALS:
    // The store cannot be used; emitted once until a write succeeds again.
    void storeProblem(const QString &message);
    // A write failed (every time): what was to be stored is not.
    void writeFailed(const QString &reason);

protected:
    // The backend's side of the operations above; texts come normalised.
    virtual bool insertFax(const FaxRow &row, bool *alreadyStored) = 0;
    virtual std::optional<bool> hasFax(const QString &number) = 0;
    virtual std::optional<bool> hasE164(const QString &e164) = 0; // exact, never matches ""
    virtual bool insertWebsite(const QString &site) = 0;
    virtual bool removeWebsite(const QString &site) = 0;
    virtual std::optional<bool> hasWebsite(const QString &site) = 0;
    virtual bool insertSearch(const QString &search) = 0;
    virtual bool removeSearch(const QString &search) = 0;
    virtual bool insertDoNotFax(const DoNotFaxEntry &entry, bool *added) = 0;
};
