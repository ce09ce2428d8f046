#include "harvestsession.h"

#include "cp1252.h"
#include "crawlqueue.h"
#include "datadir.h"
#include "donotfax.h"
#include "faxscan.h"
#include "globals.h"
#include "httpresponse.h"
#include "logging.h"
#include "openstore.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "settingsstore.h"
#include "soundplayer.h"
#include "sqlitestore.h"
#include "textlist.h"
#include "useragent.h"
#include "watchdogclock.h"

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

} // namespace

HarvestSession::HarvestSession(const QString &dataDir, SettingsStore *settings, QObject *parent,
                               const QString &storeLocation)
    : QObject(parent), m_dataDir(dataDir), m_settings(settings)
{
    m_counters = new Counters(settings, this);
    m_options = new OptionValues(settings, optionTable(), this);
    connect(m_options, &OptionValues::changed, this, &HarvestSession::optionChanged);
    if (storeLocation.isEmpty()) {
        m_store = new SqliteStore(dataDir, this);
    } else {
        m_store = StoreLocation::open(storeLocation).release();
        m_store->setParent(this);
    }
    m_queue = new CrawlQueue(m_store, m_counters, this);
    m_searches = new TextList(this);
    m_preview = new TextList(this);
    m_scheduler = new CrawlScheduler(this, m_queue, m_counters, this);
    m_scheduler->setPolicy(crawlPolicy());
    connect(m_scheduler, &CrawlScheduler::downloadStarted, this, [this](const QByteArray &url) {
        setActivity(Line::Transfer, QStringLiteral("Downloading: ") + QString::fromLatin1(url));
    });
    connect(m_scheduler, &CrawlScheduler::downloadConnected, this, [this] { setProgress(0); });
    connect(m_scheduler, &CrawlScheduler::downloadReceived, this,
            [this](int, const QByteArray &address, qint32 bytes, qint32 length) {
                setActivity(Line::Transfer,
                            QStringLiteral("Downloading: ") + QString::fromLatin1(address) +
                                QStringLiteral(" (") + QString::number(bytes) + QLatin1Char(')'));
                if (length >= 1)
                    setProgress(HttpResponse::progressPercent(bytes, length, m_progress));
            });
    connect(m_scheduler, &CrawlScheduler::pageFinished, this,
            [this](int slot, const QByteArray &address) {
                setActivity(Line::Transfer,
                            QStringLiteral("Finished: ") + QString::fromLatin1(address));
                Q_EMIT pageFinished(slot, address);
            });
    connect(m_scheduler, &CrawlScheduler::abandonedHostsChanged, this,
            &HarvestSession::abandonedHostsChanged);
    connect(m_scheduler, &CrawlScheduler::downloadAbandoned, this,
            &HarvestSession::downloadAbandoned);

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
    m_scheduler->setResolveMap(map);
}

void HarvestSession::setTlsResolveMap(const ResolveMap &map)
{
    m_scheduler->setTlsResolveMap(map);
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
    m_scheduler->setWatchdogClock(clock);
}

void HarvestSession::setTeamTiming(int leaseSeconds, int pollMs)
{
    m_leaseSeconds = leaseSeconds;
    m_scheduler->setTeamPoll(pollMs);
}

void HarvestSession::setLookupTimeout(int ms)
{
    m_scheduler->setLookupTimeout(ms);
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
        m_scheduler->setRunning(running);
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
    return m_scheduler->slotInfo(slot);
}

bool HarvestSession::anySlotBusy() const
{
    return m_scheduler->anySlotConnected() || !m_analyses.isEmpty();
}

// ---- options -----------------------------------------------------------------------------

void HarvestSession::setOption(OptionId option, int value)
{
    m_options->set(option, value);
}

int HarvestSession::slotCount() const
{
    return m_scheduler->slotCount();
}

// The crawl's options as one policy, for the scheduler.
CrawlPolicy HarvestSession::crawlPolicy() const
{
    static const int kSlots[4] = {SlotCount, 20, 50, MaxSlotCount};
    static const int kPages[4] = {50, 200, 1000, CrawlLimits::NoPageLimit};
    CrawlPolicy policy;
    const int slots = m_options->value(OptionId::ParallelDownloads);
    policy.slots = slots >= 0 && slots < 4 ? kSlots[slots] : SlotCount;
    const int pages = m_options->value(OptionId::PagesPerSite);
    policy.pagesPerSite = pages >= 0 && pages < 4 ? kPages[pages] : CrawlLimits::NoPageLimit;
    policy.downloadsPerSite = m_options->value(OptionId::DownloadsPerSite);
    policy.mode = m_options->isOn(OptionId::FollowRedirects) ? CrawlPolicy::Mode::Modern
                                                             : CrawlPolicy::Mode::Reference;
    policy.robots = m_options->isOn(OptionId::RespectRobots);
    // The reference request carries no User-Agent; the modern one names the program.
    policy.userAgent = UserAgent::sanitized(m_options->text(OptionId::UserAgentText));
    policy.allowLocal = m_options->isOn(OptionId::AllowLocal);
    policy.autoAdvance = m_options->isOn(OptionId::AutoAdvance);
    policy.advanceAfter = m_advanceAfter;
    return policy;
}

void HarvestSession::pushPolicy()
{
    const CrawlPolicy policy = crawlPolicy();
    if (policy != m_scheduler->policy())
        m_scheduler->setPolicy(policy);
}

void HarvestSession::optionChanged(OptionId option)
{
    if (option == OptionId::AdvanceAfter) {
        // Text typed into the choice picks nothing and leaves the number as it was.
        const int pick = m_options->value(option);
        if (pick >= 0 && pick <= 7 && m_advanceAfter != kAdvanceAfter[pick]) {
            m_advanceAfter = kAdvanceAfter[pick];
            pushPolicy();
            Q_EMIT advanceAfterChanged(m_advanceAfter);
            return;
        }
    }
    pushPolicy();
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
    m_scheduler->setIdleLimit(10);
    m_scheduler->setTotalLimit(30);
    m_numbersStored = 0;
    m_scheduler->resetAdvanceCount();
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
    m_scheduler->stopAll();
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
    m_scheduler->newSearch();
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
    for (QString site : names) {
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        (void)m_store->addWebsite(site);
        m_counters->add(Counters::SiteFound);
    }
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
    m_scheduler->returnInterrupted(unfinishedSlot, head);
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
}

void HarvestSession::numbersDeleted()
{
    // Some numbers went (the numbers window): the preview shows what is left.
    m_preview->clear();
    loadNumberPreview();
}

// ---- the scheduler -----------------------------------------------------------------------

void HarvestSession::startCrawl()
{
    m_discovering = false;
    m_queueDry = false;
    m_queue->beginHarvest();
    setHarvesting(true);
    setResumable(false);
    Q_EMIT harvestStarted();
    // What the lookup of sites said ended with it.
    for (Line line : {Line::Step, Line::Outcome, Line::Spare})
        setActivity(line, QString());
    m_harvestSearch = m_searches->item(0);
    m_scheduler->begin();
}

void HarvestSession::fetchNext(int slot)
{
    m_scheduler->fetchNext(slot);
}

// ---- what the scheduler asks -------------------------------------------------------------

void HarvestSession::advanceDue()
{
    nextSearch();
}

void HarvestSession::workArrived()
{
    m_queueDry = false;
    refreshState();
}

void HarvestSession::storeUnreadable(int slot)
{
    stopForStore(m_store->lastError(), StoreFailure::Read, slot);
}

std::optional<bool> HarvestSession::teamStillWorking()
{
    return m_store->teamStillWorking(currentSearch());
}

bool HarvestSession::politeMode() const
{
    return m_scheduler->policy().modern();
}

void HarvestSession::queueRanDry()
{
    // The last download's end decides without taking again: sites the head still holds are
    // handed out first.
    if (!siteQueue()->isEmpty()) {
        m_scheduler->lookAgainSoon();
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
        m_scheduler->lookAgainSoon();
        return;
    }
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
            m_scheduler->waitForTeam();
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

void HarvestSession::pageArrived(int slot, const QByteArray &body)
{
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
        m_scheduler->fetchNext(slot);
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
    const FetchRequest &r = m_scheduler->request(slot);
    keepFindings(slot,
                 analysePage(body, {r.pageUrl, r.pageDirectory}, analysisOptions(), flatBody));
}

// The finder costs as much as the rest of a page: it runs on a thread of its own, and the
// slot goes on to its next site meanwhile. The page's site stays pending until its findings
// are kept; pages come back in the order they were handed over. A slot rests instead while
// the pages waiting for analysis are as many as the slots, or hold more than a budget.
void HarvestSession::analyseBeside(int slot, const QByteArray &body)
{
    const FetchRequest &r = m_scheduler->request(slot);
    constexpr qint64 kWaitingBudget = 16 * 1024 * 1024;
    const quint64 ticket = ++m_analysisTickets;
    const PageAddress address{r.pageUrl, r.pageDirectory};
    // The analysis holds the site now.
    m_analyses.insert(ticket, {m_scheduler->takeSite(slot), Cp1252::toUnicode(r.address()), slot,
                               qint64(body.size()), body, r.pageUrl, r.pageDirectory});
    m_analysedBytes += body.size();
    const AnalysisOptions options = analysisOptions();
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
        m_scheduler->rest(slot);
        return;
    }
    m_scheduler->fetchNext(slot);
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
        m_scheduler->wakeIdleSlots();
        m_scheduler->slotLeftIdle();
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
    return true;
}

void HarvestSession::keepFindings(int slot, const PageFindings &found)
{
    // The harvest has stopped, and the page's site stays pending for Resume.
    if (!keepPage(slot, Cp1252::toUnicode(m_scheduler->request(slot).address()), found, slot))
        return;
    m_scheduler->fetchNext(slot);
    m_scheduler->wakeIdleSlotsAfterPage();
}

// GetLinks and GetFaxes for a page found at website, whose page files are slot's. False when
// a number could not be looked up: the harvest has stopped (unfinishedSlot's site goes back).
bool HarvestSession::keepPage(int slot, const QString &website, const PageFindings &found,
                              int unfinishedSlot)
{
    setActivity(Line::Step, QStringLiteral("Getting Links"));
    if (!queueLinks(found.links)) {
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

bool HarvestSession::queueLinks(const QStringList &links)
{
    // One transaction for the page's links.
    m_store->beginBatch();
    bool read = true;
    for (QString site : links) {
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        const std::optional<bool> known = m_queue->isKnown(site);
        if (!known) {
            read = false;
            break;
        }
        if (*known)
            continue;
        if (!m_scheduler->limits().admitPage(site))
            continue;
        m_counters->add(Counters::SiteFound);
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
    if (found.noUnsolicitedFaxes) {
        // Recorded like any number, but never exported. A failed write is reported by the
        // store and does not stop the harvest.
        (void)m_store->addDoNotFax(row.fax, DoNotFax::storedKey(row.fax, row.e164),
                                   Store::reasonNoticeSays);
        Q_EMIT numberRefusesFaxes(row);
    }
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
