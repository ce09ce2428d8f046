#pragma once

#include "contactfirst.h"
#include "crawllimits.h"
#include "fetchslot.h"
#include "hostgate.h"
#include "listbuilder.h"
#include "options.h"
#include "resolvemap.h"
#include "robotstxt.h"
#include "store.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Counters;
class CrawlQueue;
class SettingsStore;
class SoundPlayer;
class SystemWatchdogClock;
class QTimer;
class QThread;
class ConnectionPool;
class HostNames;
class TextList;
class QTimer;
class StoredNumbers;
class YieldReport;
class ScriptPages;
struct FoundNumber;
struct PageFindings;
struct AnalysisOptions;

// A harvest of fax numbers: the search strings, the crawl queue of the current one, the fetch
// slots (ten unless the option says more), the scheduler that hands them sites, discovery of new
// sites through a list builder, and what is kept of every page (new links into the backlog, new
// numbers into the store). It knows no window; a presenter turns its state into what a window
// shows, and `varnel-tool harvest` drives it directly.
//
// Threading: one thread, driven by socket, timer and caller events. No handler re-enters
// the event loop; each runs to its end, and a caller may run a nested loop (a message box)
// in a slot connected to a signal meanwhile.
//
// A write the store refuses (full disk, lock, read-only file), or a store that cannot be read
// while a number is looked up, stops the harvest as Stop does and emits storeFailed(); every
// site taken from the backlog stays noted in the store until its page has been analysed, so
// neither a kill nor a failed write or read loses a queued site.
//
// Ownership: the session owns its lists, counters, options, store, queue and slots. The
// settings store and the seams (sound, list builder, watchdog clock) belong to the caller
// and must outlive the session (or be reset to null first).
class HarvestSession : public QObject, private FetchSlotOwner
{
    Q_OBJECT
public:
    // Fetch slots of the original harvest, and the most the option "Parallel downloads"
    // allows.
    static constexpr int SlotCount = 10;
    static constexpr int MaxSlotCount = 100;
    // Redirects followed per site when the option says so.
    static constexpr int MaxRedirectHops = 5;

    // Stopped: no harvest. Discovering: a list builder run was started for the current
    // search string. Harvesting: the slots fetch the queue. Draining: the last queue ran dry
    // with "Continue Until Stopped"; idle until Stop or new work.
    enum class State
    {
        Stopped,
        Discovering,
        Harvesting,
        Draining
    };
    Q_ENUM(State)

    // Why a start went no further.
    enum class StartProblem
    {
        NoSearch,       // no search string
        NoSearchEngine, // no search engine picked
        NoResultCount   // no number of results picked
    };
    Q_ENUM(StartProblem)

    // The four lines of activity text: what the slots do, the step of the page at hand,
    // the outcome so far, and a fourth that only a stop clears.
    enum class Line
    {
        Transfer,
        Step,
        Outcome,
        Spare
    };
    Q_ENUM(Line)

    // dataDir: the "program directory" (database, page files); settings: not owned.
    // storeLocation: where the numbers and the queue are kept (StoreLocation); empty for the
    // file in the data directory. A server is shared with a team of harvesters: each takes
    // its sites from the one queue, and waits while the others still work on it.
    HarvestSession(const QString &dataDir, SettingsStore *settings, QObject *parent = nullptr,
                   const QString &storeLocation = QString());
    ~HarvestSession() override;

    // ---- seams (not owned; null allowed) ------------------------------------------------
    // Without a player the harvest is silent. Sounds are looked up with
    // DataDir::resource(dataDir, "sounds/<name>.wav"); a missing file plays nothing.
    void setSoundPlayer(SoundPlayer *player);
    // Where the slots connect: a host with an entry goes to the mapped address and port
    // (the request still names the original host); every other host goes to the system
    // resolver, port 80 (443 for TLS).
    void setResolveMap(const ResolveMap &map);
    // TLS connections (https, port 443) look here first, then in the map above; lets one
    // host name answer plain HTTP and TLS on two loopback ports.
    void setTlsResolveMap(const ResolveMap &map);
    // The discovery window. A start and the move to the next search string load it;
    // shutdown unloads it. Without one, a start stays in the discovering state until Stop.
    void setListBuilder(ListBuilder *builder);
    ListBuilder *listBuilder() const { return m_listBuilder; }
    // The watchdogs' ticks; the system's timers unless set (before the first download).
    void setWatchdogClock(WatchdogClock *clock);
    // How long a site taken from a shared queue stays this harvester's without a renewal,
    // and how often an idle harvester looks for work the team left; before load().
    void setTeamTiming(int leaseSeconds, int pollMs);
    // How long the system's resolver may take for a name before its host counts as not
    // found (HostNames::DefaultTimeoutMs unless set).
    void setLookupTimeout(int ms);

    // ---- start-up and shutdown ----------------------------------------------------------
    // Form_Load: restore the options and counters, return the sites a killed harvest left
    // pending to the backlog, load the number preview, the search strings and the head of
    // the saved queue (which makes the session resumable). Starts no harvest. Run once.
    void load();
    // Form_Unload: stop at once (downloads in progress are dropped unsaved), close every
    // socket, unload the list builder, and return the sites in the head of the queue and
    // those whose download was cut off to the backlog, so that the next start can resume.
    void shutDown();

    // ---- control ------------------------------------------------------------------------
    // Command1_Click: empties the queue, then discovers sites for the first search string
    // (or emits startRefused when a choice is missing). A refused start changes nothing,
    // except with the reference options on the file, where the queue is emptied first as the
    // original did. A shared store's queue is the team's and is never emptied by a start:
    // the team's queue of the search string is joined, or a new one begun beside it.
    void start();
    // cmdStop_Click: downloads cut off go back to the backlog; a lookup of sites in
    // progress is ended (its list builder unloaded).
    void stop();
    void resume();     // cmdResume_Click: crawls the saved queue (and sites left pending)
    void nextSearch(); // cmdNextSearch_Click, also the automatic advance
    // cmdAdd_Click: the text joins the search strings as typed and is stored normalised;
    // a blank text (spaces only, or nothing) is not added and gives false.
    bool addSearch(const QString &text);
    // Sites from a file join the backlog of the current queue, each unless the queue knows
    // it already, and count as sites found; Resume (or the running harvest) crawls them. A
    // write the store refuses ends the import there.
    struct ImportCount
    {
        int queued = 0;
        int known = 0;
    };
    ImportCount importSites(const QStringList &sites);
    // Removes a search string from the list and the store (not the current one while a
    // harvest runs: the caller checks).
    void removeSearch(int index);
    // Removes the current search string together with its saved queue; the session is
    // resumable no more. Nothing changes when the queue cannot be emptied.
    void removeCurrentSearchAndQueue();
    // Empties the numbers table, the preview and the run's count of numbers.
    void deleteAllNumbers();
    // Some numbers were deleted elsewhere (the numbers window): the preview is read again.
    void numbersDeleted();
    // A click on an option's control: the value is taken and written through.
    void setOption(OptionId option, int value);

    // ---- state --------------------------------------------------------------------------
    State state() const;
    bool isHarvesting() const { return m_harvesting; }
    bool canResume() const { return m_resumable; }
    QString activity(Line line) const { return m_activity[size_t(line)]; }
    int downloadProgress() const { return m_progress; } // 0..100 (pb1)
    // The search string discovery runs (or last ran) for (txtSearch), and the one being
    // harvested (strSearch).
    QString discoverySearch() const { return m_discoverySearch; }
    QString harvestSearch() const { return m_harvestSearch; }
    QString currentSearch() const; // the first search string

    TextList *searches() const { return m_searches; }     // List1; entry 0 is current
    TextList *siteQueue() const;                          // List2: the head of the queue
    TextList *numberPreview() const { return m_preview; } // List3: the newest numbers
    OptionValues *options() const { return m_options; }
    Counters *counters() const { return m_counters; }
    // What each search string yielded, told when the search is over.
    YieldReport *yield() const { return m_yield; }
    // Pages that need JavaScript, rendered when the option says so and a renderer is set
    // (ScriptPages::setRenderer).
    ScriptPages *scriptPages() const { return m_scriptPages; }
    Store *store() const;
    SettingsStore *settings() const { return m_settings; }
    QString dataDir() const { return m_dataDir; }
    qint32 numbersStored() const { return m_numbersStored; } // since start-up (lFaxCount)
    qint32 advanceAfter() const { return m_advanceAfter; }   // lAdvanceAfter
    qint32 sitesSinceAdvance() const { return m_sitesSinceAdvance; }

    // Watchdog limits in one-second ticks: idle (no data) and total. Set to 10 and 30 by
    // load(); tests and `varnel-tool harvest --timeout` change them.
    qint16 idleLimit() const override { return m_idleLimit; }
    qint16 totalLimit() const override { return m_totalLimit; }
    void setIdleLimit(qint16 ticks) { m_idleLimit = ticks; }
    void setTotalLimit(qint16 ticks) { m_totalLimit = ticks; }
    // Hosts whose download a watchdog (or the size bound) abandoned or that could not be
    // reached, separated by spaces (strTimedOutHosts).
    QByteArray abandonedHosts() const { return m_limits.abandonedText(); }
    // Fetch slots in use: the option "Parallel downloads".
    int slotCount() const;
    // strCurUrl: the site of the last connect, or of the page being analysed.
    QByteArray currentPageUrl() const { return m_currentPageUrl; }

    // A slot's view, for a window's detail display and for tests.
    struct SlotInfo
    {
        bool connected = false; // a socket is open or opening
        bool watchdogs = false; // either watchdog is running
        QByteArray host;
        QByteArray path;
        bool https = false;
        qint32 contentLength = 0;
        qint32 bodyBytes = 0;
        int hops = 0; // redirects followed for the current site
    };
    SlotInfo slotInfo(int slot) const;
    bool anySlotBusy() const;

    // ---- the scheduler (public for discovery's hand-back and for tests) -----------------
    // cmdDoSearch_Click: start crawling the queue.
    void startCrawl();
    // FetchNextSite: give the slot its next site, or nothing. Sites on abandoned hosts are
    // skipped in a loop; the first dispatch after a start hands out the head's entry 0.
    void fetchNext(int slot);

Q_SIGNALS:
    void stateChanged(HarvestSession::State state);
    void harvestingChanged(bool running);
    // A start, or the move to the next search string, begins by emptying the queue.
    void searchBegun();
    void startRefused(HarvestSession::StartProblem problem);
    void harvestStarted(); // the crawl of a queue began
    void harvestStopped(); // Stop, or the last queue ran dry
    void resumableChanged(bool resumable);
    void activityChanged(HarvestSession::Line line, const QString &text);
    void downloadProgressChanged(int percent);
    void advanceAfterChanged(qint32 sites);
    void discoverySearchChanged(const QString &search);
    void abandonedHostsChanged(const QByteArray &hosts);
    // The store refused a write, or could not be read while a number was looked up, and the
    // harvest stopped (reason as the store gives it).
    void storeFailed(const QString &reason);
    // A link of an analysed page was new and went into the backlog (as stored).
    void siteQueued(const QString &site);
    // A number of an analysed page was new and its row is stored.
    void numberStored(const FaxRow &row);
    // A number of an analysed page whose page says it takes no unsolicited or advertising
    // faxes, new or stored before (the row as it is or would be stored; the finder's notice).
    void numberRefusesFaxes(const FaxRow &row);
    // A slot's page was completed by its server and goes to analysis (after redirects).
    void pageFinished(int slot, const QByteArray &address);
    // A slot gave up on a site (watchdog or size bound); the host is now avoided.
    void downloadAbandoned(int slot, const QByteArray &host);

private:
    enum class ConnectResult
    {
        Started,
        Skipped,
        NotRunning
    };
    enum class StoreFailure
    {
        Write,
        Read
    };

    // FetchSlotOwner
    bool slotsActive() const override { return m_harvesting; }
    WatchdogClock *watchdogClock() const override;
    void slotConnected(int slot) override;
    void slotReceived(int slot) override;
    void slotFinished(int slot) override;
    void slotAbandoned(int slot) override;
    void slotFailed(int slot) override;
    bool mayKeep(int slot, qint64 bytes) const override;
    ConnectionPool *connectionPool() override { return m_pool; }
    HostNames *hostNames() override { return m_names; }

    void setHarvesting(bool running);
    void setResumable(bool resumable);
    void setActivity(Line line, const QString &text);
    void setProgress(int percent);
    void setDiscoverySearch(const QString &search);
    void refreshState();
    void optionChanged(OptionId option);
    void playSound(const char *relativeName);
    void playSoundIf(bool condition, const char *relativeName);
    void stopAllSlots();
    void requeueInterrupted(int unfinishedSlot = -1);
    void endHarvest();
    void beginSearch(bool unloadFirst);
    // What keeps a start from going further, if anything.
    std::optional<StartProblem> startProblem() const;
    void startNextSearch();
    void startDiscovery(bool unloadFirst);
    void discoveryFoundNames(const QStringList &names);
    void discoveryFinished(const DiscoveryOutcome &outcome);
    void listBuilderUnloaded();
    bool refill();
    QString nextBacklogSite();
    void queueRanDry();
    void slotLeftIdle();
    void finishPage(int slot);
    void wakeIdleSlots();
    // After a page: the slots idle for want of work look again (more than ten slots, or
    // the modern mode, whose politeness leaves slots idle while work waits).
    void wakeIdleSlotsAfterPage();
    // The modern mode ("Follow redirects (HTTPS)"): politeness, robots.txt, a User-Agent.
    bool politeMode() const;
    bool robotsOn() const;
    // Contact pages first, and a site left at its fax ("Stop a site once its fax is found",
    // modern mode; a team's queue keeps its own order).
    bool contactFirstOn() const;
    // Whether a site of host may start now (gate, robots.txt and, in the modern mode, the
    // host's name); false holds it back. A name not yet asked for is sent to the resolver:
    // its site waits aside meanwhile instead of holding a slot.
    bool hostReady(const QByteArray &host) const;
    void releaseGate(FetchSlot *s);
    void preferKnownHttps(FetchSlot *s);
    void scheduleGateTimer();
    // Idle slots look for work again in the next pass of the event loop.
    void lookAgainSoon();
    void robotsAnswered(int slot, const QByteArray &page);
    void robotsUnreadable(FetchSlot *s);
    void applyLimitOptions();
    // The queue is empty here while the team still works on it: look again in a while.
    void waitForTeam();
    ConnectResult connectSlot(int slot);
    void beginDownload(FetchSlot *slot);
    bool followRedirect(int slot, const QByteArray &page);
    void savePage(const QByteArray &body, int slot);
    void analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody);
    void analyseBeside(int slot, const QByteArray &body);
    void analysisDone(quint64 ticket, const PageFindings &found);
    void finishAnalysesNow();
    struct Analysis;
    bool keepAnalysed(const Analysis &page, const PageFindings &found);
    std::optional<Analysis> takeAnalysis(quint64 ticket);
    AnalysisOptions analysisOptions() const;
    void keepFindings(int slot, const PageFindings &found);
    bool keepPage(int slot, const QString &website, const PageFindings &found, int unfinishedSlot);
    void inPageBatch(const std::function<void()> &work);
    void commitPages();
    // False when the store could not be read while a link was checked. contactLinks: which
    // links name a contact page, when those go first.
    bool queueLinks(const QStringList &links, const QList<bool> *contactLinks = nullptr);
    // False when the store could not be read: the harvest has stopped.
    bool storeNumber(const QString &website, const FoundNumber &found, int slot);
    void loadNumberPreview();
    // slot: the one whose page was being analysed, or -1.
    void stopForStore(const QString &why, StoreFailure failure, int slot);

    QString m_dataDir;
    SettingsStore *m_settings;
    Counters *m_counters;
    OptionValues *m_options;
    Store *m_store;
    CrawlQueue *m_queue;
    TextList *m_searches;
    TextList *m_preview;
    std::vector<FetchSlot *> m_slots; // MaxSlotCount; the first slotCount() are used
    CrawlLimits m_limits;
    // Politeness in the modern mode: downloads per host, crawl delays and the sites held
    // back in their host's queue (noted pending in the store) until their host may take
    // them; robots.txt rules of this search (by ASCII-folded host; no entry: not read yet;
    // pending: being read).
    struct RobotsEntry
    {
        bool pending = true;
        RobotsTxt rules;
    };
    HostGate m_gate;
    QHash<QByteArray, RobotsEntry> m_robots;
    ContactFirst m_contactFirst;
    // Shared with the analysis thread, which reads no owner for these.
    std::shared_ptr<StoredNumbers> m_storedNumbers;
    QTimer *m_gateTimer = nullptr;
    ConnectionPool *m_pool;
    HostNames *m_names;
    YieldReport *m_yield;
    ScriptPages *m_scriptPages;

    SoundPlayer *m_sound = nullptr;
    ListBuilder *m_listBuilder = nullptr;
    WatchdogClock *m_watchdogClock = nullptr;
    std::unique_ptr<SystemWatchdogClock> m_systemClock;
    ResolveMap m_resolve;
    ResolveMap m_tlsResolve;

    bool m_harvesting = false;
    bool m_discovering = false;
    bool m_queueDry = false;  // the last search's queue ran dry ("Continue Until Stopped")
    bool m_finishing = false; // the queue is empty; decide when the running downloads end
    bool m_resumable = false;
    State m_lastState = State::Stopped;
    QString m_discoverySearch;
    QString m_harvestSearch;
    std::array<QString, 4> m_activity;
    int m_progress = 0;
    qint32 m_advanceAfter = 10000;
    qint32 m_sitesSinceAdvance = 0;
    qint32 m_numbersStored = 0;
    qint16 m_idleLimit = 10;
    qint16 m_totalLimit = 30;
    QByteArray m_nextSite;       // strURL: the site handed to the slot being connected
    QByteArray m_currentPageUrl; // strCurUrl
    // A finished page is kept in one transaction with the pages finished just before it:
    // its links, its numbers, its site's note and the next site's move out of the backlog
    // are never split. Numbers are told as stored only once it has committed, so that a
    // kill never loses a number already reported.
    int m_pageBatch = 0;
    bool m_pagesOpen = false; // a transaction holds the pages finished since the last commit
    int m_pagesInBatch = 0;
    QTimer *m_commitTimer = nullptr;
    bool m_pageBatchFailed = false;
    quint64 m_writesRefused = 0; // every write the store refused, commits included
    QList<FaxRow> m_pageNumbers;
    // With the fax finder on, pages are analysed on a thread of their own while the crawl
    // goes on; made at the first such page.
    QThread *m_analysisThread = nullptr;
    QObject *m_analyser = nullptr; // lives in m_analysisThread
    quint64 m_analysisTickets = 0;
    struct Analysis
    {
        QString site;    // the queue entry, pending until the findings are kept
        QString website; // where the page was found (host and path)
        int slot = -1;   // whose page files it had
        qint64 bytes = 0;
        QByteArray body; // shared with the thread's copy
        QByteArray pageUrl;
        QByteArray pageDirectory;
    };
    QHash<quint64, Analysis> m_analyses; // by ticket: a result without one is left
    qint64 m_analysedBytes = 0;
    bool m_finishingAnalyses = false;
    bool m_stoppingForStore = false;
    QTimer *m_teamWait = nullptr;
    int m_leaseSeconds = 0; // 0: the store's own
    bool m_waking = false;  // idle slots look for work again; no site is counted
};
