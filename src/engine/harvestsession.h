#pragma once

#include "crawlqueue.h"
#include "crawlscheduler.h"
#include "harvestactivity.h"
#include "listbuilder.h"
#include "options.h"
#include "resolvemap.h"
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
class SettingsStore;
class SoundPlayer;
class DiscoveryRun;
class ScriptPages;
class YieldReport;
class PageKeeper;
class TextList;
class WatchdogClock;
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
class HarvestSession : public QObject, private CrawlOwner
{
    Q_OBJECT
public:
    // Fetch slots of the original harvest, and the most the option "Parallel downloads"
    // allows.
    static constexpr int SlotCount = CrawlScheduler::SlotCount;
    static constexpr int MaxSlotCount = CrawlScheduler::MaxSlotCount;
    // Redirects followed per site when the option says so.
    static constexpr int MaxRedirectHops = CrawlScheduler::MaxRedirectHops;

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

    // store: where the numbers and the queue are kept (the session owns it from now on). A
    // server is shared with a team of harvesters: each takes its sites from the one queue,
    // and waits while the others still work on it. dataDir: the "program directory" (page
    // files, sounds); settings: not owned.
    HarvestSession(std::unique_ptr<Store> store, const QString &dataDir, SettingsStore *settings,
                   QObject *parent = nullptr);
    ~HarvestSession() override;

    // ---- seams (not owned; null allowed) ------------------------------------------------
    // Without a player the harvest is silent. Sounds are looked up with
    // DataDir::resource(dataDir, "sounds/<name>.wav"); a missing file plays nothing.
    void setSoundPlayer(SoundPlayer *player) { m_sound = player; }
    // Where the slots connect: a host with an entry goes to the mapped address and port
    // (the request still names the original host); every other host goes to the system
    // resolver, port 80 (443 for TLS).
    void setResolveMap(const ResolveMap &map) { m_scheduler->setResolveMap(map); }
    // TLS connections (https, port 443) look here first, then in the map above; lets one
    // host name answer plain HTTP and TLS on two loopback ports.
    void setTlsResolveMap(const ResolveMap &map) { m_scheduler->setTlsResolveMap(map); }
    // The discovery window. A start and the move to the next search string load it;
    // shutdown unloads it. Without one, a start stays in the discovering state until Stop.
    void setListBuilder(ListBuilder *builder);
    ListBuilder *listBuilder() const;
    // The watchdogs' ticks; the system's timers unless set (before the first download).
    void setWatchdogClock(WatchdogClock *clock) { m_scheduler->setWatchdogClock(clock); }
    // How long a site taken from a shared queue stays this harvester's without a renewal,
    // and how often an idle harvester looks for work the team left; before load().
    void setTeamTiming(int leaseSeconds, int pollMs);
    // How long the system's resolver may take for a name before its host counts as not
    // found (HostNames::DefaultTimeoutMs unless set).
    void setLookupTimeout(int ms) { m_scheduler->setLookupTimeout(ms); }

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
    using ImportCount = CrawlQueue::ImportCount;
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
    void setOption(OptionId option, int value) { m_options->set(option, value); }

    // ---- state --------------------------------------------------------------------------
    State state() const { return m_phase; }
    bool isHarvesting() const { return m_phase == State::Harvesting || m_phase == State::Draining; }
    bool canResume() const { return m_resumable; }
    HarvestActivity activity(Line line) const { return m_activity[size_t(line)]; }
    int downloadProgress() const { return m_progress; } // 0..100 (pb1)
    // The search string discovery runs (or last ran) for (txtSearch), and the one being
    // harvested (strSearch).
    QString discoverySearch() const { return m_discoverySearch; }
    QString harvestSearch() const { return m_harvestSearch; }
    QString currentSearch() const; // the first search string

    TextList *searches() const { return m_searches; }       // List1; entry 0 is current
    TextList *siteQueue() const { return m_queue->head(); } // List2: the head of the queue
    TextList *numberPreview() const;                        // List3: the newest numbers
    OptionValues *options() const { return m_options; }
    Counters *counters() const { return m_counters; }
    // What each search string yielded, told when the search is over.
    YieldReport *yield() const { return m_yield; }
    // Pages that need JavaScript, rendered when the option says so and a renderer is set
    // (ScriptPages::setRenderer).
    ScriptPages *scriptPages() const { return m_scriptPages; }
    Store *store() const { return m_store; }
    SettingsStore *settings() const { return m_settings; }
    QString dataDir() const { return m_dataDir; }
    qint32 numbersStored() const; // since start-up (lFaxCount)
    qint32 advanceAfter() const { return m_scheduler->policy().advanceAfter; } // lAdvanceAfter
    qint32 sitesSinceAdvance() const { return m_scheduler->sitesSinceAdvance(); }

    // Watchdog limits in one-second ticks: idle (no data) and total. Set to 10 and 30 by
    // load(); tests and `varnel-tool harvest --timeout` change them.
    qint16 idleLimit() const { return m_scheduler->idleLimit(); }
    qint16 totalLimit() const { return m_scheduler->totalLimit(); }
    void setIdleLimit(qint16 ticks) { m_scheduler->setIdleLimit(ticks); }
    void setTotalLimit(qint16 ticks) { m_scheduler->setTotalLimit(ticks); }
    // Hosts whose download a watchdog (or the size bound) abandoned or that could not be
    // reached, separated by spaces (strTimedOutHosts).
    QByteArray abandonedHosts() const { return m_scheduler->limits().abandonedText(); }
    // Fetch slots in use: the option "Parallel downloads".
    int slotCount() const { return m_scheduler->slotCount(); }
    // strCurUrl: the site of the last connect, or of the page being analysed.
    QByteArray currentPageUrl() const { return m_scheduler->currentPageUrl(); }

    // A slot's view, for a window's detail display and for tests.
    using SlotInfo = CrawlScheduler::SlotInfo;
    SlotInfo slotInfo(int slot) const { return m_scheduler->slotInfo(slot); }
    bool anySlotBusy() const;

    // ---- the scheduler (public for discovery's hand-back and for tests) -----------------
    // cmdDoSearch_Click: start crawling the queue.
    void startCrawl();
    // FetchNextSite: give the slot its next site, or nothing. Sites on abandoned hosts are
    // skipped in a loop; the first dispatch after a start hands out the head's entry 0.
    void fetchNext(int slot) { m_scheduler->fetchNext(slot); }

Q_SIGNALS:
    void stateChanged(HarvestSession::State state);
    void harvestingChanged(bool running);
    // A start, or the move to the next search string, begins by emptying the queue.
    void searchBegun();
    void startRefused(HarvestSession::StartProblem problem);
    void harvestStarted(); // the crawl of a queue began
    void harvestStopped(); // Stop, or the last queue ran dry
    void resumableChanged(bool resumable);
    void activityChanged(HarvestSession::Line line, const HarvestActivity &activity);
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
    enum class StoreFailure
    {
        Write,
        Read
    };

    // CrawlOwner
    void advanceDue() override { nextSearch(); }
    void workArrived() override;
    void queueRanDry() override;
    void storeUnreadable(int slot) override
    {
        stopForStore(m_store->lastError(), StoreFailure::Read, slot);
    }
    void pageArrived(int slot, const QByteArray &body) override;
    void inPageBatch(const std::function<void()> &work) override;
    bool pagesWaiting() const override;
    qint64 bytesWaiting() const override;
    std::optional<bool> teamStillWorking() override
    {
        return m_store->teamStillWorking(currentSearch());
    }

    void setHarvesting(bool running);
    void setResumable(bool resumable);
    void show(Line line, HarvestActivity::Kind kind, const QString &subject = QString(),
              qint64 count = 0);
    void setProgress(int percent);
    void setDiscoverySearch(const QString &search);
    void refreshState();
    void optionChanged(OptionId option);
    void playSoundIf(bool condition, const char *relativeName);
    void stopAllSlots();
    void requeueInterrupted(int unfinishedSlot = -1);
    void endHarvest();
    bool dropCurrentSearch();
    void endRun(HarvestActivity::Kind step, HarvestActivity::Kind outcome);
    void beginSearch(bool unloadFirst);
    // What keeps a start from going further, if anything.
    std::optional<StartProblem> startProblem() const;
    void startNextSearch();
    void startDiscovery(bool unloadFirst);
    void discoveryFinished(const DiscoveryOutcome &outcome);
    void listBuilderUnloaded();
    // The modern mode ("Follow redirects (HTTPS)").
    bool politeMode() const { return m_scheduler->policy().modern(); }
    // The crawl as the options say; a team's queue keeps its own order (no contact pages
    // first).
    CrawlPolicy crawlPolicy(const CrawlPolicy &before) const;
    void finishAnalysesNow();
    AnalysisOptions analysisOptions() const;
    // slot: the one whose page was being analysed, or -1.
    void stopForStore(const QString &why, StoreFailure failure, int slot);

    QString m_dataDir;
    SettingsStore *m_settings;
    Counters *m_counters;
    OptionValues *m_options;
    Store *m_store;
    CrawlQueue *m_queue;
    TextList *m_searches;
    CrawlScheduler *m_scheduler;
    PageKeeper *m_keeper;
    DiscoveryRun *m_discovery;
    YieldReport *m_yield;
    ScriptPages *m_scriptPages;

    SoundPlayer *m_sound = nullptr;

    State m_phase = State::Stopped;
    bool m_resumable = false;
    State m_lastState = State::Stopped;
    QString m_discoverySearch;
    QString m_harvestSearch;
    std::array<HarvestActivity, 4> m_activity;
    int m_progress = 0;
    bool m_stoppingForStore = false;
    int m_leaseSeconds = 0; // 0: the store's own
};
