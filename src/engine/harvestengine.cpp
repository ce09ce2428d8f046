#include "harvestengine.h"

#include "cp1252.h"
#include "datadir.h"
#include "faxscan.h"
#include "fetchslot.h"
#include "globals.h"
#include "harvestmessages.h"
#include "httpresponse.h"
#include "logging.h"
#include "crawlqueue.h"
#include "sqlitestore.h"
#include "pageanalysis.h"
#include "pagefiles.h"
#include "settingsstore.h"
#include "soundplayer.h"
#include "textlist.h"

#include <QFile>

#include <limits>

namespace {

const qint32 kAdvanceAfter[8] = {1000, 5000, 10000, 20000, 50000, 100000, 200000, 500000};

const char *const kSoundNextSearch = "sounds/nextsearch.wav";
const char *const kSoundFinished = "sounds/finished.wav";

bool isChoice(OptionId o)
{
    return optionRow(o).kind == OptionRow::Kind::Choice;
}

} // namespace

HarvestEngine::HarvestEngine(const QString &dataDir, SettingsStore *settings, QObject *parent)
    : QObject(parent), m_dataDir(dataDir), m_settings(settings)
{
    m_counters = new Counters(settings, this);
    m_options = new OptionValues(settings, optionTable(), this);
    connect(m_options, &OptionValues::changed, this, &HarvestEngine::optionValueChanged);
    m_db = new SqliteStore(dataDir, this);
    m_queue = new CrawlQueue(m_db, m_counters, this);
    m_list1 = new TextList(this);
    m_list2 = m_queue->head();
    m_list3 = new TextList(this);
    for (int i = 0; i < SlotCount; ++i)
        m_slots[size_t(i)] = new FetchSlot(i, this);

    connect(m_queue, &CrawlQueue::headLoaded, this,
            [this] { setEnabled(Button::cmdResume, false); });
    // A harvest whose finds cannot be stored stops (the queue stays for Resume) instead of
    // crawling on for nothing; the status bar says why. Queued, so that the procedure that
    // wrote ends first.
    connect(m_db, &Store::writeFailed, this, &HarvestEngine::stopForStore, Qt::QueuedConnection);

    // The window opens with Start, Add, Del and the database buttons enabled.
    m_enabled.fill(true);
    m_enabled[size_t(Button::cmdStop)] = false;
    m_enabled[size_t(Button::cmdResume)] = false;
    m_enabled[size_t(Button::cmdNextSearch)] = false;
    for (const OptionRow &row : optionTable()) {
        const int v = m_options->value(row.id);
        m_comboText.push_back(row.kind == OptionRow::Kind::Choice && v >= 0 ? row.items.value(v)
                                                                             : row.caption);
    }
}

HarvestEngine::~HarvestEngine()
{
    for (FetchSlot *s : m_slots) {
        s->stopWatchdogs();
        s->closeSocket();
    }
}

// ---- seams -------------------------------------------------------------------------------

void HarvestEngine::setMessages(HarvestMessages *messages)
{
    m_messages = messages;
}

void HarvestEngine::setSoundPlayer(SoundPlayer *player)
{
    m_sound = player;
}

void HarvestEngine::setResolveMap(const ResolveMap &map)
{
    m_resolve = map;
}

void HarvestEngine::setTlsResolveMap(const ResolveMap &map)
{
    m_tlsResolve = map;
}

void HarvestEngine::setListBuilder(ListBuilder *builder)
{
    if (m_listBuilder)
        m_listBuilder->disconnect(this);
    m_listBuilder = builder;
    if (!builder)
        return;
    connect(builder, &ListBuilder::namesFound, this, &HarvestEngine::discoveryFoundNames);
    connect(builder, &ListBuilder::finished, this, &HarvestEngine::discoveryFinished);
    connect(builder, &ListBuilder::unloaded, this, &HarvestEngine::listBuilderUnloaded);
}

QString HarvestEngine::informationBox(const QString &text)
{
    if (m_messages)
        m_messages->information(text);
    return text;
}

void HarvestEngine::playSound(const QString &relativeName)
{
    if (!m_sound)
        return;
    const QString path = DataDir::resource(m_dataDir, relativeName);
    if (!path.isEmpty())
        m_sound->PlayWav(path);
}

bool HarvestEngine::playSoundIf(bool condition, const QString &relativeName)
{
    if (condition)
        playSound(relativeName);
    return condition;
}

// ---- state -------------------------------------------------------------------------------

HarvestEngine::HarvestState HarvestEngine::harvestState() const
{
    if (m_bHarvesting)
        return m_queueDry ? HarvestState::Draining : HarvestState::Harvesting;
    return m_discovering ? HarvestState::Discovering : HarvestState::Stopped;
}

void HarvestEngine::refreshState()
{
    const HarvestState s = harvestState();
    if (s != m_lastState) {
        qCDebug(lcEngine) << "state" << m_lastState << "->" << s;
        m_lastState = s;
        Q_EMIT harvestStateChanged(s);
    }
}

void HarvestEngine::setHarvesting(bool running)
{
    if (m_bHarvesting != running) {
        m_bHarvesting = running;
        Q_EMIT harvestingChanged(running);
    }
    refreshState();
}

void HarvestEngine::setTxtSearch(const QString &text)
{
    if (m_txtSearch == text)
        return;
    m_txtSearch = text;
    Q_EMIT txtSearchChanged(text);
}

void HarvestEngine::setText1(const QString &text)
{
    if (m_text1 == text)
        return;
    m_text1 = text;
    Q_EMIT text1Changed(text);
}

QString HarvestEngine::statusPanel(int panel) const
{
    if (panel < 1 || panel > 4)
        return QString();
    return m_status[panel - 1];
}

void HarvestEngine::setStatusPanel(int panel, const QString &text)
{
    if (panel < 1 || panel > 4 || m_status[panel - 1] == text)
        return;
    m_status[panel - 1] = text;
    Q_EMIT statusPanelChanged(panel, text);
}

void HarvestEngine::setPb1(int value)
{
    if (value < 0 || value > 100 || value == m_pb1)
        return;
    m_pb1 = value;
    Q_EMIT pb1Changed(value);
}

bool HarvestEngine::isEnabled(Button button) const
{
    return m_enabled[size_t(button)];
}

void HarvestEngine::setEnabled(Button button, bool enabled)
{
    bool &e = m_enabled[size_t(button)];
    if (e == enabled)
        return;
    e = enabled;
    Q_EMIT buttonEnabledChanged(button, enabled);
}

HarvestEngine::SlotInfo HarvestEngine::slotInfo(int slot) const
{
    SlotInfo info;
    if (slot < 0 || slot >= SlotCount)
        return info;
    const FetchSlot *s = m_slots[size_t(slot)];
    info.connected = s->isConnected();
    info.watchdogs = s->watchdogsRunning();
    info.strHost = s->strHost;
    info.strPath = s->strPath;
    info.https = s->https;
    info.lContentLength = s->lContentLength;
    info.lBodyBytes = s->lBodyBytes;
    info.hops = s->hops;
    return info;
}

bool HarvestEngine::anySlotBusy() const
{
    for (const FetchSlot *s : m_slots) {
        if (s->isConnected())
            return true;
    }
    return false;
}

// ---- options -----------------------------------------------------------------------------

int HarvestEngine::option(OptionId option) const
{
    return m_options->value(option);
}

QString HarvestEngine::comboText(OptionId combo) const
{
    return m_comboText.at(size_t(combo));
}

void HarvestEngine::setComboText(OptionId combo, const QString &text)
{
    QString &t = m_comboText.at(size_t(combo));
    if (t == text)
        return;
    t = text;
    Q_EMIT comboTextChanged(combo, text);
}

void HarvestEngine::optionValueChanged(OptionId option)
{
    Q_EMIT optionChanged(option, m_options->value(option));
}

void HarvestEngine::setOption(OptionId option, int value)
{
    if (!m_options->set(option, value))
        return;
    if (isChoice(option))
        setComboText(option, optionRow(option).items.value(value));
    if (option == OptionId::AdvanceAfter && m_lAdvanceAfter != kAdvanceAfter[value]) {
        m_lAdvanceAfter = kAdvanceAfter[value];
        Q_EMIT lAdvanceAfterChanged(m_lAdvanceAfter);
    }
}

void HarvestEngine::setComboEditText(OptionId combo, const QString &text)
{
    if (!isChoice(combo))
        return;
    setComboText(combo, text);
    // "After last search:" stores the missing pick, so the next start shows none either.
    m_options->unpick(combo);
}

void HarvestEngine::LoadSettings()
{
    m_counters->loadFromSettings();
    // Restoring a control raises its handler, which writes the same value back; nothing
    // is written here, the outcome is the same.
    m_options->load();
    for (const OptionRow &row : optionTable()) {
        if (row.kind != OptionRow::Kind::Choice)
            continue;
        // Nothing picked: the choice shows its caption again.
        const int v = m_options->value(row.id);
        setComboText(row.id, v >= 0 ? row.items.value(v) : row.caption);
    }
    const int advance = m_options->value(OptionId::AdvanceAfter);
    if (advance >= 0 && m_lAdvanceAfter != kAdvanceAfter[advance]) {
        m_lAdvanceAfter = kAdvanceAfter[advance];
        Q_EMIT lAdvanceAfterChanged(m_lAdvanceAfter);
    }
}

// ---- start-up and shutdown ---------------------------------------------------------------

void HarvestEngine::Form_Load()
{
    LoadSettings();
    m_counters->AddStat(-1); // StatsD: counts nothing, refreshes the statistics
    setHarvesting(false);
    for (int p = 1; p <= 4; ++p)
        setStatusPanel(p, QString());
    m_timeout = 10;
    m_timeout2 = 30;
    m_lFaxCount = 0;
    m_lSitesSinceAdvance = 0;
    // Sites a killed harvest had taken from the backlog go back to it, as at a clean end.
    m_queue->restorePending(false);
    loadNumberPreview();
    for (const QString &s : m_db->searches().value_or(QStringList()))
        m_list1->addItem(s);
    if (m_list1->isEmpty())
        return;
    m_queue->loadHead();
    if (m_list2->isEmpty())
        return;
    setEnabled(Button::cmdResume, true);
}

void HarvestEngine::Form_Unload()
{
    if (m_bHarvesting)
        requeueInterrupted();
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    stopAllSlots();
    if (m_listBuilder && m_listBuilder->isLoaded())
        m_listBuilder->unload();
    m_discovering = false;
    // The head of the queue goes back to the backlog, so Resume offers it at the next start.
    m_queue->returnHeadToBacklog();
    refreshState();
}

// ---- session control ---------------------------------------------------------------------

void HarvestEngine::applyNextButtonRule()
{
    setEnabled(Button::cmdNextSearch, m_bHarvesting && m_list1->count() > 1);
}

void HarvestEngine::stopAllSlots()
{
    for (FetchSlot *s : m_slots) {
        s->stopWatchdogs();
        s->closeSocket();
    }
}

void HarvestEngine::startDiscovery(bool unloadFirst)
{
    setTxtSearch(m_list1->item(0));
    if (unloadFirst && m_listBuilder && m_listBuilder->isLoaded())
        m_listBuilder->unload();
    m_discovering = true;
    refreshState();
    if (m_listBuilder) {
        DiscoveryRequest request;
        request.search = m_txtSearch;
        request.addFax = option(OptionId::AddFaxToSearches) == 1;
        request.engine = comboText(OptionId::SearchEngine);
        request.resultCountIndex = option(OptionId::ResultCount);
        request.dataDir = m_dataDir;
        m_listBuilder->load(request);
        m_listBuilder->show();
    }
}

void HarvestEngine::discoveryFoundNames(const QStringList &names)
{
    // A refused write stops the harvest (Store::writeFailed).
    for (QString site : names) {
        (void)m_db->addWebsite(site);
        m_counters->AddStat(Counters::SiteFound);
    }
}

void HarvestEngine::discoveryFinished(const DiscoveryOutcome &outcome)
{
    if (outcome.enough()) {
        cmdDoSearch_Click();
        return;
    }
    setStatusPanel(1, QStringLiteral("Stopped"));
    switch (outcome.kind) {
    case DiscoveryOutcome::Kind::Blocked:
        setStatusPanel(2, QStringLiteral("Not enough results: the search engine blocked the search"));
        break;
    case DiscoveryOutcome::Kind::NoAnswer:
        setStatusPanel(2, QStringLiteral("Not enough results: the search engine did not answer"));
        break;
    default:
        setStatusPanel(2, QStringLiteral("Not enough results"));
        break;
    }
    if (m_list1->count() < 2) {
        setStatusPanel(3, QStringLiteral("Add more search terms"));
        return;
    }
    // Only the list loses the search string; its stored row stays.
    m_list1->removeItem(0);
    setStatusPanel(3, QStringLiteral("Trying next search"));
    StartNextSearch();
}

void HarvestEngine::Command1_Click()
{
    beginSearch(false);
}

void HarvestEngine::StartNextSearch()
{
    beginSearch(true);
}

// Start and StartNextSearch: the same steps, except that the move to the next search
// string first unloads a list builder window that is still loaded.
void HarvestEngine::beginSearch(bool unloadFirst)
{
    setEnabled(Button::cmdResume, false);
    setEnabled(Button::cmdViewDatabase, false);
    setEnabled(Button::Command2, false);
    setEnabled(Button::Command3, false);
    if (!m_queue->clearBacklog())
        return;
    playSoundIf(option(OptionId::SoundOnNextSearch) == 1, QString::fromLatin1(kSoundNextSearch));
    if (m_list1->isEmpty()) {
        informationBox(
            QStringLiteral("Please enter at least one search term before begining your search."));
        Q_EMIT focusRequested(FocusTarget::Text1);
        return;
    }
    if (option(OptionId::SearchEngine) < 0) {
        informationBox(QStringLiteral("Please enter a search type before begining your search."));
        Q_EMIT focusRequested(FocusTarget::Combo1);
        return;
    }
    if (option(OptionId::ResultCount) < 0) {
        informationBox(QStringLiteral(
            "Please select the number of search results to retrieve before begining your search."));
        Q_EMIT focusRequested(FocusTarget::Combo2);
        return;
    }
    startDiscovery(unloadFirst);
}

void HarvestEngine::listBuilderUnloaded()
{
    if (!m_bHarvesting)
        m_discovering = false;
    refreshState();
}

void HarvestEngine::cmdNextSearch_Click()
{
    if (m_list1->count() < 2) {
        if (option(OptionId::AfterLastSearch) == 1)
            playSoundIf(option(OptionId::SoundOnFinished) == 1, QString::fromLatin1(kSoundFinished));
        else
            cmdStop_Click();
        return;
    }
    cmdStop_Click();
    QString current = m_list1->item(0);
    (void)m_db->deleteSearch(current);
    m_list1->removeItem(0);
    if (!m_queue->clearBacklog())
        return;
    applyNextButtonRule();
    Command1_Click();
}

bool HarvestEngine::queueHoldsSites() const
{
    return m_queue->holdsSites();
}

void HarvestEngine::requeueInterrupted()
{
    // Downloads cut off by Stop or shutdown go back to the backlog; the head of List2
    // is fetched again by Resume anyway.
    const QString head = m_queue->headHandedOut() ? m_list2->item(0) : QString();
    for (FetchSlot *s : m_slots) {
        const QString site = s->site;
        s->site.clear(); // the slot holds no site any more
        if (!s->isConnected() || site.isEmpty() || site == head)
            continue;
        m_queue->returnToBacklog(site);
    }
}

void HarvestEngine::cmdStop_Click()
{
    if (m_bHarvesting)
        requeueInterrupted();
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    setEnabled(Button::cmdStop, false);
    setEnabled(Button::Command1, true);
    setEnabled(Button::cmdViewDatabase, true);
    setEnabled(Button::Command2, true);
    setEnabled(Button::Command3, true);
    applyNextButtonRule();
    if (queueHoldsSites())
        setEnabled(Button::cmdResume, true);
    stopAllSlots();
    setPb1(100);
    setStatusPanel(1, QStringLiteral("Stopped"));
    setStatusPanel(2, QString());
    setStatusPanel(3, QString());
    setStatusPanel(4, QString());
    playSoundIf(option(OptionId::SoundOnFinished) == 1, QString::fromLatin1(kSoundFinished));
}

void HarvestEngine::stopForStore(const QString &why)
{
    if (!m_bHarvesting)
        return;
    qCWarning(lcEngine).noquote() << "harvest stopped: the store refused a write:" << why;
    cmdStop_Click();
    setStatusPanel(2, QStringLiteral("The fax database cannot be written"));
    setStatusPanel(3, why);
}

void HarvestEngine::cmdResume_Click()
{
    setEnabled(Button::cmdResume, false);
    // Sites whose download or analysis was cut short by a store that failed are crawled
    // again.
    m_queue->restorePending(true);
    cmdDoSearch_Click();
}

void HarvestEngine::cmdAdd_Click()
{
    const QString text = m_text1;
    m_list1->addItem(text);
    QString copy = text;
    (void)m_db->addSearch(copy);
    applyNextButtonRule();
    setText1(QString());
}

void HarvestEngine::Text1_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    cmdAdd_Click();
    setText1(QString());
}

void HarvestEngine::cmbDel_Click()
{
    const int i = m_list1->listIndex();
    if (i < 0) {
        if (!m_list1->isEmpty())
            informationBox(QStringLiteral("You must select a search to delete."));
    } else if (i > 0) {
        QString s = m_list1->item(i);
        (void)m_db->deleteSearch(s);
        m_list1->removeItem(i);
    } else if (m_bHarvesting) {
        informationBox(QStringLiteral(
            "You cannot delete the current search while the varnel is harvesting faxes."));
    } else if (isEnabled(Button::cmdResume)) {
        const bool ok =
            m_messages &&
            m_messages->confirm(QStringLiteral("You will not be able to resume the current search "
                                               "if it is deleted.\r\n\r\nContinue?"),
                                QStringLiteral("Confirm Delete")) == HarvestMessages::Ok;
        // The question let other events run: act only if entry 0 may still go.
        if (ok && !m_bHarvesting && !m_list1->isEmpty()) {
            setEnabled(Button::cmdResume, false);
            QString s = m_list1->item(0);
            (void)m_db->deleteSearch(s);
            if (m_queue->clearBacklog())
                m_list1->removeItem(0);
        }
    } else {
        QString s = m_list1->item(0);
        (void)m_db->deleteSearch(s);
        m_list1->removeItem(0);
    }
    applyNextButtonRule();
}

void HarvestEngine::loadNumberPreview()
{
    // The newest numbers; an empty or unreadable store leaves the list as it is.
    const QStringList newest = m_db->newestFaxes(20).value_or(QStringList());
    if (newest.isEmpty())
        return;
    m_list3->clear();
    for (const QString &e : newest)
        m_list3->addItem(e);
}

void HarvestEngine::deleteAllNumbers()
{
    (void)m_db->deleteAllFaxes();
    m_list3->clear();
    m_counters->resetEmailFound();
}

void HarvestEngine::Command3_Click()
{
    if (!m_messages ||
        m_messages->confirm(
            QStringLiteral("Are you sure you want to delete all faxes from the database?"),
            QStringLiteral("Confirm")) != HarvestMessages::Ok)
        return;
    deleteAllNumbers();
    informationBox(QStringLiteral("All faxes have been deleted."));
}

void HarvestEngine::cmdViewDatabase_Click()
{
    Q_EMIT openDirectoryRequested(m_dataDir);
}

void HarvestEngine::Command2_Click()
{
    Q_EMIT exportRequested();
}

void HarvestEngine::cmdWebsite_Click()
{
    Q_EMIT websiteRequested();
}

// ---- scheduler ---------------------------------------------------------------------------

void HarvestEngine::cmdDoSearch_Click()
{
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    m_queue->beginHarvest();
    setHarvesting(true);
    setEnabled(Button::cmdViewDatabase, false);
    setEnabled(Button::Command2, false);
    setEnabled(Button::Command3, false);
    setEnabled(Button::cmdStop, true);
    setEnabled(Button::cmdResume, false);
    setEnabled(Button::Command1, false);
    if (m_list1->count() > 1)
        setEnabled(Button::cmdNextSearch, true);
    m_lSitesSinceAdvance = 0;
    m_strSearch = m_list1->item(0);
    if (m_list2->isEmpty())
        m_queue->loadHead();
    const int calls = qMin(m_list2->count(), SlotCount - 1) + 1;
    for (int slot = 0; slot < calls; ++slot)
        FetchNextSite(slot);
}

bool HarvestEngine::siteAcceptable(const QString &site) const
{
    // A "www." name needs a dot after its first label: www.example.com, not www.example.
    if (!site.contains(QLatin1String("www."), Qt::CaseInsensitive))
        return true;
    const int dot = int(site.indexOf(QLatin1Char('.')));
    return site.mid(dot + 1).contains(QLatin1Char('.'));
}

bool HarvestEngine::refill()
{
    const QString site = NextQueuedSite();
    if (!site.isEmpty()) {
        m_queue->takeFromBacklog(site);
    }
    if (!m_bHarvesting)
        return false;
    if (!site.isEmpty()) {
        m_list2->addItem(site);
        m_queueDry = false; // work again after the last queue ran dry
        m_finishing = false;
        refreshState();
    }
    return true;
}

void HarvestEngine::FetchNextSite(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    // Sites on abandoned hosts are skipped here, in a loop rather than by nested calls.
    FetchSlot *s = m_slots[size_t(slot)];
    for (;;) {
        // The slot's last site (analysed, given up or skipped) is no longer pending.
        if (!s->site.isEmpty()) {
            m_queue->siteDone(s->site);
            s->site.clear();
        }
        if (!m_bHarvesting)
            return;
        if (m_lSitesSinceAdvance < std::numeric_limits<qint32>::max())
            ++m_lSitesSinceAdvance;
        if (m_lSitesSinceAdvance > m_lAdvanceAfter && option(OptionId::AutoAdvance) == 1) {
            m_lSitesSinceAdvance = 0;
            cmdNextSearch_Click();
            return;
        }
        // The site handed out last leaves the head; after a start nothing has been handed
        // out yet, so entry 0 is still to be fetched.
        m_queue->dropHandedOutHead();
        for (;;) {
            if (m_list2->isEmpty()) {
                if (!refill())
                    return;
                if (m_list2->isEmpty()) {
                    slotLeftIdle();
                    return;
                }
                continue;
            }
            if (siteAcceptable(m_list2->item(0)))
                break;
            m_queue->dropHead();
            if (!refill())
                return;
        }
        const QString site = m_list2->item(0);
        m_strURL = Cp1252::fromUnicode(site);
        m_queue->handOutHead();
        if (!refill())
            return;
        s->site = site;
        if (ConnectSlot(slot) == ConnectResult::Skipped)
            continue;
        return;
    }
}

void HarvestEngine::slotLeftIdle()
{
    // The queue ran dry while downloads were running: it is decided when the last of them
    // has been analysed (its links may have refilled the queue meanwhile).
    if (m_bHarvesting && m_finishing && !anySlotBusy())
        queueRanDry();
}

QString HarvestEngine::NextQueuedSite()
{
    const QString first = m_queue->firstInBacklog();
    if (!first.isEmpty())
        return first;
    // The sites already in List2 are crawled first, and the pages still downloading may
    // queue more: the search's queue is dry only when neither holds anything.
    if (!m_list2->isEmpty())
        return QString();
    if (anySlotBusy()) {
        m_finishing = true;
        return QString();
    }
    queueRanDry();
    return QString();
}

void HarvestEngine::queueRanDry()
{
    m_finishing = false;
    if (m_list1->count() >= 2) {
        // The current search is finished; discovery starts for the next one.
        EndHarvest();
        QString current = m_list1->item(0);
        (void)m_db->deleteSearch(current);
        m_list1->removeItem(0);
        m_queue->clearBacklog();
        m_list2->clear();
        applyNextButtonRule();
        StartNextSearch();
        return;
    }
    // The last search: the "After last search:" policy.
    if (option(OptionId::AfterLastSearch) == 1) {
        if (!m_queueDry) {
            m_queueDry = true;
            playSoundIf(option(OptionId::SoundOnFinished) == 1, QString::fromLatin1(kSoundFinished));
            refreshState();
        }
        return;
    }
    EndHarvest();
}

void HarvestEngine::EndHarvest()
{
    m_discovering = false;
    m_queueDry = false;
    m_finishing = false;
    setHarvesting(false);
    setEnabled(Button::cmdStop, false);
    setEnabled(Button::Command1, true);
    setEnabled(Button::cmdViewDatabase, true);
    setEnabled(Button::Command2, true);
    setEnabled(Button::Command3, true);
    setEnabled(Button::cmdNextSearch, false);
    if (queueHoldsSites())
        setEnabled(Button::cmdResume, true);
    stopAllSlots();
    setPb1(100);
    setStatusPanel(1, QStringLiteral("Stopped"));
    setStatusPanel(2, QStringLiteral("No more websites queued"));
    setStatusPanel(3, QStringLiteral("Try a different search"));
    setStatusPanel(4, QString());
    playSoundIf(option(OptionId::SoundOnFinished) == 1, QString::fromLatin1(kSoundFinished));
}

// ---- fetch slots -------------------------------------------------------------------------

HarvestEngine::ConnectResult HarvestEngine::ConnectSlot(int slot)
{
    if (!m_bHarvesting)
        return ConnectResult::NotRunning;
    const ConnectTarget t = connectTargetOf(m_strURL);
    m_strCurUrl = t.strCurUrl;
    m_strCurDir = t.strCurDir;
    FetchSlot *s = m_slots[size_t(slot)];
    s->curUrl = t.strCurUrl;
    s->curDir = t.strCurDir;
    s->strHost = t.strHost;
    s->strPath = t.strPath;
    s->https = t.https && option(OptionId::FollowRedirects) == 1;
    s->connectName = t.strHost; // a ":port" stays part of the name, as the request has it
    s->connectPort = s->https ? 443 : 80;
    s->hops = 0;
    if (t.strHost.isEmpty() || HttpResponse::containsCaseless(m_strTimedOutHosts, t.strHost)) {
        s->stopWatchdogs();
        s->closeSocket();
        return ConnectResult::Skipped;
    }
    beginDownload(s);
    return ConnectResult::Started;
}

void HarvestEngine::beginDownload(FetchSlot *s)
{
    s->reset();
    setStatusPanel(1, QStringLiteral("Downloading: ") +
                          (s->https ? QStringLiteral("https://") : QStringLiteral("http://")) +
                          QString::fromLatin1(s->strHost + s->strPath));
    s->startWatchdogs();
    s->open(m_resolve, m_tlsResolve);
}

void HarvestEngine::slotAbandoned(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    s->stopWatchdogs();
    s->closeSocket();
    s->strPage.clear();
    m_strTimedOutHosts += s->strHost;
    Q_EMIT timedOutHostsChanged(m_strTimedOutHosts);
    Q_EMIT downloadAbandoned(slot, s->strHost);
    FetchNextSite(slot);
}

bool HarvestEngine::followRedirect(int slot, const QByteArray &page)
{
    FetchSlot *s = m_slots[size_t(slot)];
    if (option(OptionId::FollowRedirects) != 1 || s->hops >= MaxRedirectHops ||
        !HttpResponse::isRedirectStatus(HttpResponse::statusCode(page)))
        return false;
    const QByteArray location = HttpResponse::headerValue(page, "Location");
    HttpResponse::Target t;
    if (location.isEmpty() ||
        !HttpResponse::resolveLocation(s->https, s->strHost, s->strPath, location, &t))
        return false;
    ++s->hops;
    s->strHost = t.host;
    s->strPath = t.path;
    s->https = t.https;
    s->connectName = t.hostName;
    s->connectPort = t.port;
    // The page's links resolve against where it really is.
    const ConnectTarget where = connectTargetOf(t.host + t.path);
    m_strCurUrl = s->curUrl = where.strCurUrl;
    m_strCurDir = s->curDir = where.strCurDir;
    if (HttpResponse::containsCaseless(m_strTimedOutHosts, t.host)) {
        FetchNextSite(slot);
        return true;
    }
    beginDownload(s);
    return true;
}

void HarvestEngine::slotFinished(int slot)
{
    FetchSlot *s = m_slots[size_t(slot)];
    const QByteArray page = std::move(s->strPage);
    s->strPage.clear();
    if (followRedirect(slot, page))
        return;
    m_counters->AddStat(Counters::SiteScanned);
    QByteArray body = HttpResponse::cutHeader(page);
    if (option(OptionId::FollowRedirects) == 1 && HttpResponse::isChunked(page))
        body = HttpResponse::dechunk(body);
    const QByteArray address = s->strHost + s->strPath;
    if (s->hops > 0)
        m_queue->markHandedOut(Cp1252::toUnicode(address)); // the page a redirect led to is crawled too
    setStatusPanel(1, QStringLiteral("Finished: ") + QString::fromLatin1(address));
    // The page's relative links resolve against the page itself, not against whichever
    // slot connected last.
    m_strCurUrl = s->curUrl;
    m_strCurDir = s->curDir;
    Q_EMIT pageFinished(slot, address);
    SavePage(body, slot);
}

void HarvestEngine::SavePage(QByteArray &body, int slot)
{
    if (!m_bHarvesting)
        return;
    setStatusPanel(2, QStringLiteral("Saving to HTML"));
    bool saved = writePageFile(pageFile1(m_dataDir, slot), body);
    const QByteArray flat = withoutLineBreaks(body);
    saved = writePageFile(pageFile2(m_dataDir, slot), flat) && saved;
    if (!saved) {
        // The files would hold an earlier page, and a later look at them would mistake it
        // for this one: the page is passed over instead.
        setStatusPanel(2, QString());
        FetchNextSite(slot);
        return;
    }
    analyseSavedPage(slot, body, flat);
}

// GetLinks and GetFaxes: the page's new links go into the backlog, its new numbers into the
// store, and the slot moves on.
void HarvestEngine::analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody)
{
    const FetchSlot *s = m_slots[size_t(slot)];
    AnalysisOptions options;
    options.allowInternational = option(OptionId::AllowInternational) == 1;
    options.findBeyondFaxLine = option(OptionId::FindBeyondFaxLine) == 1;
    const PageFindings found = analysePage(body, {s->curUrl, s->curDir}, options, flatBody);

    setStatusPanel(2, QStringLiteral("Getting Links"));
    queueLinks(found.links);
    setStatusPanel(2, QString());

    setStatusPanel(2, QStringLiteral("Getting Faxes"));
    // The second page file ends up holding the page's text.
    writePageFile(pageFile2(m_dataDir, slot), found.text);
    for (const FoundNumber &n : found.numbers)
        storeNumber(slot, n);
    setStatusPanel(2, QString());
    FetchNextSite(slot);
}

void HarvestEngine::queueLinks(const QStringList &links)
{
    // One transaction for the page's links.
    m_db->beginBatch();
    for (QString site : links) {
        if (m_queue->isKnown(site))
            continue;
        m_counters->AddStat(Counters::SiteFound);
        if (m_db->addWebsite(site))
            Q_EMIT siteQueued(site);
    }
    m_db->endBatch();
}

void HarvestEngine::storeNumber(int slot, const FoundNumber &found)
{
    FaxRow row;
    row.fax = found.number;
    row.e164 = found.e164;
    // A store that cannot be read counts as knowing the number: nothing is added.
    if (m_db->numberExists(row).value_or(true))
        return;
    if (m_lFaxCount < std::numeric_limits<qint32>::max())
        ++m_lFaxCount;
    // The preview keeps the newest numbers: at most 21 entries.
    if (m_list3->count() > 20)
        m_list3->removeItem(0);
    m_list3->addItem(row.fax + QStringLiteral(" | ") + found.location);
    row.website = Cp1252::toUnicode(slotAddress(slot));
    row.search = currentSearch();
    row.location = found.location;
    row.country = found.countryCode;
    row.label = found.label;
    row.how = found.how;
    row.context = found.context;
    const bool stored = m_db->addFax(row);
    if (option(OptionId::SoundOnFaxFound) == 1)
        playSound(QStringLiteral("sounds/foundfax.wav"));
    m_counters->AddStat(Counters::NumberFound);
    setStatusPanel(3, QStringLiteral("Found ") + QString::number(m_lFaxCount) +
                          QStringLiteral(" faxes"));
    if (stored)
        Q_EMIT numberStored(row);
}

QByteArray HarvestEngine::slotAddress(int slot) const
{
    if (slot < 0 || slot >= SlotCount)
        return QByteArray();
    const FetchSlot *s = m_slots[size_t(slot)];
    return s->strHost + s->strPath;
}

Store *HarvestEngine::store() const
{
    return m_db;
}

QString HarvestEngine::currentSearch() const
{
    return m_list1->item(0);
}
