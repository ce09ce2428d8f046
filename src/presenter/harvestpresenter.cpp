#include "harvestpresenter.h"

#include "globals.h"
#include "harvestmessages.h"
#include "openstore.h"
#include "scriptpages.h"
#include "searchplaces.h"
#include "textlist.h"
#include "yieldreport.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

HarvestPresenter::HarvestPresenter(HarvestSession *session, QObject *parent)
    : QObject(parent), m_session(session)
{
    m_enabled.fill(true);
    m_clickable.fill(true);
    for (const OptionRow &row : session->options()->table()) {
        const int v = session->options()->value(row.id);
        m_choiceText.push_back(row.kind == OptionRow::Kind::Choice && v >= 0 ? row.items.value(v)
                                                                             : row.caption);
    }
    refreshButtons();

    using S = HarvestSession;
    connect(session, &S::stateChanged, this, &HarvestPresenter::refreshButtons);
    connect(session, &S::harvestingChanged, this, &HarvestPresenter::refreshButtons);
    connect(session, &S::resumableChanged, this, &HarvestPresenter::refreshButtons);
    TextList *list = session->searches();
    connect(list, &QAbstractItemModel::rowsInserted, this, &HarvestPresenter::refreshButtons);
    connect(list, &QAbstractItemModel::rowsRemoved, this, &HarvestPresenter::refreshButtons);
    connect(list, &QAbstractItemModel::modelReset, this, &HarvestPresenter::refreshButtons);

    connect(session, &S::startRefused, this, &HarvestPresenter::startRefused);
    connect(session, &S::activityChanged, this,
            [this](S::Line line, const HarvestActivity &activity) {
                Q_EMIT statusTextChanged(int(line) + 1, activityText(activity));
            });
    connect(session, &S::downloadProgressChanged, this, &HarvestPresenter::progressChanged);
    // A page that needed JavaScript could not be rendered: said once for each reason.
    connect(session->scriptPages(), &ScriptPages::problem, this, &HarvestPresenter::information);
    connect(session->yield(), &YieldReport::finished, this, [this](const YieldReport::Tally &t) {
        const QString text = YieldReport::text(t);
        m_yieldLog << text;
        if (m_yieldLog.size() > 50)
            m_yieldLog.removeFirst();
        Q_EMIT yieldReported(text);
    });
    connect(session->options(), &OptionValues::changed, this, &HarvestPresenter::optionChanged);
    connect(session->counters(), &Counters::statsChanged, this,
            &HarvestPresenter::statisticsChanged);
    if (session->store()->isShared()) {
        // The team's totals, asked of the server now and then rather than at every count.
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] {
            const std::optional<Store::TeamTotals> team = m_session->store()->teamTotals();
            if (team) {
                m_team = team;
                Q_EMIT statisticsChanged();
            }
        });
        poll->start(5000);
    }
    connect(session->store(), &Store::storeProblem, this, &HarvestPresenter::storeProblem);
}

void HarvestPresenter::setMessages(HarvestMessages *messages)
{
    m_messages = messages;
}

// ---- state -------------------------------------------------------------------------------

bool HarvestPresenter::isEnabled(Button button) const
{
    return m_enabled[size_t(button)];
}

bool HarvestPresenter::isClickable(Button button) const
{
    return m_clickable[size_t(button)];
}

void HarvestPresenter::setEnabled(Button button, bool enabled, bool clickable)
{
    bool &e = m_enabled[size_t(button)];
    bool &c = m_clickable[size_t(button)];
    if (e == enabled && c == clickable)
        return;
    e = enabled;
    c = clickable;
    Q_EMIT buttonEnabledChanged(button, enabled);
}

void HarvestPresenter::refreshButtons()
{
    const bool harvesting = m_session->isHarvesting();
    // While sites are looked up nothing is harvested yet, but Stop must still end it; the
    // numbers' buttons come back whenever neither runs (also after a refused start).
    const bool idle = m_session->state() == HarvestSession::State::Stopped;
    const auto set = [this](Button b, bool enabled) { setEnabled(b, enabled, enabled); };
    set(Button::Start, idle);
    set(Button::Stop, !idle);
    set(Button::Resume, m_session->canResume());
    set(Button::NextSearch, harvesting && m_session->searches()->count() > 1);
    // The numbers window and an export only read the store (an export beside a harvest
    // deletes nothing), so they may open beside it; the folder and Delete All wait.
    const bool beside = options()->isOn(OptionId::BesideHarvest);
    setEnabled(Button::ViewDatabase, idle,
               idle || (beside && options()->isOn(OptionId::NumbersWindow)));
    setEnabled(Button::ExportNumbers, idle, idle || beside);
    set(Button::DeleteAllNumbers, idle);
}

QString HarvestPresenter::statusText(int panel) const
{
    if (panel < 1 || panel > 4)
        return QString();
    return activityText(m_session->activity(HarvestSession::Line(panel - 1)));
}

QString HarvestPresenter::activityText(const HarvestActivity &activity)
{
    using Kind = HarvestActivity::Kind;
    const QString &subject = activity.subject;
    switch (activity.kind) {
    case Kind::None:
        return QString();
    case Kind::Downloading:
        return tr("Downloading: %1").arg(subject);
    case Kind::Receiving:
        return tr("Downloading: %1 (%2)").arg(subject, QString::number(activity.count));
    case Kind::Finished:
        return tr("Finished: %1").arg(subject);
    case Kind::Stopped:
        return tr("Stopped");
    case Kind::LookingUpSites:
        return tr("Looking up sites for: %1").arg(subject);
    case Kind::SavingPage:
        return tr("Saving to HTML");
    case Kind::GettingLinks:
        return tr("Getting Links");
    case Kind::GettingFaxes:
        return tr("Getting Faxes");
    case Kind::NoMoreSites:
        return tr("No more websites queued");
    case Kind::NotEnoughResults:
        return subject.isEmpty() ? tr("Not enough results")
                                 : tr("Not enough results: %1").arg(subject);
    case Kind::StoreUnreadable:
        return tr("The fax database cannot be read");
    case Kind::StoreUnwritable:
        return tr("The fax database cannot be written");
    case Kind::FoundFaxes:
        return tr("Found %1 faxes").arg(activity.count);
    case Kind::TryDifferentSearch:
        return tr("Try a different search");
    case Kind::AddMoreSearches:
        return tr("Add more search terms");
    case Kind::TryingNextSearch:
        return tr("Trying next search");
    case Kind::StoreProblem:
        return subject;
    case Kind::SitesFoundWith:
        return tr("Sites found with %1").arg(subject);
    }
    return QString();
}

int HarvestPresenter::progress() const
{
    return m_session->downloadProgress();
}

QString HarvestPresenter::choiceText(OptionId choice) const
{
    const OptionTable &table = m_session->options()->table();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].id == choice)
            return m_choiceText[i];
    }
    return QString();
}

void HarvestPresenter::setChoiceText(OptionId choice, const QString &text)
{
    const OptionTable &table = m_session->options()->table();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].id != choice || m_choiceText[i] == text)
            continue;
        m_choiceText[i] = text;
        Q_EMIT choiceTextChanged(choice, text);
    }
}

void HarvestPresenter::optionChanged(OptionId option)
{
    if (option == OptionId::BesideHarvest || option == OptionId::NumbersWindow)
        refreshButtons();
    const OptionRow *row = m_session->options()->row(option);
    if (row && row->kind == OptionRow::Kind::Choice && !m_typing) {
        // Nothing picked: the choice shows its caption again.
        const int v = m_session->options()->value(option);
        setChoiceText(option, v >= 0 ? row->items.value(v) : row->caption);
    }
    Q_EMIT optionValueChanged(option);
}

HarvestPresenter::Statistics HarvestPresenter::statistics() const
{
    const Counters *c = m_session->counters();
    Statistics s;
    s.sitesScanned = c->sitesScanned();
    s.sitesFound = c->sitesFound();
    s.numbersFound = c->numbersFound();
    s.sitesScannedEver = c->sitesScannedEver();
    s.numbersFoundEver = c->numbersFoundEver();
    s.team = m_team;
    return s;
}

TextList *HarvestPresenter::searches() const
{
    return m_session->searches();
}

TextList *HarvestPresenter::siteQueue() const
{
    return m_session->siteQueue();
}

TextList *HarvestPresenter::numberPreview() const
{
    return m_session->numberPreview();
}

OptionValues *HarvestPresenter::options() const
{
    return m_session->options();
}

SettingsStore *HarvestPresenter::settings() const
{
    return m_session->settings();
}

QString HarvestPresenter::dataDir() const
{
    return m_session->dataDir();
}

Store *HarvestPresenter::store() const
{
    return m_session->store();
}

ListBuilder *HarvestPresenter::listBuilder() const
{
    return m_session->listBuilder();
}

// ---- messages ----------------------------------------------------------------------------

void HarvestPresenter::information(const QString &text)
{
    if (m_messages)
        m_messages->information(text);
}

QString HarvestPresenter::startProblemText(HarvestSession::StartProblem problem)
{
    switch (problem) {
    case HarvestSession::StartProblem::NoSearch:
        return QStringLiteral("Please enter at least one search term before begining your search.");
    case HarvestSession::StartProblem::NoSearchEngine:
        return QStringLiteral("Please enter a search type before begining your search.");
    case HarvestSession::StartProblem::NoResultCount:
        return QStringLiteral(
            "Please select the number of search results to retrieve before begining your search.");
    }
    return QString();
}

void HarvestPresenter::startRefused(HarvestSession::StartProblem problem)
{
    information(startProblemText(problem));
    switch (problem) {
    case HarvestSession::StartProblem::NoSearch:
        Q_EMIT focusRequested(Focus::NewSearch);
        break;
    case HarvestSession::StartProblem::NoSearchEngine:
        Q_EMIT focusRequested(Focus::SearchEngine);
        break;
    case HarvestSession::StartProblem::NoResultCount:
        Q_EMIT focusRequested(Focus::ResultCount);
        break;
    }
}

// ---- start-up, shutdown and clicks -------------------------------------------------------

void HarvestPresenter::load()
{
    m_session->load();
}

void HarvestPresenter::shutDown()
{
    m_session->shutDown();
}

void HarvestPresenter::startClicked()
{
    m_session->start();
}

void HarvestPresenter::stopClicked()
{
    m_session->stop();
}

void HarvestPresenter::resumeClicked()
{
    m_session->resume();
}

void HarvestPresenter::nextSearchClicked()
{
    m_session->nextSearch();
}

void HarvestPresenter::addSearchClicked()
{
    m_session->addSearch(m_newSearchText);
    setNewSearchText(QString());
}

void HarvestPresenter::newSearchKeyPressed(int keyAscii)
{
    if (keyAscii != 13)
        return;
    addSearchClicked();
    setNewSearchText(QString());
}

void HarvestPresenter::setNewSearchText(const QString &text)
{
    if (m_newSearchText == text)
        return;
    m_newSearchText = text;
    Q_EMIT newSearchTextChanged(text);
}

void HarvestPresenter::deleteSearchClicked()
{
    TextList *list = m_session->searches();
    const int i = list->selectedRow();
    if (i < 0) {
        if (!list->isEmpty())
            information(QStringLiteral("You must select a search to delete."));
    } else if (i > 0) {
        m_session->removeSearch(i);
    } else if (m_session->isHarvesting()) {
        information(QStringLiteral(
            "You cannot delete the current search while the varnel is harvesting faxes."));
    } else if (m_session->canResume()) {
        const qint64 queued =
            m_session->siteQueue()->count() + m_session->store()->countWebsites().value_or(0);
        const bool ok =
            m_messages &&
            m_messages->confirmDestructive(
                QStringLiteral("You will not be able to resume the current search "
                               "if it is deleted.\r\n\r\nContinue?"),
                QStringLiteral("Confirm Delete"),
                queued == 1
                    ? QStringLiteral("The 1 site queued for it will be dropped.")
                    : QStringLiteral("The %1 sites queued for it will be dropped.").arg(queued)) ==
                HarvestMessages::Ok;
        // The question let other events run: act only if entry 0 may still go.
        if (ok && !m_session->isHarvesting() && !list->isEmpty())
            m_session->removeCurrentSearchAndQueue();
    } else {
        m_session->removeSearch(0);
    }
}

void HarvestPresenter::deleteAllNumbersClicked()
{
    const std::optional<qint32> stored = m_session->store()->countFaxes();
    const QString detail =
        !stored        ? QString()
        : *stored == 1 ? QStringLiteral("The 1 fax number stored will be deleted.")
                       : QStringLiteral("All %1 fax numbers stored will be deleted.").arg(*stored);
    if (!m_messages ||
        m_messages->confirmDestructive(
            QStringLiteral("Are you sure you want to delete all faxes from the database?"),
            QStringLiteral("Confirm"), detail) != HarvestMessages::Ok)
        return;
    m_session->deleteAllNumbers();
    information(QStringLiteral("All faxes have been deleted."));
}

void HarvestPresenter::deleteAllNumbers()
{
    m_session->deleteAllNumbers();
}

void HarvestPresenter::numbersDeleted()
{
    m_session->numbersDeleted();
}

void HarvestPresenter::viewDatabaseClicked()
{
    if (options()->isOn(OptionId::NumbersWindow))
        Q_EMIT numbersWindowRequested();
    else
        Q_EMIT openDirectoryRequested(m_session->dataDir());
}

void HarvestPresenter::exportClicked()
{
    Q_EMIT exportRequested();
}

QString HarvestPresenter::importText(const SiteImport::Result &read,
                                     const HarvestSession::ImportCount &count, int listLimit)
{
    QString text = QStringLiteral("%1 %2 queued, %3 already known.")
                       .arg(count.queued)
                       .arg(count.queued == 1 ? QStringLiteral("site") : QStringLiteral("sites"))
                       .arg(count.known);
    if (!read.rejected.isEmpty()) {
        text += read.rejected.size() == 1
                    ? QStringLiteral("\n1 line is not a site:")
                    : QStringLiteral("\n%1 lines are not a site:").arg(read.rejected.size());
        const qsizetype shown = listLimit < 0
                                    ? read.rejected.size()
                                    : std::min<qsizetype>(listLimit, read.rejected.size());
        for (qsizetype i = 0; i < shown; ++i)
            text += QStringLiteral("\nline %1: %2")
                        .arg(read.rejected.at(i).line)
                        .arg(read.rejected.at(i).text);
        if (shown < read.rejected.size())
            text += QStringLiteral("\n... and %1 more").arg(read.rejected.size() - shown);
    }
    return text;
}

void HarvestPresenter::importSitesFromFile(const QString &path)
{
    // The store's own files are never opened here: closing the handle would drop the locks
    // the open store holds on them. A pipe would keep the window waiting for a writer.
    if (StoreLocation::isStoreFile(path, m_session->store()->location())) {
        information(QStringLiteral("The file %1 is the fax database or one of its working "
                                   "files, not a list of sites.")
                        .arg(path));
        return;
    }
    QFile file(path);
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        information(QStringLiteral("The file %1 cannot be read: it is not a file.").arg(path));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        information(QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString()));
        return;
    }
    const QByteArray bytes = file.read(SiteImport::MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        information(QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString()));
        return;
    }
    if (bytes.size() > SiteImport::MaxFileBytes) {
        information(QStringLiteral("The file %1 holds more than %2 MiB, the most a file of sites "
                                   "may; split it into smaller files.")
                        .arg(path)
                        .arg(SiteImport::MaxFileBytes / (1024 * 1024)));
        return;
    }
    const SiteImport::Result read = SiteImport::parse(bytes);
    const HarvestSession::ImportCount count = m_session->importSites(read.sites);
    QString text = importText(read, count, 20);
    if (count.queued > 0 && m_session->canResume())
        text += QStringLiteral("\n\nPress Resume to harvest them.");
    information(text);
}

int HarvestPresenter::addSearchesForPlaces(const QString &search, const QStringList &places)
{
    int added = 0;
    for (const QString &s : SearchPlaces::combine(search, places))
        added += m_session->addSearch(s) ? 1 : 0;
    return added;
}

void HarvestPresenter::websiteClicked()
{
    Q_EMIT websiteRequested();
}

void HarvestPresenter::optionClicked(OptionId option, int value)
{
    if (!m_session->options()->set(option, value))
        return;
    const OptionRow *row = m_session->options()->row(option);
    if (row && row->kind == OptionRow::Kind::Choice)
        setChoiceText(option, row->items.value(value));
}

void HarvestPresenter::choiceTextEdited(OptionId choice, const QString &text)
{
    const OptionRow *row = m_session->options()->row(choice);
    if (!row || row->kind != OptionRow::Kind::Choice)
        return;
    setChoiceText(choice, text);
    // "After last search:" stores the missing pick, so the next start shows none either.
    // The typed text stays, not the caption.
    m_typing = true;
    m_session->options()->unpick(choice);
    m_typing = false;
}
