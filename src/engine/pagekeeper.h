#pragma once

#include "pageanalysis.h"
#include "store.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AnalysisQueue;
class CrawlLimits;
class CrawlQueue;
class CrawlScheduler;
class Counters;
class QTimer;
class StoredNumbers;
class TextList;
struct FoundNumber;
struct PageFindings;

// What is kept of every downloaded page: its page files, then, once it is analysed (on the
// crawl's thread, or beside it with the fax finder on), its new links in the backlog and
// its new numbers in the store and the preview of the newest numbers, in transactions that
// hold the pages finished in one pass of the event loop (at most 100; a shared store
// commits each page). Numbers are told as stored only once their transaction has
// committed, so that a kill never loses a number already reported.
//
// The store, queue, counters and scheduler belong to the harvest and outlive the keeper.
class PageKeeper : public QObject
{
    Q_OBJECT
public:
    // The preview keeps the newest numbers: start-up loads this many.
    static constexpr int PreviewLoad = 20;

    PageKeeper(Store *store, CrawlQueue *queue, Counters *counters, CrawlScheduler *scheduler,
               const QString &dataDir, QObject *parent = nullptr);
    ~PageKeeper() override; // commits what is open

    // A batch that reaches its end while the harvest is not running commits at once.
    void setRunning(bool running) { m_running = running; }
    // How pages are analysed: the options' reading of numbers, and whether the fax finder
    // runs (beside the crawl, on a thread of its own).
    void setAnalysisOptions(const AnalysisOptions &options) { m_analysisOptions = options; }
    // The search string stored with each number: the current one when the number is found.
    void setSearchSource(std::function<QString()> search) { m_search = std::move(search); }

    // SavePage: a slot's page, complete; its files are written and it goes to analysis.
    // The slot moves on, or rests while too many pages wait for their analysis.
    void pageArrived(int slot, const QByteArray &body);
    // Pages waiting for their analysis, and the bytes they hold.
    bool pagesWaiting() const;
    qint64 bytesWaiting() const;
    // A stop keeps the pages still waiting: they are analysed here and now, while goOn().
    void finishAnalysesNow(const std::function<bool()> &goOn);
    // The sites of the pages still waiting, which are never analysed now.
    QStringList dropWaiting();

    // A page to keep: found at website, its page files are slot's. site: the queue entry when
    // the page holds it (it was analysed beside the crawl); empty when the slot still does.
    struct Page
    {
        int slot = -1;
        QString website;
        QString site;
    };
    // GetLinks and GetFaxes. False when the store could not be read (storeUnreadable was
    // emitted): the page was not kept whole. A page that holds its site then returns it to
    // the backlog; otherwise the site is done with.
    bool keep(const Page &page, const PageFindings &found);

    // Runs work inside the page transaction of this pass of the event loop.
    void inBatch(const std::function<void()> &work);
    // Commits the pages kept lately.
    void commit();

    TextList *preview() const { return m_preview; } // List3
    void loadPreview();
    void clearPreview();
    // Numbers were deleted: a number found again has its owner read again.
    void forgetOwners();
    qint32 numbersStored() const { return m_numbersStored; } // lFaxCount
    void resetNumbersStored() { m_numbersStored = 0; }

    enum class Step
    {
        None,
        SavingPage,
        GettingLinks,
        GettingFaxes,
    };
    Q_ENUM(Step)

Q_SIGNALS:
    void stepChanged(PageKeeper::Step step);
    // A number was new and went to the store (before its transaction commits): the count so
    // far.
    void numberAdded(qint32 numbersStored);
    void numberStored(const FaxRow &row);
    void numberRefusesFaxes(const FaxRow &row);
    // A number of a page was read: new, or stored before.
    void numberRead(const QString &fax, bool isNew);
    void siteQueued(const QString &site);
    // A link or number could not be looked up; slot: whose page was at hand, or -1.
    void storeUnreadable(int slot);

private:
    void analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody);
    void analyseBeside(int slot, const QByteArray &body);
    void analysisDone(int slot, const QString &website, const QString &site,
                      const PageFindings &found);
    // False when the store could not be read while a link was checked. contactLinks: which
    // links name a contact page, when those go first.
    bool queueLinks(const QStringList &links, const QList<bool> *contactLinks);
    // False when the store could not be read.
    bool storeNumber(const QString &website, const FoundNumber &found, int slot);

    Store *m_store;
    CrawlQueue *m_queue;
    Counters *m_counters;
    CrawlScheduler *m_scheduler;
    AnalysisQueue *m_analysis;
    AnalysisOptions m_analysisOptions;
    // Shared with the analysis thread, which reads no owner for these.
    std::shared_ptr<StoredNumbers> m_storedNumbers;
    QString m_dataDir;
    TextList *m_preview;
    std::function<QString()> m_search;
    bool m_running = false;
    qint32 m_numbersStored = 0;
    int m_depth = 0;     // inBatch() calls in progress
    bool m_open = false; // a transaction holds the pages finished since the last commit
    int m_pagesInBatch = 0;
    QTimer *m_commitTimer = nullptr;
    bool m_batchFailed = false;
    quint64 m_writesRefused = 0; // every write the store refused, commits included
    QList<FaxRow> m_numbers;     // stored in the open transaction, told at its commit
};
