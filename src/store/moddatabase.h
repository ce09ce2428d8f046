#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <unordered_map>

class Clock;
class Counters;
class QSqlQuery;
class TextList;

// One stored number, as the export reads it.
struct FaxRow
{
    QString fax;
    QDateTime date;
    QString website;
    QString search;
    QString location;
};

// The harvest database "varnel.mdb" (SQLite) in the data directory, with the tables
// faxes, websites and searches, and the fourteen operations the harvest calls by name.
//
// Every operation is one statement in its own transaction, so a kill at any moment leaves
// each row wholly stored or absent. The connection stays open between operations. The
// file and missing tables are created on first use; a file that is not a database, or a
// database that fails SQLite's quick check, is never written: the operations then fail as
// their failure rules say, and storeProblem() is emitted once, naming the file and the
// reason. A store in a folder that cannot be written is opened for reading only.
//
// Texts passed by reference are normalised and written back; callers rely on that.
// Comparisons in where clauses fold ASCII letters only.
class modDatabase : public QObject
{
    Q_OBJECT
public:
    static const char *const fileName; // "varnel.mdb"

    explicit modDatabase(const QString &dataDir, Counters *counters = nullptr,
                         QObject *parent = nullptr);
    ~modDatabase() override;

    // The engine's lists the operations fill and clear; any may be null.
    void setLists(TextList *list1, TextList *list2, TextList *list3);
    void setClock(const Clock *clock); // not owned; null restores the system clock
    QString databasePath() const;
    QDateTime now() const; // what the Date columns take
    QString dataDir() const { return m_dataDir; }

    // Normalisation rules, also used by callers that compare sites themselves.
    static QString normalizeSite(QString site);
    static QString normalizeNumber(QString number);
    static QString normalizeSearch(QString search);

    // Groups the operations between the two calls (one page's links) into one transaction:
    // one lock and one commit instead of one per link. A kill in between loses only the
    // links of a page that is still pending and is read again on resume. Nests by count.
    // Once a write of the batch is refused, its later writes are not run and the batch is
    // rolled back, so a batch is stored whole or not at all.
    void beginBatch();
    void endBatch();

    bool AddFax(QString &number, const QString &website, QString &search, const QString &location);
    bool AddWebsite(QString &site);
    bool AddSearch(QString &search);
    bool DeleteAllFaxes();
    bool DeleteWebsite(QString &site);
    // The one operation that reports failure: false when the store cannot be emptied; List2
    // and the counters are then left unchanged.
    bool DeleteAllWebsites();
    bool DeleteSearch(QString &search);
    qint32 CountFaxes();
    qint32 CountWebsites();
    bool FaxExists(QString &number);
    // Known in the table (letter case ignored), in List2 (exact), or handed out since the
    // backlog was last emptied (exact).
    bool WebsiteExists(QString &site);
    bool LoadFaxPreview();
    bool LoadWebsiteQueue();
    bool LoadSearches();

    // The first row of "Select * FROM [websites]" in stored (insertion) order; the row stays.
    // Empty when the backlog is empty or cannot be read (*ok false in the second case).
    QString firstWebsite(bool *ok = nullptr);
    // The engine records every site it hands to a fetch slot; DeleteAllWebsites forgets them.
    void markHandedOut(const QString &site);
    void clearHandedOut() { m_handedOut.clear(); }
    int handedOutCount() const { return int(m_handedOut.size()); }

    // The sites taken out of the backlog (into List2 or a download) are noted in a table
    // of their own until their page has been analysed, so that a harvest that is killed
    // loses none of them: restorePending() at the next start puts what is still noted back
    // into the backlog (as a clean shutdown does) and returns how many, except one note for
    // each of stillQueued (List2's entries). Emptying the backlog (DeleteAllWebsites)
    // forgets them too.
    void notePending(const QString &site);
    void clearPending(const QString &site); // the first matching note
    void clearAllPending();
    int restorePending(const QStringList &stillQueued = {});

    // Every stored number in stored order, for the export. *ok false when the store
    // cannot be read.
    QList<FaxRow> allFaxRows(bool *ok = nullptr);

    // The last problem text, empty while the store works.
    QString lastError() const { return m_lastError; }
    bool isUsable(); // opens the store if needed

Q_SIGNALS:
    // LoadWebsiteQueue loaded sites: the main window's Resume button is to be disabled.
    void queueLoaded();
    // The store cannot be used; emitted once until a write succeeds again.
    void storeProblem(const QString &message);
    // A write failed (every time): what was to be stored is not. reason as in storeProblem.
    void writeFailed(const QString &reason);

private:
    bool open();
    bool openReadOnly();
    bool createSchema();
    QSqlQuery *prepared(const char *sql);
    bool exec(QSqlQuery *q);
    void fail(const QString &what);
    void setBusyTimeout(int ms);
    void succeeded(bool wrote);
    QString nowText() const;

    QString m_dataDir;
    QString m_connectionName;
    Counters *m_counters;
    TextList *m_list1 = nullptr;
    TextList *m_list2 = nullptr;
    TextList *m_list3 = nullptr;
    const Clock *m_clock = nullptr;
    std::unique_ptr<Clock> m_systemClock;
    bool m_open = false;
    int m_batchDepth = 0;
    bool m_inTransaction = false;
    bool m_batchFailed = false; // a write of the open batch was refused
    bool m_reported = false;
    QString m_lastError;
    std::unordered_map<const char *, std::unique_ptr<QSqlQuery>> m_queries;
    QSet<QString> m_handedOut;
};
