#include "harvestsession.h"

#include "analysisqueue.h"
#include "cp1252.h"
#include "crawlqueue.h"
#include "datadir.h"
#include "discoveryrun.h"
#include "donotfax.h"
#include "faxscan.h"
#include "globals.h"
#include "httpresponse.h"
#include "logging.h"
#include "openstore.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "pagekeeper.h"
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

    m_keeper =
        new PageKeeper(m_store, m_queue, m_counters, &m_scheduler->limits(), m_dataDir, this);
    m_keeper->setSearchSource([this] { return currentSearch(); });
    connect(m_keeper, &PageKeeper::stepChanged, this, [this](PageKeeper::Step step) {
        setActivity(Line::Step,
                    step == PageKeeper::Step::GettingLinks   ? QStringLiteral("Getting Links")
                    : step == PageKeeper::Step::GettingFaxes ? QStringLiteral("Getting Faxes")
                                                             : QString());
    });
    connect(m_keeper, &PageKeeper::numberAdded, this, [this](qint32 count) {
        playSoundIf(m_options->isOn(OptionId::SoundOnFaxFound), kSoundFaxFound);
        setActivity(Line::Outcome,
                    QStringLiteral("Found ") + QString::number(count) + QStringLiteral(" faxes"));
    });
    connect(m_keeper, &PageKeeper::numberStored, this, &HarvestSession::numberStored);
    connect(m_keeper, &PageKeeper::numberRefusesFaxes, this, &HarvestSession::numberRefusesFaxes);
    connect(m_keeper, &PageKeeper::siteQueued, this, &HarvestSession::siteQueued);
    connect(m_keeper, &PageKeeper::storeUnreadable, this,
            [this](int slot) { stopForStore(m_store->lastError(), StoreFailure::Read, slot); });

    m_analysis = new AnalysisQueue(this);
    connect(m_analysis, &AnalysisQueue::done, this,
            [this](const AnalysisQueue::Page &page, const PageFindings &found) {
                analysisDone(page.slot, page.website, page.site, found);
            });

    m_discovery = new DiscoveryRun(m_store, m_counters, this);
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
    m_discovery->setListBuilder(builder);
}

ListBuilder *HarvestSession::listBuilder() const
{
    return m_discovery->listBuilder();
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
    return m_scheduler->anySlotConnected() || !m_analysis->isEmpty();
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
    m_keeper->resetNumbersStored();
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
    if (m_harvesting)
        finishAnalysesNow();
    if (m_harvesting)
        requeueInterrupted();
    if (m_discovering)
        m_discovery->abandon();
    m_discovering = false;
    m_queueDry = false;
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
    (void)m_analysis->takeAll();
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
    m_discovering = true;
    refreshState();
    setActivity(Line::Transfer, QStringLiteral("Looking up sites for: ") + m_discoverySearch);
    if (!m_discovery->listBuilder())
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
    m_discovery->lookUp(request);
}

void HarvestSession::discoveryFinished(const DiscoveryOutcome &outcome)
{
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
    for (const AnalysisQueue::Page &page : m_analysis->takeAll()) {
        if (page.site != head)
            m_queue->returnToBacklog(page.site);
    }
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
        m_discovery->abandon();
    m_discovering = false;
    if (discovering)
        m_discovery->unload();
    m_queueDry = false;
    setHarvesting(false);
    if (m_queue->holdsSites())
        setResumable(true);
    stopAllSlots();
    m_keeper->commit();
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
    m_keeper->clearPreview();
    // The session's count of numbers follows: its statistic, and the count the next find
    // reports ("Found 1 faxes").
    m_counters->resetNumbersFound();
    m_keeper->resetNumbersStored();
}

void HarvestSession::numbersDeleted()
{
    // Some numbers went (the numbers window): the preview shows what is left.
    m_keeper->clearPreview();
    m_keeper->loadPreview();
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

bool HarvestSession::pagesWaiting() const
{
    return !m_analysis->isEmpty();
}

qint64 HarvestSession::bytesWaiting() const
{
    return m_analysis->bytesWaiting();
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
    m_keeper->commit();
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
    m_keeper->inBatch(work);
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

void HarvestSession::analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody)
{
    const FetchRequest &r = m_scheduler->request(slot);
    const PageFindings found =
        analysePage(body, {r.pageUrl, r.pageDirectory}, analysisOptions(), flatBody);
    // The harvest has stopped, and the page's site stays pending for Resume.
    if (!m_keeper->keep({slot, Cp1252::toUnicode(r.address()), QString()}, found))
        return;
    m_scheduler->fetchNext(slot);
    m_scheduler->wakeIdleSlotsAfterPage();
}

void HarvestSession::analyseBeside(int slot, const QByteArray &body)
{
    constexpr qint64 kWaitingBudget = 16 * 1024 * 1024;
    const FetchRequest &r = m_scheduler->request(slot);
    // The analysis holds the site now.
    m_analysis->submit({m_scheduler->takeSite(slot),
                        Cp1252::toUnicode(r.address()),
                        slot,
                        body,
                        {r.pageUrl, r.pageDirectory}},
                       analysisOptions());
    if (m_analysis->size() >= slotCount() || m_analysis->bytesWaiting() > kWaitingBudget) {
        m_scheduler->rest(slot);
        return;
    }
    m_scheduler->fetchNext(slot);
}

void HarvestSession::analysisDone(int slot, const QString &website, const QString &site,
                                  const PageFindings &found)
{
    inPageBatch([&] {
        if (!m_keeper->keep({slot, website, site}, found))
            return;
        // Its links may give resting slots work; the last page of a dry queue ends it.
        m_scheduler->wakeIdleSlots();
        m_scheduler->slotLeftIdle();
    });
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
    // A store that fails stops the harvest: the rest went back to the queue.
    m_analysis->drainNow(
        analysisOptions(), [this] { return m_harvesting; },
        [this](const AnalysisQueue::Page &page, const PageFindings &found) {
            inPageBatch([&] { (void)m_keeper->keep({page.slot, page.website, page.site}, found); });
        });
}
