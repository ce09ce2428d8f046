#include "harvestsession.h"

#include "businessrecord.h"
#include "connectionpool.h"
#include "cp1252.h"
#include "crawlqueue.h"
#include "datadir.h"
#include "donotfax.h"
#include "faxscan.h"
#include "globals.h"
#include "hostnames.h"
#include "httpresponse.h"
#include "logging.h"
#include "networkscope.h"
#include "openstore.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "scriptpages.h"
#include "settingsstore.h"
#include "soundplayer.h"
#include "sqlitestore.h"
#include "storednumbers.h"
#include "textlist.h"
#include "useragent.h"
#include "watchdogclock.h"
#include "yieldreport.h"

#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <limits>

namespace {

// Sites per search string before the automatic advance, by the choice's item.
const qint32 kAdvanceAfter[8] = {1000, 5000, 10000, 20000, 50000, 100000, 200000, 500000};

const char *const kSoundNextSearch = "sounds/nextsearch.wav";
const char *const kSoundFinished = "sounds/finished.wav";
// Pages finished in one pass of the event loop are committed together, at most this many.
// The transaction never waits across passes for the network: another program that wants to
// write gets its turn whenever the harvest waits.
constexpr int kCommitEveryPages = 100;
const char *const kSoundFaxFound = "sounds/foundfax.wav";

// The preview keeps the newest numbers: at most 21 entries.
constexpr int kPreviewKeep = 20;

// Sites waiting for their host (politeness) take at most this much memory; and a slot looks
// past at most this many of them in one go before it lets the event loop run.
constexpr qint64 kMaxHeldBytes = 8 * 1024 * 1024;
constexpr int kHoldsPerPass = 64;

} // namespace

HarvestSession::HarvestSession(const QString &dataDir, SettingsStore *settings, QObject *parent,
                               const QString &storeLocation)
    : QObject(parent), m_dataDir(dataDir), m_settings(settings),
      m_systemClock(std::make_unique<SystemWatchdogClock>())
{
    m_storedNumbers = std::make_shared<StoredNumbers>();
    m_counters = new Counters(settings, this);
    m_options = new OptionValues(settings, optionTable(), this);
    connect(m_options, &OptionValues::changed, this, &HarvestSession::optionChanged);
    if (storeLocation.isEmpty()) {
        m_store = new SqliteStore(dataDir, this);
    } else {
        m_store = StoreLocation::open(storeLocation).release();
        m_store->setParent(this);
    }
    m_teamWait = new QTimer(this);
    m_teamWait->setSingleShot(true);
    m_teamWait->setInterval(1000);
    connect(m_teamWait, &QTimer::timeout, this, &HarvestSession::wakeIdleSlots);
    m_queue = new CrawlQueue(m_store, m_counters, this);
    m_searches = new TextList(this);
    m_preview = new TextList(this);
    for (int i = 0; i < MaxSlotCount; ++i)
        m_slots.push_back(new FetchSlot(i, this, this));
    m_pool = new ConnectionPool(2 * SlotCount, this);
    m_names = new HostNames(this);
    m_yield = new YieldReport(this);
    // A page that needed JavaScript is analysed once rendered (or as sent, when it cannot be).
    m_scriptPages = new ScriptPages(this);
    connect(m_scriptPages, &ScriptPages::ready, this,
            [this](int slot, const QByteArray &body) { savePage(body, slot); });
    connect(m_scriptPages, &ScriptPages::pageRendered, m_yield, &YieldReport::pageRendered);
    // Sites held while their host's name was looked up may go now (or be skipped).
    connect(m_names, &HostNames::lookedUp, this, [this] {
        if (m_harvesting && politeMode())
            wakeIdleSlots();
    });
    applyLimitOptions();

    connect(m_queue, &CrawlQueue::headLoaded, this, [this] { setResumable(false); });
    // A harvest whose finds cannot be stored stops (the queue stays for Resume) instead of
    // crawling on for nothing. Queued, so that the procedure that wrote ends first.
    connect(m_store, &Store::writeFailed, this, [this] {
        ++m_writesRefused;
        if (m_pagesOpen)
            m_pageBatchFailed = true;
    });
    connect(
        m_store, &Store::writeFailed, this,
        [this](const QString &why) { stopForStore(why, StoreFailure::Write, -1); },
        Qt::QueuedConnection);
}

HarvestSession::~HarvestSession()
{
    commitPages();
    if (m_analysisThread) {
        // A page still being analysed is left; its result is never delivered.
        m_analysisThread->quit();
        m_analysisThread->wait();
        delete m_analyser;
    }
    stopAllSlots();
}

// ---- seams -------------------------------------------------------------------------------

void HarvestSession::setSoundPlayer(SoundPlayer *player)
{
    m_sound = player;
}

void HarvestSession::setResolveMap(const ResolveMap &map)
{
    m_resolve = map;
}

void HarvestSession::setTlsResolveMap(const ResolveMap &map)
{
    m_tlsResolve = map;
}

void HarvestSession::setListBuilder(ListBuilder *builder)
{
    if (m_listBuilder)
        m_listBuilder->disconnect(this);
    m_listBuilder = builder;
    if (!builder)
        return;
    connect(builder, &ListBuilder::namesFound, this, &HarvestSession::discoveryFoundNames);
    connect(builder, &ListBuilder::finished, this, &HarvestSession::discoveryFinished);
    connect(builder, &ListBuilder::unloaded, this, &HarvestSession::listBuilderUnloaded);
}

void HarvestSession::setWatchdogClock(WatchdogClock *clock)
{
    m_watchdogClock = clock;
}

void HarvestSession::setTeamTiming(int leaseSeconds, int pollMs)
{
    m_leaseSeconds = leaseSeconds;
    m_teamWait->setInterval(pollMs);
}

void HarvestSession::setLookupTimeout(int ms)
{
    m_names->setTimeoutMs(ms);
}

WatchdogClock *HarvestSession::watchdogClock() const
{
    return m_watchdogClock ? m_watchdogClock : m_systemClock.get();
}

void HarvestSession::playSound(const char *relativeName)
{
    if (!m_sound)
        return;
    const QString path = DataDir::resource(m_dataDir, QString::fromLatin1(relativeName));
    if (!path.isEmpty())
        m_sound->play(path);
}

void HarvestSession::playSoundIf(bool condition, const char *relativeName)
{
    if (condition)
        playSound(relativeName);
}

// ---- state -------------------------------------------------------------------------------

HarvestSession::State HarvestSession::state() const
{
    if (m_harvesting)
        return m_queueDry ? State::Draining : State::Harvesting;
    return m_discovering ? State::Discovering : State::Stopped;
}

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
    if (m_harvesting != running) {
        m_harvesting = running;
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

void HarvestSession::setActivity(Line line, const QString &text)
{
    QString &current = m_activity[size_t(line)];
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

TextList *HarvestSession::siteQueue() const
{
    return m_queue->head();
}

Store *HarvestSession::store() const
{
    return m_store;
}

QString HarvestSession::currentSearch() const
{
    return m_searches->item(0);
}

HarvestSession::SlotInfo HarvestSession::slotInfo(int slot) const
{
    SlotInfo info;
    if (slot < 0 || slot >= MaxSlotCount)
        return info;
    const FetchSlot *s = m_slots[size_t(slot)];
    info.connected = s->isConnected();
    info.watchdogs = s->watchdogsRunning();
    info.host = s->host;
    info.path = s->path;
    info.https = s->https;
    info.contentLength = s->contentLength;
    info.bodyBytes = s->bodyBytes;
    info.hops = s->hops;
    return info;
}

bool HarvestSession::anySlotBusy() const
{
    for (const FetchSlot *s : m_slots) {
        if (s->isConnected())
            return true;
    }
    return !m_analyses.isEmpty();
}

// ---- options -----------------------------------------------------------------------------

void HarvestSession::setOption(OptionId option, int value)
{
    m_options->set(option, value);
}

int HarvestSession::slotCount() const
{
    static const int kSlots[4] = {SlotCount, 20, 50, MaxSlotCount};
    const int pick = m_options->value(OptionId::ParallelDownloads);
    return pick >= 0 && pick < 4 ? kSlots[pick] : SlotCount;
}

void HarvestSession::applyLimitOptions()
{
    static const int kPages[4] = {50, 200, 1000, CrawlLimits::NoPageLimit};
    const int pick = m_options->value(OptionId::PagesPerSite);
    m_limits.setPagesPerHost(pick >= 0 && pick < 4 ? kPages[pick] : CrawlLimits::NoPageLimit);
    m_gate.setPerHost(m_options->value(OptionId::DownloadsPerSite));
    m_pool->setMaxIdle(2 * slotCount());
    // Every slot can start from a loaded head.
    m_queue->setHeadLoad(qMax(CrawlQueue::HeadLoad, slotCount()));
}

void HarvestSession::optionChanged(OptionId option)
{
    if (option == OptionId::PagesPerSite || option == OptionId::ParallelDownloads ||
        option == OptionId::DownloadsPerSite) {
        applyLimitOptions();
        if (option == OptionId::ParallelDownloads)
            wakeIdleSlotsAfterPage();
        return;
    }
    if (option != OptionId::AdvanceAfter)
        return;
    // Text typed into the choice picks nothing and leaves the number as it was.
    const int pick = m_options->value(option);
    if (pick < 0 || pick > 7 || m_advanceAfter == kAdvanceAfter[pick])
        return;
    m_advanceAfter = kAdvanceAfter[pick];
    Q_EMIT advanceAfterChanged(m_advanceAfter);
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
        setActivity(line, QString());
    m_idleLimit = 10;
    m_totalLimit = 30;
    m_numbersStored = 0;
    m_sitesSinceAdvance = 0;
    if (m_store->isShared()) {
        // This harvester is its data folder (which one program at a time may use): after a
        // restart it finds its own leases again.
        QString id =
            m_settings ? m_settings->read(QStringLiteral("harvesterId"), QString()) : QString();
        if (id.isEmpty()) {
            id = QSysInfo::machineHostName() + QLatin1Char('-') +
                 QUuid::createUuid().toString(QUuid::Id128).left(12);
            if (m_settings)
                m_settings->write(QStringLiteral("harvesterId"), id);
        }
        m_store->setHarvester(id, m_leaseSeconds > 0 ? m_leaseSeconds : 180);
        // The team's totals add up what each harvester has done.
        auto report = [this] {
            m_store->setOwnCounts(m_counters->sitesScannedEver(), m_counters->numbersFoundEver());
        };
        connect(m_counters, &Counters::statsChanged, this, report);
        report();
    }
    // Sites a killed harvest had taken from the backlog go back to it, as at a clean end.
    (void)m_queue->restorePending(false);
    loadNumberPreview();
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

void HarvestSession::loadNumberPreview()
{
    // The newest numbers; an empty or unreadable store leaves the list as it is.
    const QStringList newest = m_store->newestFaxes(kPreviewKeep).value_or(QStringList());
    if (newest.isEmpty())
        return;
    m_preview->clear();
    for (const QString &e : newest)
        m_preview->addItem(e);
}

void HarvestSession::shutDown()
{
    if (m_harvesting)
        finishAnalysesNow();
    if (m_harvesting)
        requeueInterrupted();
    if (m_discovering)
        m_store->discoveryDone();
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    stopAllSlots();
    if (m_listBuilder && m_listBuilder->isLoaded())
        m_listBuilder->unload();
    m_discovering = false;
    // The head of the queue goes back to the backlog, so that the next start can resume it.
    m_queue->returnHeadToBacklog();
    commitPages();
    refreshState();
}

// ---- control -----------------------------------------------------------------------------

void HarvestSession::stopAllSlots()
{
    for (FetchSlot *s : m_slots) {
        s->restingAfterPage = false;
        s->stopWatchdogs();
        s->closeSocket();
        releaseGate(s);
    }
    // A robots.txt cut off is read again by the next download of its host.
    for (auto it = m_robots.begin(); it != m_robots.end();) {
        if (it->pending)
            it = m_robots.erase(it);
        else
            ++it;
    }
    if (m_gateTimer)
        m_gateTimer->stop();
    m_pool->clear();
    // Names are looked up once per run.
    m_names->forget();
    // Analyses under way are left: their sites went back to the queue, or stay noted as
    // pending for the next Resume.
    m_analyses.clear();
    m_analysedBytes = 0;
}

void HarvestSession::start()
{
    // What the last run said belongs to it; a new start begins with clean lines.
    for (Line line : {Line::Step, Line::Outcome, Line::Spare})
        setActivity(line, QString());
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
                           m_store->teamStillWorking(m_searches->item(0)).value_or(false);
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
        const std::optional<Store::SearchClaim> claim = m_store->claimSearch(m_searches->item(0));
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
    m_limits.clearPageCounts();
    m_robots.clear();
    (void)m_gate.takeAllHeld();
    m_contactFirst.clear();
    playSoundIf(m_options->isOn(OptionId::SoundOnNextSearch), kSoundNextSearch);
    if (const std::optional<StartProblem> problem = startProblem()) {
        // A team's claim lapses with its lease; said at once, the others need not wait.
        if (shared)
            m_store->discoveryDone();
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
    if (unloadFirst && m_listBuilder && m_listBuilder->isLoaded())
        m_listBuilder->unload();
    m_discovering = true;
    m_yield->begin(m_discoverySearch);
    refreshState();
    setActivity(Line::Transfer, QStringLiteral("Looking up sites for: ") + m_discoverySearch);
    if (!m_listBuilder)
        return;
    DiscoveryRequest request;
    request.search = m_discoverySearch;
    request.addFax = m_options->isOn(OptionId::AddFaxToSearches);
    request.engine =
        optionRow(OptionId::SearchEngine).items.value(m_options->value(OptionId::SearchEngine));
    request.resultCountIndex = m_options->value(OptionId::ResultCount);
    request.dataDir = m_dataDir;
    request.tryNextEngine = m_options->isOn(OptionId::TryNextEngine);
    request.everyEnding = m_options->isOn(OptionId::EveryDomainEnding);
    m_listBuilder->load(request);
    m_listBuilder->show();
}

void HarvestSession::discoveryFoundNames(const QStringList &names)
{
    // A refused write stops the harvest (Store::writeFailed).
    int kept = 0;
    for (QString site : names) {
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        (void)m_store->addWebsite(site);
        m_counters->add(Counters::SiteFound);
        ++kept;
    }
    m_yield->sitesFound(kept);
}

void HarvestSession::discoveryFinished(const DiscoveryOutcome &outcome)
{
    // The team waits for the sites of this discovery no longer.
    m_store->discoveryDone();
    if (outcome.enough()) {
        startCrawl();
        // Which engine found the sites, when the one picked refused.
        if (outcome.movedOn)
            setActivity(Line::Spare, QStringLiteral("Sites found with %1").arg(outcome.engine));
        return;
    }
    m_yield->finish();
    setActivity(Line::Transfer, QStringLiteral("Stopped"));
    const QString problem = outcome.problemText();
    setActivity(Line::Step, problem.isEmpty() ? QStringLiteral("Not enough results")
                                              : QStringLiteral("Not enough results: ") + problem);
    if (m_searches->count() < 2) {
        setActivity(Line::Outcome, QStringLiteral("Add more search terms"));
        return;
    }
    // Kept on purpose (tst_session discoveryOutcome "20 names, more searches"): only the list
    // loses the search string; its stored row stays.
    m_searches->removeItem(0);
    setActivity(Line::Outcome, QStringLiteral("Trying next search"));
    startNextSearch();
}

void HarvestSession::listBuilderUnloaded()
{
    if (!m_harvesting && m_discovering) {
        // The window was closed mid-run (or the run gave up): the lookup ended.
        m_discovering = false;
        setActivity(Line::Transfer, QStringLiteral("Stopped"));
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
    QString current = m_searches->item(0);
    (void)m_store->deleteSearch(current);
    m_searches->removeItem(0);
    // The team's queue is the team's: the start joins or begins the next one.
    if (m_store->isShared())
        m_queue->clearLocal();
    else if (!m_queue->clearBacklog())
        return;
    start();
}

void HarvestSession::requeueInterrupted(int unfinishedSlot)
{
    // Downloads cut off by Stop or shutdown, and the page whose analysis could not be
    // finished, go back to the backlog; the head of the queue is fetched again by Resume
    // anyway.
    const QString head = m_queue->headHandedOut() ? siteQueue()->item(0) : QString();
    for (FetchSlot *s : m_slots) {
        const QString site = s->site;
        s->site.clear(); // the slot holds no site any more
        const bool cutOff = s->isConnected() || s->index() == unfinishedSlot ||
                            m_scriptPages->isRendering(s->index());
        if (!cutOff || site.isEmpty() || site == head)
            continue;
        m_queue->returnToBacklog(site);
    }
    m_scriptPages->dropAll();
    for (const QString &site : m_gate.takeAllHeld())
        m_queue->returnToBacklog(site);
    m_contactFirst.forgetUnread();
    for (const Analysis &a : qAsConst(m_analyses)) {
        if (a.site != head)
            m_queue->returnToBacklog(a.site);
    }
    m_analyses.clear();
    m_analysedBytes = 0;
}

void HarvestSession::stop()
{
    if (m_harvesting) {
        finishAnalysesNow();
        if (!m_harvesting)
            return; // the store failed meanwhile, and that stopped the harvest
        requeueInterrupted();
    }
    // Stop ends a lookup of sites too: its outcome would start a harvest nobody asked for.
    // The team waits for it no longer.
    const bool discovering = m_discovering;
    if (discovering)
        m_store->discoveryDone();
    m_discovering = false;
    if (discovering && m_listBuilder && m_listBuilder->isLoaded())
        m_listBuilder->unload();
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    if (m_queue->holdsSites())
        setResumable(true);
    stopAllSlots();
    commitPages();
    Q_EMIT harvestStopped();
    // The progress bar stays as it was: full would read as "finished".
    setActivity(Line::Transfer, QStringLiteral("Stopped"));
    setActivity(Line::Step, QString());
    setActivity(Line::Outcome, QString());
    setActivity(Line::Spare, QString());
    playSoundIf(m_options->isOn(OptionId::SoundOnFinished), kSoundFinished);
}

void HarvestSession::stopForStore(const QString &why, StoreFailure failure, int slot)
{
    // A stop keeps the pages being analysed, and one of them may meet the same failure:
    // the harvest stops once, and says so once.
    if (!m_harvesting || m_stoppingForStore)
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
    setActivity(Line::Step, read ? QStringLiteral("The fax database cannot be read")
                                 : QStringLiteral("The fax database cannot be written"));
    setActivity(Line::Outcome, why);
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
    ImportCount count;
    for (QString site : sites) {
        const std::optional<bool> known = m_queue->isKnown(site);
        if (!known)
            break; // the store cannot be read: the rest would all be taken for known
        if (*known) {
            ++count.known;
            continue;
        }
        if (!m_store->addWebsite(site))
            break;
        m_counters->add(Counters::SiteFound);
        ++count.queued;
    }
    if (!m_harvesting && !m_discovering && m_queue->holdsSites())
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
    m_preview->clear();
    // The session's count of numbers follows: its statistic, and the count the next find
    // reports ("Found 1 faxes").
    m_counters->resetNumbersFound();
    m_numbersStored = 0;
    m_storedNumbers->clear();
}

void HarvestSession::numbersDeleted()
{
    // Some numbers went (the numbers window): the preview shows what is left, and a number
    // found again is read whole again.
    m_storedNumbers->clear();
    m_preview->clear();
    loadNumberPreview();
}

// ---- the scheduler -----------------------------------------------------------------------

void HarvestSession::startCrawl()
{
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    m_queue->beginHarvest();
    setHarvesting(true);
    setResumable(false);
    Q_EMIT harvestStarted();
    // What the lookup of sites said ended with it.
    for (Line line : {Line::Step, Line::Outcome, Line::Spare})
        setActivity(line, QString());
    m_sitesSinceAdvance = 0;
    m_harvestSearch = m_searches->item(0);
    m_yield->begin(m_harvestSearch);
    if (siteQueue()->isEmpty())
        m_queue->loadHead();
    const int calls = qMin(siteQueue()->count(), slotCount() - 1) + 1;
    for (int slot = 0; slot < calls; ++slot)
        fetchNext(slot);
}

namespace {

// A "www." name needs a dot after its first label: www.example.com, not www.example.
// Kept on purpose (tst_scheduler wwwRule "capitals: replaced"): "www." anywhere in the site,
// in any letter case, brings the rule in, and the dot is looked for after the first one.
bool siteAcceptable(const QString &site)
{
    if (!site.contains(QLatin1String("www."), Qt::CaseInsensitive))
        return true;
    const int dot = int(site.indexOf(QLatin1Char('.')));
    return site.mid(dot + 1).contains(QLatin1Char('.'));
}

} // namespace

bool HarvestSession::refill()
{
    const QString site = nextBacklogSite();
    if (!m_harvesting)
        return false;
    if (!site.isEmpty()) {
        siteQueue()->addItem(site);
        m_queueDry = false; // work again after the last queue ran dry
        m_finishing = false;
        refreshState();
    }
    return true;
}

void HarvestSession::fetchNext(int slot)
{
    if (slot < 0 || slot >= MaxSlotCount)
        return;
    TextList *head = siteQueue();
    // Sites on abandoned hosts are skipped here, in a loop rather than by nested calls.
    FetchSlot *s = m_slots[size_t(slot)];
    if (s->robotsFetch)
        robotsUnreadable(s);
    if (slot >= slotCount()) {
        // Fewer parallel downloads were chosen: this slot rests once its site is done.
        if (!s->site.isEmpty()) {
            m_queue->siteDone(s->site);
            m_contactFirst.siteDone(s->site);
        }
        s->site.clear();
        releaseGate(s);
        return;
    }
    for (;;) {
        // The slot's last site (analysed, given up or skipped) is no longer pending.
        if (!s->site.isEmpty()) {
            m_queue->siteDone(s->site);
            m_contactFirst.siteDone(s->site);
            s->site.clear();
        }
        releaseGate(s);
        if (!m_harvesting)
            return;
        if (m_sitesSinceAdvance < std::numeric_limits<qint32>::max() && !m_waking)
            ++m_sitesSinceAdvance;
        m_waking = false;
        if (m_sitesSinceAdvance > m_advanceAfter && m_options->isOn(OptionId::AutoAdvance)) {
            m_sitesSinceAdvance = 0;
            nextSearch();
            return;
        }
        // The site handed out last leaves the head; after a start nothing has been handed
        // out yet, so entry 0 is still to be fetched.
        m_queue->dropHandedOutHead();
        // A site held back for its host goes first once the host may take it.
        if (politeMode()) {
            if (const std::optional<QString> held =
                    m_gate.takeReady([this](const QByteArray &host) { return hostReady(host); })) {
                m_nextSite = Cp1252::fromUnicode(*held);
                s->site = *held;
                if (connectSlot(slot) == ConnectResult::Skipped)
                    continue;
                return;
            }
        }
        int held = 0;
        for (;;) {
            if (head->isEmpty()) {
                if (!refill())
                    return;
                if (head->isEmpty()) {
                    scheduleGateTimer();
                    slotLeftIdle();
                    return;
                }
                continue;
            }
            if (!siteAcceptable(head->item(0))) {
                m_queue->dropHead();
                if (!refill())
                    return;
                continue;
            }
            if (!politeMode())
                break;
            const QByteArray host = connectTargetOf(Cp1252::fromUnicode(head->item(0))).strHost;
            if (hostReady(host))
                break;
            // Its host may not take it now: the site waits in its host's queue (noted pending
            // still) while the sites behind it are looked at. Within bounds: so many hosts
            // waiting at once, and so much memory; beyond them the slot rests until a host
            // frees or a delay ends. A long run of one host's sites is looked past a few at
            // a time, the rest in the next pass of the event loop.
            if ((!m_gate.isHolding(host) && m_gate.heldHosts() >= 4 * slotCount()) ||
                m_gate.heldBytes() >= kMaxHeldBytes) {
                scheduleGateTimer();
                return;
            }
            if (++held > kHoldsPerPass) {
                lookAgainSoon();
                return;
            }
            const QString site = head->item(0);
            m_queue->markHandedOut(site);
            head->removeItem(0);
            m_gate.hold(host, site);
            if (!refill())
                return;
        }
        const QString site = head->item(0);
        m_nextSite = Cp1252::fromUnicode(site);
        m_queue->handOutHead();
        if (!refill())
            return;
        s->site = site;
        if (connectSlot(slot) == ConnectResult::Skipped)
            continue;
        return;
    }
}

// With more slots than the original ten, or politeness holding sites back, a slot that
// found nothing to do starts again when pages have queued new sites; the original ten rest
// until the harvest stops.
void HarvestSession::wakeIdleSlotsAfterPage()
{
    if (slotCount() <= SlotCount && !politeMode())
        return;
    wakeIdleSlots();
}

bool HarvestSession::politeMode() const
{
    return m_options->isOn(OptionId::FollowRedirects);
}

bool HarvestSession::robotsOn() const
{
    return politeMode() && m_options->isOn(OptionId::RespectRobots);
}

bool HarvestSession::contactFirstOn() const
{
    return politeMode() && m_options->isOn(OptionId::StopSiteAtFax) && !m_store->isShared();
}

bool HarvestSession::hostReady(const QByteArray &host) const
{
    if (host.isEmpty() || m_limits.isAbandoned(host))
        return true; // skipped at once
    if (robotsOn()) {
        const auto it = m_robots.constFind(CrawlLimits::foldCase(host));
        if (it != m_robots.cend() && it->pending)
            return false;
    }
    if (politeMode()) {
        // A host mapped by the user needs no lookup; a name that failed is tried, and its
        // slot frees at once.
        const QString name = QString::fromLatin1(host);
        if (!m_resolve.lookup(name) && !m_tlsResolve.lookup(name)) {
            const HostNames::State named = m_names->state(host);
            if (named == HostNames::State::Unknown)
                m_names->lookUp(host);
            if (named == HostNames::State::Unknown || named == HostNames::State::Looking)
                return false;
        }
    }
    // A site's other pages wait while its contact pages are read (the gate hands out those
    // first).
    if (contactFirstOn() && m_contactFirst.holdsBack(host) && !m_gate.frontHeldFirst(host))
        return false;
    return m_gate.waitFor(host) == 0;
}

void HarvestSession::releaseGate(FetchSlot *s)
{
    s->robotsFetch = false;
    if (s->gateHost.isEmpty())
        return;
    m_gate.finished(s->gateHost);
    s->gateHost.clear();
}

// Sites held back by a crawl delay are due at a time rather than at the end of a download.
void HarvestSession::scheduleGateTimer()
{
    if (m_gate.heldSites() == 0 || !m_harvesting)
        return;
    const qint64 soonest = m_gate.nextDue();
    if (soonest < 0)
        return;
    if (!m_gateTimer) {
        m_gateTimer = new QTimer(this);
        m_gateTimer->setSingleShot(true);
        connect(m_gateTimer, &QTimer::timeout, this, &HarvestSession::wakeIdleSlots);
    }
    if (!m_gateTimer->isActive() || m_gateTimer->remainingTime() > soonest)
        m_gateTimer->start(int(soonest));
}

void HarvestSession::lookAgainSoon()
{
    if (!m_gateTimer) {
        m_gateTimer = new QTimer(this);
        m_gateTimer->setSingleShot(true);
        connect(m_gateTimer, &QTimer::timeout, this, &HarvestSession::wakeIdleSlots);
    }
    m_gateTimer->start(0);
}

void HarvestSession::slotLeftIdle()
{
    // The queue ran dry while downloads were running: it is decided when the last of them
    // has been analysed (its links may have refilled the queue meanwhile).
    if (m_harvesting && m_finishing && !anySlotBusy() && m_gate.heldSites() == 0)
        queueRanDry();
}

// NextQueuedSite: the next backlog site for a refill (it stays in the table), or the empty
// text. When the backlog and the head are empty and no download runs, the search's queue
// is dry; while downloads run, that is decided when the last of them has been analysed.
QString HarvestSession::nextBacklogSite()
{
    const std::optional<QString> first = m_queue->takeFirst();
    if (!first) {
        // Taking the backlog for empty would end the search string's queue.
        stopForStore(m_store->lastError(), StoreFailure::Read, -1);
        return QString();
    }
    if (!first->isEmpty())
        return *first;
    // The sites already in the head are crawled first, and the pages still downloading may
    // queue more: the search's queue is dry only when neither holds anything.
    if (!siteQueue()->isEmpty() || m_gate.heldSites() > 0)
        return QString();
    if (anySlotBusy()) {
        m_finishing = true;
        return QString();
    }
    const std::optional<bool> teamWorks = m_store->teamStillWorking(currentSearch());
    if (!teamWorks) {
        stopForStore(m_store->lastError(), StoreFailure::Read, -1);
        return QString();
    }
    if (*teamWorks) {
        waitForTeam();
        return QString();
    }
    queueRanDry();
    return QString();
}

void HarvestSession::waitForTeam()
{
    m_finishing = false;
    if (!m_teamWait->isActive())
        m_teamWait->start();
}

void HarvestSession::wakeIdleSlots()
{
    // One idle slot after the other, until one finds nothing (it waits again, or the queue
    // ran dry).
    for (int i = 0; i < slotCount(); ++i) {
        FetchSlot *s = m_slots[size_t(i)];
        if (!m_harvesting)
            return;
        if (s->isConnected() || !s->site.isEmpty())
            continue;
        // A slot that rested while its page waited for analysis moves on as after a page.
        m_waking = !s->restingAfterPage;
        s->restingAfterPage = false;
        fetchNext(s->index());
        m_waking = false;
        if (!s->isConnected() && s->site.isEmpty())
            return;
    }
}

void HarvestSession::queueRanDry()
{
    m_finishing = false;
    // The last download's end decides without taking again: sites the head still holds are
    // handed out first.
    if (!siteQueue()->isEmpty()) {
        lookAgainSoon();
        return;
    }
    // Nothing is in flight now, so a site still noted as taken by this harvester was never
    // analysed: a restore at the start failed (a server busy or out of reach for a moment),
    // and on a shared store no teammate would ever take it. It is crawled before the queue
    // counts as dry.
    const std::optional<int> back = m_queue->restorePending(true);
    if (!back) {
        stopForStore(m_store->lastError(), StoreFailure::Read, -1);
        return;
    }
    if (*back > 0) {
        qCWarning(lcEngine) << *back << "sites taken but never analysed went back to the queue";
        lookAgainSoon();
        return;
    }
    m_yield->finish();
    if (m_searches->count() >= 2) {
        // The current search is finished; discovery starts for the next one.
        endHarvest();
        QString current = m_searches->item(0);
        (void)m_store->deleteSearch(current);
        m_searches->removeItem(0);
        // A team's next queue may have begun already; the start claims or joins it.
        if (m_store->isShared())
            m_queue->clearLocal();
        else
            m_queue->clearBacklog();
        siteQueue()->clear();
        startNextSearch();
        return;
    }
    // The last search: the "After last search:" policy.
    if (m_options->value(OptionId::AfterLastSearch) == 1) {
        // Idle, a team's harvester keeps looking for what the others queue.
        if (m_store->isShared())
            waitForTeam();
        if (!m_queueDry) {
            m_queueDry = true;
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
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    if (m_queue->holdsSites())
        setResumable(true);
    stopAllSlots();
    commitPages();
    Q_EMIT harvestStopped();
    setProgress(100);
    setActivity(Line::Transfer, QStringLiteral("Stopped"));
    setActivity(Line::Step, QStringLiteral("No more websites queued"));
    setActivity(Line::Outcome, QStringLiteral("Try a different search"));
    setActivity(Line::Spare, QString());
    playSoundIf(m_options->isOn(OptionId::SoundOnFinished), kSoundFinished);
}

// ---- fetch slots -------------------------------------------------------------------------

// ConnectSlot
HarvestSession::ConnectResult HarvestSession::connectSlot(int slot)
{
    if (!m_harvesting)
        return ConnectResult::NotRunning;
    const ConnectTarget t = connectTargetOf(m_nextSite);
    m_currentPageUrl = t.strCurUrl;
    FetchSlot *s = m_slots[size_t(slot)];
    s->pageUrl = t.strCurUrl;
    s->pageDirectory = t.strCurDir;
    s->host = t.strHost;
    s->path = t.strPath;
    s->https = t.https && m_options->isOn(OptionId::FollowRedirects);
    s->connectName = t.strHost; // a ":port" stays part of the name, as the request has it
    s->connectPort = s->https ? 443 : 80;
    s->hops = 0;
    // The reference request carries no User-Agent; the modern one names the program.
    s->userAgent = m_options->isOn(OptionId::FollowRedirects)
                       ? UserAgent::sanitized(m_options->text(OptionId::UserAgentText))
                       : QByteArray();
    s->keepAlive = politeMode();
    preferKnownHttps(s);
    if (t.strHost.isEmpty() || m_nextSite.size() > CrawlLimits::MaxSiteLength ||
        m_limits.isAbandoned(t.strHost) || (contactFirstOn() && m_contactFirst.passOver(s->site))) {
        s->stopWatchdogs();
        s->closeSocket();
        return ConnectResult::Skipped;
    }
    if (politeMode() && m_gate.tryStart(t.strHost))
        s->gateHost = t.strHost;
    if (robotsOn()) {
        const QByteArray key = CrawlLimits::foldCase(t.strHost);
        const auto it = m_robots.constFind(key);
        if (it == m_robots.cend()) {
            // The host's first page: its robots.txt is read first, on this slot.
            m_robots.insert(key, RobotsEntry());
            s->robotsFetch = true;
            s->robotsHost = key;
            s->pagePath = t.strPath;
            s->path = "/robots.txt";
        } else if (!it->rules.allowed(t.strPath)) {
            s->stopWatchdogs();
            s->closeSocket();
            return ConnectResult::Skipped;
        }
    }
    beginDownload(s);
    return ConnectResult::Started;
}

void HarvestSession::beginDownload(FetchSlot *s)
{
    s->reset();
    setActivity(Line::Transfer,
                QStringLiteral("Downloading: ") +
                    (s->https ? QStringLiteral("https://") : QStringLiteral("http://")) +
                    QString::fromLatin1(s->host + s->path));
    s->startWatchdogs();
    s->open(m_resolve, m_tlsResolve, m_options->isOn(OptionId::AllowLocal));
}

void HarvestSession::slotConnected(int)
{
    setProgress(0);
}

void HarvestSession::slotReceived(int slot)
{
    const FetchSlot *s = m_slots[size_t(slot)];
    setActivity(Line::Transfer, QStringLiteral("Downloading: ") +
                                    QString::fromLatin1(s->host + s->path) + QStringLiteral(" (") +
                                    QString::number(s->bodyBytes) + QLatin1Char(')'));
    if (s->contentLength >= 1)
        setProgress(HttpResponse::progressPercent(s->bodyBytes, s->contentLength, m_progress));
}

void HarvestSession::slotAbandoned(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    s->stopWatchdogs();
    s->closeSocket();
    s->received.clear();
    m_limits.abandon(s->host);
    Q_EMIT abandonedHostsChanged(m_limits.abandonedText());
    Q_EMIT downloadAbandoned(slot, s->host);
    fetchNext(slot);
}

// Ten slots may each hold the largest response; more would hold more memory than a desktop
// program should. Beyond ten, responses larger than kSmallResponse share a budget, and the
// one that would exceed it is given up like an oversized one.
bool HarvestSession::mayKeep(int slot, qint64 bytes) const
{
    constexpr qint64 kSmallResponse = 512 * 1024;
    constexpr qint64 kLargeResponseBudget = 64 * 1024 * 1024;
    if (slotCount() <= SlotCount || bytes <= kSmallResponse)
        return true;
    // Pages waiting for their analysis are held as long as those still arriving.
    qint64 total = m_analysedBytes;
    for (const FetchSlot *s : m_slots) {
        if (s->index() != slot && s->received.size() > kSmallResponse)
            total += s->received.size();
    }
    return total + bytes <= kLargeResponseBudget;
}

void HarvestSession::robotsAnswered(int slot, const QByteArray &page)
{
    FetchSlot *s = m_slots[size_t(slot)];
    s->robotsFetch = false;
    QByteArray body = HttpResponse::cutHeader(page);
    if (HttpResponse::isChunked(page))
        body = HttpResponse::dechunk(body);
    RobotsEntry &entry = m_robots[s->robotsHost];
    entry.pending = false;
    entry.rules = RobotsTxt::fromAnswer(HttpResponse::statusCode(page), s->hops, body,
                                        UserAgent::defaultProductToken());
    if (!s->gateHost.isEmpty())
        m_gate.setCrawlDelay(s->gateHost, entry.rules.crawlDelayMs());
    if (!entry.rules.allowed(s->pagePath)) {
        fetchNext(slot); // the site is done without its page
        return;
    }
    // Now the page itself, from its own address.
    const ConnectTarget t = connectTargetOf(Cp1252::fromUnicode(s->site));
    s->pageUrl = t.strCurUrl;
    s->pageDirectory = t.strCurDir;
    s->host = t.strHost;
    s->path = t.strPath;
    s->https = t.https;
    s->connectName = t.strHost;
    s->connectPort = s->https ? 443 : 80;
    s->hops = 0;
    preferKnownHttps(s);
    beginDownload(s);
}

// A robots.txt given up on (silent, dead, on a local address, or a redirect that cannot be
// followed) makes its host unreachable for the search: nothing of it is fetched, and its
// waiting sites are skipped rather than held for ever.
void HarvestSession::robotsUnreadable(FetchSlot *s)
{
    s->robotsFetch = false;
    if (!m_harvesting)
        return; // a stop forgets the entry: it is read again
    const auto it = m_robots.find(s->robotsHost);
    if (it == m_robots.end() || !it->pending)
        return;
    it->pending = false;
    it->rules = RobotsTxt::fromAnswer(-1, s->hops, {}, {});
}

void HarvestSession::preferKnownHttps(FetchSlot *s)
{
    if (!politeMode() || s->https || !m_limits.isSecure(s->connectName))
        return;
    s->https = true;
    s->connectPort = 443;
}

void HarvestSession::slotFailed(int slot)
{
    // Remembered as a watchdog remembers a silent host, without waiting for it.
    slotAbandoned(slot);
}

bool HarvestSession::followRedirect(int slot, const QByteArray &page)
{
    FetchSlot *s = m_slots[size_t(slot)];
    if (!m_options->isOn(OptionId::FollowRedirects) || s->hops >= MaxRedirectHops ||
        !HttpResponse::isRedirectStatus(HttpResponse::statusCode(page)))
        return false;
    const QByteArray location = HttpResponse::headerValue(page, "Location");
    HttpResponse::Target t;
    if (location.isEmpty() ||
        !HttpResponse::resolveLocation(s->https, s->host, s->path, location, &t))
        return false;
    // A redirect may not lead to other services (mail, databases, admin ports), unless the
    // user allows the local network or mapped the host.
    const QString name = QString::fromLatin1(t.hostName);
    const bool mapped = (t.https && m_tlsResolve.lookup(name)) || m_resolve.lookup(name);
    if (!NetworkScope::mayRedirectToPort(t.port, m_options->isOn(OptionId::AllowLocal), mapped)) {
        if (!s->robotsFetch)
            return false;
        // A robots.txt that cannot be read through its redirects: the host is unreachable.
        fetchNext(slot);
        return true;
    }
    // A host that sends a plain page to the same page over TLS has moved to TLS as a whole:
    // its next pages are asked for over TLS at once. (One that sends some paths elsewhere
    // over TLS has not.)
    if (!s->https && t.https && t.port == 443 && s->connectPort == 80 && t.path == s->path &&
        CrawlLimits::foldCase(t.hostName) == CrawlLimits::foldCase(s->connectName))
        m_limits.noteSecure(s->connectName);
    ++s->hops;
    s->host = t.host;
    s->path = t.path;
    s->https = t.https;
    s->connectName = t.hostName;
    s->connectPort = t.port;
    // The page's links resolve against where it really is.
    const ConnectTarget where = connectTargetOf(t.host + t.path);
    m_currentPageUrl = s->pageUrl = where.strCurUrl;
    s->pageDirectory = where.strCurDir;
    if (m_limits.isAbandoned(t.host)) {
        fetchNext(slot);
        return true;
    }
    beginDownload(s);
    return true;
}

void HarvestSession::slotFinished(int slot)
{
    inPageBatch([this, slot] { finishPage(slot); });
}

void HarvestSession::inPageBatch(const std::function<void()> &work)
{
    if (m_pageBatch > 0) {
        work();
        return;
    }
    if (!m_pagesOpen) {
        m_pagesOpen = true;
        m_pageBatchFailed = false;
        m_pagesInBatch = 0;
        m_store->beginBatch();
        if (!m_commitTimer) {
            m_commitTimer = new QTimer(this);
            m_commitTimer->setSingleShot(true);
            m_commitTimer->setInterval(0);
            connect(m_commitTimer, &QTimer::timeout, this, &HarvestSession::commitPages);
        }
        m_commitTimer->start();
    }
    ++m_pageBatch;
    work();
    --m_pageBatch;
    // A store that others share commits each page at once: its rows stay locked meanwhile.
    if (++m_pagesInBatch >= kCommitEveryPages || m_store->isShared() || !m_harvesting)
        commitPages();
}

// The pages finished lately are committed together: a commit costs more than all the rest
// of a page's writes. Their numbers are told as stored only now, so that a kill never loses
// a number already reported; a killed batch's sites are still in the queue.
void HarvestSession::commitPages()
{
    if (!m_pagesOpen || m_pageBatch > 0)
        return;
    m_pagesOpen = false;
    if (m_commitTimer)
        m_commitTimer->stop();
    // What the batch holds is taken before its commit: the message about a failed commit
    // may run a nested event loop, in which later pages begin a batch of their own.
    QList<FaxRow> rows;
    rows.swap(m_pageNumbers);
    const bool failed = m_pageBatchFailed;
    const quint64 refused = m_writesRefused;
    m_store->endBatch();
    // The commit itself can fail (the server went away just then): nothing of the batch is
    // stored, and none of its numbers may be told as stored.
    if (failed || m_writesRefused != refused)
        return;
    for (const FaxRow &row : qAsConst(rows))
        Q_EMIT numberStored(row);
}

void HarvestSession::finishPage(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    QByteArray page = std::move(s->received);
    s->received.clear();
    if (followRedirect(slot, page))
        return;
    if (s->robotsFetch) {
        robotsAnswered(slot, page);
        return;
    }
    // Kept on purpose (tst_fetchslots pageFilesAndProgress "error page"): a page its server
    // completed counts as scanned, whatever its status.
    m_counters->add(Counters::SiteScanned);
    QByteArray body = HttpResponse::cutHeader(page);
    if (m_options->isOn(OptionId::FollowRedirects) && HttpResponse::isChunked(page))
        body = HttpResponse::dechunk(body);
    page = QByteArray(); // a large page is not held twice while it is analysed
    const QByteArray address = s->host + s->path;
    if (s->hops > 0)
        m_queue->markHandedOut(Cp1252::toUnicode(address)); // the page a redirect led to
    setActivity(Line::Transfer, QStringLiteral("Finished: ") + QString::fromLatin1(address));
    m_currentPageUrl = s->pageUrl;
    Q_EMIT pageFinished(slot, address);
    if (m_options->isOn(OptionId::RenderScripts) &&
        m_scriptPages->take(slot, (s->https ? "https://" : "http://") + address, body))
        return;
    savePage(body, slot);
}

// SavePage
void HarvestSession::savePage(const QByteArray &body, int slot)
{
    if (!m_harvesting)
        return;
    setActivity(Line::Step, QStringLiteral("Saving to HTML"));
    bool saved = writePageFile(pageFile1(m_dataDir, slot), body);
    // With the finder on, the second file gets only the page's text, once it is known: the
    // finder reads the page itself.
    const bool beside = m_options->isOn(OptionId::FindBeyondFaxLine);
    QByteArray flat;
    if (!beside) {
        flat = withoutLineBreaks(body);
        saved = writePageFile(pageFile2(m_dataDir, slot), flat) && saved;
    }
    if (!saved) {
        // The files would hold an earlier page, and a later look at them would mistake it
        // for this one: the page is passed over instead.
        setActivity(Line::Step, QString());
        fetchNext(slot);
        return;
    }
    if (beside)
        analyseBeside(slot, body);
    else
        analyseSavedPage(slot, body, flat);
}

// GetLinks and GetFaxes: the page's new links go into the backlog, its new numbers into the
// store, and the slot moves on. Relative links resolve against the page itself, not against
// whichever slot connected last.
void HarvestSession::analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody)
{
    const FetchSlot *s = m_slots[size_t(slot)];
    keepFindings(slot,
                 analysePage(body, {s->pageUrl, s->pageDirectory}, analysisOptions(), flatBody));
}

// The finder costs as much as the rest of a page: it runs on a thread of its own, and the
// slot goes on to its next site meanwhile. The page's site stays pending until its findings
// are kept; pages come back in the order they were handed over. A slot rests instead while
// the pages waiting for analysis are as many as the slots, or hold more than a budget.
void HarvestSession::analyseBeside(int slot, const QByteArray &body)
{
    FetchSlot *s = m_slots[size_t(slot)];
    constexpr qint64 kWaitingBudget = 16 * 1024 * 1024;
    const quint64 ticket = ++m_analysisTickets;
    const PageAddress address{s->pageUrl, s->pageDirectory};
    m_analyses.insert(ticket, {s->site, Cp1252::toUnicode(s->host + s->path), slot,
                               qint64(body.size()), body, s->pageUrl, s->pageDirectory});
    m_analysedBytes += body.size();
    s->site.clear(); // the analysis holds it now
    AnalysisOptions options = analysisOptions();
    // Numbers whose owner was read on another page of this site are not read again.
    options.isStored = [stored = m_storedNumbers,
                        site = ContactFirst::siteOf(Cp1252::toUnicode(s->host))](
                           const QString &e164) { return stored->readOn(e164, site); };
    if (!m_analysisThread) {
        m_analysisThread = new QThread(this);
        m_analysisThread->setObjectName(QStringLiteral("page analysis"));
        m_analyser = new QObject;
        m_analyser->moveToThread(m_analysisThread);
        m_analysisThread->start();
    }
    QMetaObject::invokeMethod(
        m_analyser,
        [this, ticket, body, address, options] {
            PageFindings found = analysePage(body, address, options);
            QMetaObject::invokeMethod(
                this, [this, ticket, found = std::move(found)] { analysisDone(ticket, found); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    if (m_analyses.size() >= slotCount() || m_analysedBytes > kWaitingBudget) {
        releaseGate(s);
        s->restingAfterPage = true;
        return;
    }
    fetchNext(slot);
}

void HarvestSession::analysisDone(quint64 ticket, const PageFindings &found)
{
    // Kept already by a stop, which did not wait for the thread.
    const std::optional<Analysis> page = takeAnalysis(ticket);
    if (!page)
        return;
    inPageBatch([&] {
        if (!keepAnalysed(*page, found))
            return;
        // Its links may give resting slots work; the last page of a dry queue ends it.
        wakeIdleSlots();
        slotLeftIdle();
    });
}

std::optional<HarvestSession::Analysis> HarvestSession::takeAnalysis(quint64 ticket)
{
    const auto it = m_analyses.find(ticket);
    if (it == m_analyses.end())
        return std::nullopt;
    const Analysis page = *it;
    m_analyses.erase(it);
    m_analysedBytes -= page.bytes;
    return page;
}

AnalysisOptions HarvestSession::analysisOptions() const
{
    AnalysisOptions options;
    options.allowInternational = m_options->isOn(OptionId::AllowInternational);
    options.findBeyondFaxLine = m_options->isOn(OptionId::FindBeyondFaxLine);
    // The modern mode asks servers for web pages only; the reference reads a "tel:" link as
    // a path of the page's site.
    options.webLinksOnly = politeMode();
    options.markContactLinks = contactFirstOn();
    return options;
}

// A page downloaded is a page analysed, as when the analysis ran on the crawl's thread: a
// stop keeps the pages whose findings are still on their way, reading them here and now.
void HarvestSession::finishAnalysesNow()
{
    if (m_finishingAnalyses)
        return;
    m_finishingAnalyses = true;
    QList<quint64> tickets = m_analyses.keys();
    std::sort(tickets.begin(), tickets.end());
    for (const quint64 ticket : qAsConst(tickets)) {
        if (!m_harvesting)
            break; // the store failed: the rest went back to the queue
        const std::optional<Analysis> page = takeAnalysis(ticket);
        if (!page)
            continue;
        const PageFindings found =
            analysePage(page->body, {page->pageUrl, page->pageDirectory}, analysisOptions());
        inPageBatch([&] { (void)keepAnalysed(*page, found); });
    }
    m_finishingAnalyses = false;
}

// False when the harvest stopped because the store failed; the page's site is back in the
// queue then.
bool HarvestSession::keepAnalysed(const Analysis &page, const PageFindings &found)
{
    if (!keepPage(page.slot, page.website, found, -1)) {
        // Stopped: the page is read again after Resume.
        m_queue->returnToBacklog(page.site);
        return false;
    }
    m_queue->siteDone(page.site);
    m_contactFirst.siteDone(page.site);
    return true;
}

void HarvestSession::keepFindings(int slot, const PageFindings &found)
{
    const FetchSlot *s = m_slots[size_t(slot)];
    // The harvest has stopped, and the page's site stays pending for Resume.
    if (!keepPage(slot, Cp1252::toUnicode(s->host + s->path), found, slot))
        return;
    fetchNext(slot);
    wakeIdleSlotsAfterPage();
}

// GetLinks and GetFaxes for a page found at website, whose page files are slot's. False when
// a number could not be looked up: the harvest has stopped (unfinishedSlot's site goes back).
bool HarvestSession::keepPage(int slot, const QString &website, const PageFindings &found,
                              int unfinishedSlot)
{
    setActivity(Line::Step, QStringLiteral("Getting Links"));
    const bool contactFirst = contactFirstOn() && found.contactLinks.size() == found.links.size();
    if (contactFirst && !found.numbers.isEmpty())
        m_contactFirst.faxFound(website);
    if (!queueLinks(found.links, contactFirst ? &found.contactLinks : nullptr)) {
        // A link taken for known would never be queued: the page is read again after Resume.
        stopForStore(m_store->lastError(), StoreFailure::Read, unfinishedSlot);
        return false;
    }
    setActivity(Line::Step, QString());

    setActivity(Line::Step, QStringLiteral("Getting Faxes"));
    // The second page file ends up holding the page's text.
    writePageFile(pageFile2(m_dataDir, slot), found.text);
    for (const FoundNumber &n : found.numbers) {
        if (!storeNumber(website, n, unfinishedSlot))
            return false;
    }
    setActivity(Line::Step, QString());
    return true;
}

bool HarvestSession::queueLinks(const QStringList &links, const QList<bool> *contactLinks)
{
    // One transaction for the page's links.
    m_store->beginBatch();
    bool read = true;
    for (qsizetype i = 0; i < links.size(); ++i) {
        QString site = links.at(i);
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        const std::optional<bool> known = m_queue->isKnown(site);
        if (!known) {
            read = false;
            break;
        }
        if (*known)
            continue;
        const bool contact = contactLinks && contactLinks->at(i);
        if (contactLinks && !m_contactFirst.wanted(site, contact))
            continue;
        if (!m_limits.admitPage(site))
            continue;
        m_counters->add(Counters::SiteFound);
        if (contactLinks && m_contactFirst.putFirst(site, contact)) {
            // Taken at once, as a refill takes a site: noted pending instead of joining the
            // backlog, it waits ahead of its host's other pages.
            if (m_store->notePending(site)) {
                m_queue->markHandedOut(site);
                m_gate.holdFirst(connectTargetOf(Cp1252::fromUnicode(site)).strHost, site);
                Q_EMIT siteQueued(site);
            }
            continue;
        }
        if (m_store->addWebsite(site))
            Q_EMIT siteQueued(site);
    }
    m_store->endBatch();
    return read;
}

bool HarvestSession::storeNumber(const QString &website, const FoundNumber &found, int slot)
{
    FaxRow row;
    row.fax = found.number;
    row.website = website;
    row.search = currentSearch();
    row.location = found.location;
    row.e164 = found.e164;
    row.country = found.countryCode;
    row.label = found.label;
    row.how = found.how;
    row.context = found.context;
    const std::optional<bool> known = m_store->numberExists(row);
    if (!known) {
        // Taking the number for known would lose it, and every later one with it.
        stopForStore(m_store->lastError(), StoreFailure::Read, slot);
        return false;
    }
    // A number whose owner the finder left unread (read on another page of this site) gets
    // the owner read there.
    const QByteArray site = ContactFirst::siteOf(website);
    ContactOwner owner = found.owner;
    if (owner == ContactOwner())
        owner = m_storedNumbers->ownerOn(row.e164, site);
    m_storedNumbers->remember(row.e164, site, owner);
    if (found.noUnsolicitedFaxes) {
        // Recorded like any number, but never exported. A failed write is reported by the
        // store and does not stop the harvest.
        (void)m_store->addDoNotFax(row.fax, DoNotFax::storedKey(row.fax, row.e164),
                                   Store::reasonNoticeSays);
        Q_EMIT numberRefusesFaxes(row);
    }
    m_yield->numberRead(row.fax, !*known);
    // The finder's numbers belong to a business, also when stored already (another page,
    // another search string). A failed write is reported by the store.
    if (!row.e164.isEmpty() && m_options->isOn(OptionId::FindBeyondFaxLine))
        (void)m_store->addBusinessFax(
            BusinessRecord::of(row.e164, website, currentSearch(), owner));
    if (*known)
        return true;
    if (m_numbersStored < std::numeric_limits<qint32>::max())
        ++m_numbersStored;
    // Kept on purpose (tst_pagestore numbers_foundTextCounts): one more than the 20 that
    // start-up loads.
    if (m_preview->count() > kPreviewKeep)
        m_preview->removeItem(0);
    m_preview->addItem(row.fax + QStringLiteral(" | ") + found.location);
    const bool stored = m_store->addFax(row);
    playSoundIf(m_options->isOn(OptionId::SoundOnFaxFound), kSoundFaxFound);
    m_counters->add(Counters::NumberFound);
    setActivity(Line::Outcome, QStringLiteral("Found ") + QString::number(m_numbersStored) +
                                   QStringLiteral(" faxes"));
    if (stored && m_pagesOpen)
        m_pageNumbers.append(row);
    else if (stored)
        Q_EMIT numberStored(row);
    return true;
}
