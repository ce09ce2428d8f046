#include "harvestsession.h"

#include "cp1252.h"
#include "crawlqueue.h"
#include "datadir.h"
#include "discoveryrun.h"
#include "globals.h"
#include "httpresponse.h"
#include "logging.h"
#include "pagekeeper.h"
#include "scriptpages.h"
#include "settingsstore.h"
#include "soundplayer.h"
#include "textlist.h"
#include "watchdogclock.h"
#include "yieldreport.h"

#include <QTimer>

#include <limits>

namespace {

using Kind = HarvestActivity::Kind;

const char *const kSoundNextSearch = "sounds/nextsearch.wav";
const char *const kSoundFinished = "sounds/finished.wav";
const char *const kSoundFaxFound = "sounds/foundfax.wav";

} // namespace

HarvestSession::HarvestSession(std::unique_ptr<Store> store, const QString &dataDir,
                               SettingsStore *settings, QObject *parent)
    : QObject(parent), m_dataDir(dataDir), m_settings(settings), m_store(store.release())
{
    m_store->setParent(this);
    m_counters = new Counters(settings, this);
    m_options = new OptionValues(settings, optionTable(), this);
    connect(m_options, &OptionValues::changed, this, &HarvestSession::optionChanged);
    m_queue = new CrawlQueue(m_store, m_store, m_store->teamQueue(), m_counters, this);
    m_searches = new TextList(this);
    m_scheduler = new CrawlScheduler(this, m_queue, m_counters, this);
    m_scheduler->setPolicy(crawlPolicy(CrawlPolicy()));
    connect(m_scheduler, &CrawlScheduler::downloadStarted, this, [this](const QByteArray &url) {
        show(Line::Transfer, Kind::Downloading, QString::fromLatin1(url));
    });
    connect(m_scheduler, &CrawlScheduler::downloadConnected, this, [this] { setProgress(0); });
    connect(m_scheduler, &CrawlScheduler::downloadReceived, this,
            [this](int, const QByteArray &address, qint32 bytes, qint32 length) {
                show(Line::Transfer, Kind::Receiving, QString::fromLatin1(address), bytes);
                if (length >= 1)
                    setProgress(HttpResponse::progressPercent(bytes, length, m_progress));
            });
    connect(m_scheduler, &CrawlScheduler::pageFinished, this,
            [this](int slot, const QByteArray &address) {
                show(Line::Transfer, Kind::Finished, QString::fromLatin1(address));
                Q_EMIT pageFinished(slot, address);
            });
    connect(m_scheduler, &CrawlScheduler::abandonedHostsChanged, this,
            &HarvestSession::abandonedHostsChanged);
    connect(m_scheduler, &CrawlScheduler::downloadAbandoned, this,
            &HarvestSession::downloadAbandoned);

    m_keeper = new PageKeeper(m_store, m_queue, m_counters, m_scheduler, m_dataDir, this);
    m_keeper->setAnalysisOptions(analysisOptions());
    m_keeper->setSearchSource([this] { return currentSearch(); });
    connect(m_keeper, &PageKeeper::stepChanged, this, [this](PageKeeper::Step step) {
        static constexpr Kind kinds[] = {Kind::None, Kind::SavingPage, Kind::GettingLinks,
                                         Kind::GettingFaxes};
        show(Line::Step, kinds[int(step)]);
    });
    connect(m_keeper, &PageKeeper::numberAdded, this, [this](qint32 count) {
        playSoundIf(m_options->isOn(OptionId::SoundOnFaxFound), kSoundFaxFound);
        show(Line::Outcome, Kind::FoundFaxes, QString(), count);
    });
    connect(m_keeper, &PageKeeper::numberStored, this, &HarvestSession::numberStored);
    connect(m_keeper, &PageKeeper::numberRefusesFaxes, this, &HarvestSession::numberRefusesFaxes);
    connect(m_keeper, &PageKeeper::siteQueued, this, &HarvestSession::siteQueued);
    connect(m_keeper, &PageKeeper::storeUnreadable, this,
            [this](int slot) { stopForStore(m_store->lastError(), StoreFailure::Read, slot); });

    m_yield = new YieldReport(this);
    connect(m_keeper, &PageKeeper::numberRead, m_yield, &YieldReport::numberRead);
    // A page that needed JavaScript is kept once rendered (or as sent, when it cannot be).
    m_scriptPages = new ScriptPages(this);
    connect(m_scriptPages, &ScriptPages::ready, m_keeper, &PageKeeper::pageArrived);
    connect(m_scriptPages, &ScriptPages::pageRendered, m_yield, &YieldReport::pageRendered);

    m_discovery = new DiscoveryRun(m_store, m_counters, this);
    connect(m_discovery, &DiscoveryRun::sitesQueued, m_yield, &YieldReport::sitesFound);
    connect(m_discovery, &DiscoveryRun::finished, this, &HarvestSession::discoveryFinished);
    connect(m_discovery, &DiscoveryRun::unloaded, this, &HarvestSession::listBuilderUnloaded);

    connect(m_queue, &CrawlQueue::headLoaded, this, [this] { setResumable(false); });
    // A harvest whose finds cannot be stored stops (the queue stays for Resume) instead of
    // crawling on for nothing. Queued, so that the procedure that wrote ends first.
    connect(
        m_store, &Store::writeFailed, this,
        [this](const QString &why) { stopForStore(why, StoreFailure::Write, -1); },
        Qt::QueuedConnection);
}

HarvestSession::~HarvestSession()
{
    m_keeper->commit();
    stopAllSlots();
}

// ---- seams -------------------------------------------------------------------------------

void HarvestSession::setListBuilder(ListBuilder *builder)
{
    m_discovery->setListBuilder(builder);
}

ListBuilder *HarvestSession::listBuilder() const
{
    return m_discovery->listBuilder();
}

void HarvestSession::setTeamTiming(int leaseSeconds, int pollMs)
{
    m_leaseSeconds = leaseSeconds;
    m_scheduler->setTeamPoll(pollMs);
}

void HarvestSession::playSoundIf(bool condition, const char *relativeName)
{
    if (!condition || !m_sound)
        return;
    const QString path = DataDir::resource(m_dataDir, QString::fromLatin1(relativeName));
    if (!path.isEmpty())
        m_sound->play(path);
}

// ---- state -------------------------------------------------------------------------------

void HarvestSession::refreshState()
{
    const State s = state();
    if (s == m_lastState)
        return;
    qCDebug(lcEngine) << "state" << m_lastState << "->" << s;
    m_lastState = s;
    Q_EMIT stateChanged(s);
}

void HarvestSession::setHarvesting(bool running)
{
    const bool was = isHarvesting();
    if (running)
        m_phase = State::Harvesting;
    else if (was)
        m_phase = State::Stopped;
    if (was != running) {
        m_scheduler->setRunning(running);
        m_keeper->setRunning(running);
        Q_EMIT harvestingChanged(running);
    }
    refreshState();
}

void HarvestSession::setResumable(bool resumable)
{
    if (m_resumable == resumable)
        return;
    m_resumable = resumable;
    Q_EMIT resumableChanged(resumable);
}

void HarvestSession::show(Line line, HarvestActivity::Kind kind, const QString &subject,
                          qint64 count)
{
    // A store's reason may be empty: the line is then as empty as after a clear.
    const HarvestActivity text = kind == Kind::StoreProblem && subject.isEmpty()
                                     ? HarvestActivity()
                                     : HarvestActivity::of(kind, subject, count);
    HarvestActivity &current = m_activity[size_t(line)];
    if (current == text)
        return;
    current = text;
    Q_EMIT activityChanged(line, text);
}

void HarvestSession::setProgress(int percent)
{
    if (percent < 0 || percent > 100 || percent == m_progress)
        return;
    m_progress = percent;
    Q_EMIT downloadProgressChanged(percent);
}

void HarvestSession::setDiscoverySearch(const QString &search)
{
    if (m_discoverySearch == search)
        return;
    m_discoverySearch = search;
    Q_EMIT discoverySearchChanged(search);
}

TextList *HarvestSession::numberPreview() const
{
    return m_keeper->preview();
}

qint32 HarvestSession::numbersStored() const
{
    return m_keeper->numbersStored();
}

QString HarvestSession::currentSearch() const
{
    return m_searches->item(0);
}

bool HarvestSession::anySlotBusy() const
{
    return m_scheduler->anySlotConnected() || m_keeper->pagesWaiting();
}

// ---- options -----------------------------------------------------------------------------

// The options as the crawl needs them, built once at each change.
void HarvestSession::optionChanged(OptionId)
{
    const CrawlPolicy before = m_scheduler->policy();
    const CrawlPolicy policy = crawlPolicy(before);
    if (policy != before)
        m_scheduler->setPolicy(policy);
    m_keeper->setAnalysisOptions(analysisOptions());
    if (policy.advanceAfter != before.advanceAfter)
        Q_EMIT advanceAfterChanged(policy.advanceAfter);
}

CrawlPolicy HarvestSession::crawlPolicy(const CrawlPolicy &before) const
{
    CrawlPolicy policy = CrawlPolicy::fromOptions(*m_options, before);
    policy.stopAtFax = policy.stopAtFax && !m_store->isShared();
    return policy;
}

// ---- start-up and shutdown ---------------------------------------------------------------

void HarvestSession::load()
{
    m_counters->loadFromSettings();
    // Restoring a control raises its handler, which writes the same value back; nothing
    // is written here, the outcome is the same.
    m_options->load();
    m_counters->add(-1); // StatsD: counts nothing, refreshes the statistics
    setHarvesting(false);
    for (Line line : {Line::Transfer, Line::Step, Line::Outcome, Line::Spare})
        show(line, Kind::None);
    m_scheduler->setIdleLimit(10);
    m_scheduler->setTotalLimit(30);
    m_keeper->resetNumbersStored();
    m_scheduler->resetAdvanceCount();
    m_discovery->joinTeam(m_settings, m_leaseSeconds);
    // Sites a killed harvest had taken from the backlog go back to it, as at a clean end.
    (void)m_queue->restorePending(false);
    m_keeper->loadPreview();
    for (const QString &s : m_store->searches().value_or(QStringList()))
        m_searches->addItem(s);
    if (m_searches->isEmpty())
        return;
    if (m_store->isShared()) {
        // Sites are taken from a team's queue only to be crawled at once: held here, the
        // others could not have them.
        if (m_queue->holdsSites())
            setResumable(true);
        return;
    }
    m_queue->loadHead();
    if (siteQueue()->isEmpty())
        return;
    setResumable(true);
}

void HarvestSession::shutDown()
{
    if (isHarvesting())
        finishAnalysesNow();
    if (isHarvesting())
        requeueInterrupted();
    if (m_phase == State::Discovering) {
        m_discovery->abandon();
        m_phase = State::Stopped;
    }
    setHarvesting(false);
    stopAllSlots();
    m_discovery->unload();
    // The head of the queue goes back to the backlog, so that the next start can resume it.
    m_queue->returnHeadToBacklog();
    m_keeper->commit();
    refreshState();
}

// ---- control -----------------------------------------------------------------------------

void HarvestSession::stopAllSlots()
{
    m_scheduler->stopAll();
    // Analyses under way are left: their sites went back to the queue, or stay noted as
    // pending for the next Resume.
    (void)m_keeper->dropWaiting();
}

void HarvestSession::start()
{
    // What the last run said belongs to it; a new start begins with clean lines.
    for (Line line : {Line::Step, Line::Outcome, Line::Spare})
        show(line, Kind::None);
    beginSearch(false);
}

// StartNextSearch
void HarvestSession::startNextSearch()
{
    beginSearch(true);
}

// A start and the move to the next search string: the same steps, except that the move
// first unloads a list builder window that is still loaded.
void HarvestSession::beginSearch(bool unloadFirst)
{
    const bool shared = m_store->isShared();
    // A refused start changes nothing: the saved queue stays for Resume. On a shared store
    // the queue is the team's: it is joined, or left as it is, never emptied.
    if (shared || politeMode()) {
        const std::optional<StartProblem> problem = startProblem();
        // Joining the team's queue of the string needs no choice of engine or count.
        const bool joins = shared && problem && *problem != StartProblem::NoSearch &&
                           m_discovery->teamWorksOn(m_searches->item(0));
        if (problem && !joins) {
            Q_EMIT startRefused(*problem);
            return;
        }
    }
    setResumable(false);
    Q_EMIT searchBegun();
    if (shared && !m_searches->isEmpty()) {
        // The team's queue of this search string is joined rather than emptied; only the
        // harvester that begins it looks for sites.
        const std::optional<Store::SearchClaim> claim = m_discovery->claim(m_searches->item(0));
        if (!claim)
            return; // the store said why
        if (*claim == Store::SearchClaim::Join) {
            m_queue->clearLocal();
            setDiscoverySearch(m_searches->item(0));
            startCrawl();
            return;
        }
    }
    if (shared) {
        m_queue->clearLocal();
    } else if (!m_queue->clearBacklog()) {
        // Kept on purpose with the reference options (tst_session startValidation
        // "reference: no search string"): the queue is emptied before the choices are
        // checked, so a refused start has emptied it too.
        return;
    }
    m_scheduler->newSearch();
    playSoundIf(m_options->isOn(OptionId::SoundOnNextSearch), kSoundNextSearch);
    if (const std::optional<StartProblem> problem = startProblem()) {
        // A team's claim lapses with its lease; said at once, the others need not wait.
        m_discovery->releaseClaim();
        Q_EMIT startRefused(*problem);
        return;
    }
    startDiscovery(unloadFirst);
}

std::optional<HarvestSession::StartProblem> HarvestSession::startProblem() const
{
    if (m_searches->isEmpty())
        return StartProblem::NoSearch;
    if (m_options->value(OptionId::SearchEngine) < 0)
        return StartProblem::NoSearchEngine;
    if (m_options->value(OptionId::ResultCount) < 0)
        return StartProblem::NoResultCount;
    return std::nullopt;
}

void HarvestSession::startDiscovery(bool unloadFirst)
{
    setDiscoverySearch(m_searches->item(0));
    if (unloadFirst)
        m_discovery->unload();
    m_phase = State::Discovering;
    m_yield->begin(m_discoverySearch);
    refreshState();
    show(Line::Transfer, Kind::LookingUpSites, m_discoverySearch);
    m_discovery->lookUp(m_discoverySearch, *m_options, m_dataDir);
}

void HarvestSession::discoveryFinished(const DiscoveryOutcome &outcome)
{
    if (outcome.enough()) {
        startCrawl();
        // Which engine found the sites, when the one picked refused.
        if (outcome.movedOn)
            show(Line::Spare, Kind::SitesFoundWith, outcome.engine);
        return;
    }
    m_yield->finish();
    show(Line::Transfer, Kind::Stopped);
    show(Line::Step, Kind::NotEnoughResults, outcome.problemText());
    if (m_searches->count() < 2) {
        show(Line::Outcome, Kind::AddMoreSearches);
        return;
    }
    // Kept on purpose (tst_session discoveryOutcome "20 names, more searches"): only the list
    // loses the search string; its stored row stays.
    m_searches->removeItem(0);
    show(Line::Outcome, Kind::TryingNextSearch);
    startNextSearch();
}

void HarvestSession::listBuilderUnloaded()
{
    if (m_phase == State::Discovering) {
        // The window was closed mid-run (or the run gave up): the lookup ended.
        m_phase = State::Stopped;
        show(Line::Transfer, Kind::Stopped);
    }
    refreshState();
}

void HarvestSession::nextSearch()
{
    if (m_searches->count() < 2) {
        if (m_options->value(OptionId::AfterLastSearch) == 1)
            playSoundIf(m_options->isOn(OptionId::SoundOnFinished), kSoundFinished);
        else
            stop();
        return;
    }
    stop();
    m_yield->finish();
    if (dropCurrentSearch())
        start();
}

// The current search string is done with: it leaves the list and the store, and its queue
// is emptied. The team's queue is the team's: the next start joins or begins the next one.
// False when the queue could not be emptied.
bool HarvestSession::dropCurrentSearch()
{
    QString current = m_searches->item(0);
    (void)m_store->deleteSearch(current);
    m_searches->removeItem(0);
    if (!m_store->isShared())
        return m_queue->clearBacklog();
    m_queue->clearLocal();
    return true;
}

void HarvestSession::requeueInterrupted(int unfinishedSlot)
{
    // Downloads cut off by Stop or shutdown, and the page whose analysis could not be
    // finished, go back to the backlog; the head of the queue is fetched again by Resume
    // anyway.
    const QString head = m_queue->headHandedOut() ? siteQueue()->item(0) : QString();
    m_scheduler->returnInterrupted(unfinishedSlot, head,
                                   [this](int slot) { return m_scriptPages->isRendering(slot); });
    m_scriptPages->dropAll();
    for (const QString &site : m_keeper->dropWaiting()) {
        if (site != head)
            m_queue->returnToBacklog(site);
    }
}

void HarvestSession::stop()
{
    if (isHarvesting()) {
        finishAnalysesNow();
        if (!isHarvesting())
            return; // the store failed meanwhile, and that stopped the harvest
        requeueInterrupted();
    }
    // Stop ends a lookup of sites too: its outcome would start a harvest nobody asked for.
    // The team waits for it no longer.
    if (m_phase == State::Discovering) {
        m_discovery->abandon();
        m_phase = State::Stopped;
        m_discovery->unload();
    }
    // The progress bar stays as it was: full would read as "finished".
    endRun(Kind::None, Kind::None);
}

// Stop and EndHarvest: the slots stop, the queue stays for Resume, and the status says so.
void HarvestSession::endRun(HarvestActivity::Kind step, HarvestActivity::Kind outcome)
{
    setHarvesting(false);
    if (m_queue->holdsSites())
        setResumable(true);
    stopAllSlots();
    m_keeper->commit();
    Q_EMIT harvestStopped();
    if (step == Kind::NoMoreSites)
        setProgress(100);
    show(Line::Transfer, Kind::Stopped);
    show(Line::Step, step);
    show(Line::Outcome, outcome);
    show(Line::Spare, Kind::None);
    playSoundIf(m_options->isOn(OptionId::SoundOnFinished), kSoundFinished);
}

void HarvestSession::stopForStore(const QString &why, StoreFailure failure, int slot)
{
    // A stop keeps the pages being analysed, and one of them may meet the same failure:
    // the harvest stops once, and says so once.
    if (!isHarvesting() || m_stoppingForStore)
        return;
    const bool read = failure == StoreFailure::Read;
    qCWarning(lcEngine).noquote() << "harvest stopped: the store"
                                  << (read ? "could not be read:" : "refused a write:") << why;
    // The page at hand was not kept whole: Resume reads it again.
    if (slot >= 0)
        requeueInterrupted(slot);
    m_stoppingForStore = true;
    stop();
    m_stoppingForStore = false;
    show(Line::Step, read ? Kind::StoreUnreadable : Kind::StoreUnwritable);
    show(Line::Outcome, Kind::StoreProblem, why);
    Q_EMIT storeFailed(why);
}

void HarvestSession::resume()
{
    setResumable(false);
    // Sites whose download or analysis was cut short by a store that failed are crawled
    // again.
    (void)m_queue->restorePending(true);
    startCrawl();
}

bool HarvestSession::addSearch(const QString &text)
{
    // A blank search string would send the engine nothing but " fax".
    if (text.trimmed().isEmpty())
        return false;
    m_searches->addItem(text);
    QString stored = text;
    (void)m_store->addSearch(stored);
    return true;
}

HarvestSession::ImportCount HarvestSession::importSites(const QStringList &sites)
{
    const ImportCount count = m_queue->import(sites);
    if (m_phase == State::Stopped && m_queue->holdsSites())
        setResumable(true);
    return count;
}

void HarvestSession::removeSearch(int index)
{
    QString s = m_searches->item(index);
    (void)m_store->deleteSearch(s);
    m_searches->removeItem(index);
}

void HarvestSession::removeCurrentSearchAndQueue()
{
    setResumable(false);
    QString s = m_searches->item(0);
    (void)m_store->deleteSearch(s);
    if (m_queue->clearBacklog())
        m_searches->removeItem(0);
}

void HarvestSession::deleteAllNumbers()
{
    (void)m_store->deleteAllFaxes();
    m_keeper->clearPreview();
    // The session's count of numbers follows: its statistic, and the count the next find
    // reports ("Found 1 faxes").
    m_counters->resetNumbersFound();
    m_keeper->resetNumbersStored();
    m_keeper->forgetOwners();
}

void HarvestSession::numbersDeleted()
{
    // Some numbers went (the numbers window): the preview shows what is left, and a number
    // found again is read whole again.
    m_keeper->forgetOwners();
    m_keeper->clearPreview();
    m_keeper->loadPreview();
}

// ---- the scheduler -----------------------------------------------------------------------

void HarvestSession::startCrawl()
{
    m_queue->beginHarvest();
    setHarvesting(true);
    setResumable(false);
    Q_EMIT harvestStarted();
    // What the lookup of sites said ended with it.
    for (Line line : {Line::Step, Line::Outcome, Line::Spare})
        show(line, Kind::None);
    m_harvestSearch = m_searches->item(0);
    m_yield->begin(m_harvestSearch);
    m_scheduler->begin();
}

// ---- what the scheduler asks -------------------------------------------------------------

void HarvestSession::workArrived()
{
    if (m_phase == State::Draining)
        m_phase = State::Harvesting;
    refreshState();
}

bool HarvestSession::pagesWaiting() const
{
    return m_keeper->pagesWaiting();
}

qint64 HarvestSession::bytesWaiting() const
{
    return m_keeper->bytesWaiting();
}

void HarvestSession::queueRanDry()
{
    m_yield->finish();
    if (m_searches->count() >= 2) {
        // The current search is finished; discovery starts for the next one (a team's next
        // queue may have begun already; the start claims or joins it).
        endHarvest();
        (void)dropCurrentSearch();
        siteQueue()->clear();
        startNextSearch();
        return;
    }
    // The last search: the "After last search:" policy.
    if (m_options->value(OptionId::AfterLastSearch) == 1) {
        // Idle, a team's harvester keeps looking for what the others queue.
        if (m_store->isShared())
            m_scheduler->waitForTeam();
        if (m_phase != State::Draining) {
            m_phase = State::Draining;
            playSoundIf(m_options->isOn(OptionId::SoundOnFinished), kSoundFinished);
            refreshState();
        }
        return;
    }
    endHarvest();
}

// EndHarvest
void HarvestSession::endHarvest()
{
    endRun(Kind::NoMoreSites, Kind::TryDifferentSearch);
}

// ---- fetch slots -------------------------------------------------------------------------

void HarvestSession::inPageBatch(const std::function<void()> &work)
{
    m_keeper->inBatch(work);
}

void HarvestSession::pageArrived(int slot, const QByteArray &body)
{
    const FetchRequest &r = m_scheduler->request(slot);
    if (m_options->isOn(OptionId::RenderScripts) &&
        m_scriptPages->take(slot, (r.https ? "https://" : "http://") + r.address(), body))
        return;
    m_keeper->pageArrived(slot, body);
}

// A page downloaded is a page analysed: a stop keeps the pages whose findings are still on
// their way. A store that fails stops the harvest: the rest went back to the queue.
void HarvestSession::finishAnalysesNow()
{
    m_keeper->finishAnalysesNow([this] { return isHarvesting(); });
}

AnalysisOptions HarvestSession::analysisOptions() const
{
    AnalysisOptions options;
    options.allowInternational = m_options->isOn(OptionId::AllowInternational);
    options.findBeyondFaxLine = m_options->isOn(OptionId::FindBeyondFaxLine);
    // The modern mode asks servers for web pages only; the reference reads a "tel:" link as
    // a path of the page's site.
    options.webLinksOnly = politeMode();
    options.markContactLinks = m_scheduler->policy().contactFirst();
    return options;
}
