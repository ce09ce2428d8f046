#include "searchlistbuilder.h"

#include "logging.h"
#include "workingfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

const char *const SearchListBuilder::pageFileName = "SearchOutput.txt";
const char *const SearchListBuilder::initialStatusText = "Status...";

namespace {

// The run hands back only when it found more than this many names.
constexpr qint32 kEnoughNames = 20;

QString problemSentence(SearchListBuilder::PageProblem problem)
{
    switch (problem) {
    case SearchListBuilder::PageProblem::NoAnswer:
        return QStringLiteral(" The search engine did not answer.");
    case SearchListBuilder::PageProblem::Blocked:
        return QStringLiteral(" The search engine blocked the search.");
    case SearchListBuilder::PageProblem::None:
        break;
    }
    return QString();
}

} // namespace

SearchListBuilder::SearchListBuilder(Browser *browser, const DiscoveryConfig &config,
                                     QObject *parent)
    : ListBuilder(parent), m_browser(browser), m_config(config),
      m_statusText(QLatin1String(initialStatusText))
{
    m_pageTimer.setSingleShot(true);
    connect(&m_pageTimer, &QTimer::timeout, this, &SearchListBuilder::pageTimedOut);
    if (m_browser)
        connect(m_browser, &Browser::documentComplete, this, &SearchListBuilder::pageCompleted);
}

SearchListBuilder::~SearchListBuilder()
{
    if (m_browser)
        m_browser->disconnect(this);
}

qint32 SearchListBuilder::targetForIndex(int resultCountIndex)
{
    switch (resultCountIndex) {
    case 1:
        return 200;
    case 2:
        return 500;
    case 3:
        return 1000;
    case 4:
        return 5000;
    case 5:
        return 10000;
    default:
        return 100; // -1 (nothing chosen) and 0
    }
}

QString SearchListBuilder::queryText(const QString &search, bool addFax)
{
    QString terms = search;
    if (addFax)
        terms += QLatin1String(" fax");
    // The text goes into the address as typed, except for the characters that would
    // change the address itself: "AT&T" must not end the query, nor "#" cut it off.
    terms.replace(QLatin1Char('%'), QLatin1String("%25"));
    terms.replace(QLatin1Char('&'), QLatin1String("%26"));
    terms.replace(QLatin1Char('#'), QLatin1String("%23"));
    terms.replace(QLatin1Char('+'), QLatin1String("%2B"));
    terms.replace(QLatin1Char(' '), QLatin1Char('+'));
    return terms;
}

QString DiscoveryOutcome::problemText() const
{
    QString text;
    if (kind == Kind::Blocked)
        text = QStringLiteral("the search engine blocked the search");
    else if (kind == Kind::NoAnswer)
        text = QStringLiteral("the search engine did not answer");
    else
        return text;
    if (!engine.isEmpty() && !reason.isEmpty())
        text += QStringLiteral(" (%1: %2)").arg(engine, reason);
    if (movedOn)
        text += QStringLiteral("; no other engine was left to try");
    return text;
}

DiscoveryOutcome SearchListBuilder::outcomeOf(qint32 totalNames, PageProblem problem)
{
    DiscoveryOutcome outcome;
    outcome.names = totalNames;
    if (totalNames > kEnoughNames)
        outcome.kind = DiscoveryOutcome::Kind::Finished;
    else if (problem == PageProblem::Blocked)
        outcome.kind = DiscoveryOutcome::Kind::Blocked;
    else if (problem == PageProblem::NoAnswer)
        outcome.kind = DiscoveryOutcome::Kind::NoAnswer;
    return outcome;
}

void SearchListBuilder::load(const DiscoveryRequest &request)
{
    if (m_loaded)
        return;
    m_request = request;
    m_loaded = true;
    ++m_runId;
    setStatusText(QLatin1String(initialStatusText));
    Q_EMIT loadedChanged(true);
    startRun();
}

void SearchListBuilder::show()
{
    if (m_loaded)
        setVisible(true);
}

void SearchListBuilder::unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    m_isFinished = true;
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);
    Q_EMIT loadedChanged(false);
    Q_EMIT unloaded();
}

void SearchListBuilder::startRun()
{
    m_isFinished = false;
    m_totalNames = 0;
    m_newOnPage = 0;
    m_seen.clear();
    m_seenLower.clear();
    m_problem = PageProblem::None;
    m_reason.clear();
    m_movedOn = false;
    m_passedOver = false;
    m_leftOut.clear();
    m_rests.clear();
    m_queryTerms = queryText(m_request.search, m_request.addFax);
    m_wantedNames = targetForIndex(m_request.resultCountIndex);
    m_runCatalog = m_config.engines;
    m_catalog = m_runCatalog ? m_runCatalog.get() : &SearchEngines::shipped();
    // The engine list's names select an engine; any other text the first of the list. An
    // engine picked whose definition could not be read is not replaced by another unasked.
    m_engine = m_catalog->find(m_request.engine);
    const SearchEngines::SearchEngine *shipped = SearchEngines::find(m_request.engine);
    if (!m_engine && shipped && m_catalog != &SearchEngines::shipped())
        m_leftOut = shipped->displayName;
    else if (!m_engine && !m_catalog->engines().isEmpty())
        m_engine = &m_catalog->engines().first();
    m_tried = {m_engine};
    m_resultOffset = 1;
    m_offset = 0;
    if (!m_engine) {
        m_referenceRun = false;
        m_problem = PageProblem::NoAnswer;
        m_reason = m_leftOut.isEmpty()
                       ? QStringLiteral("no search engine has a definition that can be read")
                       : QStringLiteral("its definition cannot be read, so it is left out "
                                        "(see varnel-tool engines)");
        finishRun();
        return;
    }
    m_referenceRun = m_engine->referenceReading && !m_request.everyEnding;
    m_restsApply = m_config.rests && !(m_referenceRun && !m_request.tryNextEngine);
    readRests();
    const auto rest = m_rests.constFind(m_engine->toolName);
    if (rest != m_rests.constEnd()) {
        m_problem = rest->kind == EngineRests::Kind::NoAnswer ? PageProblem::NoAnswer
                                                              : PageProblem::Blocked;
        m_reason = EngineRests::stateText(*rest, m_config.rests->now());
        m_passedOver = true;
        if (!moveToNextEngine())
            finishRun();
        return;
    }
    loadFirstPage();
}

void SearchListBuilder::readRests()
{
    if (!m_restsApply)
        return;
    const auto rests = m_config.rests->current();
    if (!rests)
        qCDebug(lcDiscovery) << "the rests of the engines cannot be read";
    m_rests = rests.value_or(QHash<QString, EngineRests::Rest>());
}

void SearchListBuilder::restEngine(EngineRests::Kind kind)
{
    if (!m_restsApply || !m_engine)
        return;
    const qint64 seconds = m_engine->restFor(kind);
    if (seconds <= 0)
        return;
    const QDateTime now = m_config.rests->now();
    const EngineRests::Rest rest{m_engine->toolName, kind, now.addSecs(seconds), m_reason};
    if (!m_config.rests->rest(rest)) {
        qCDebug(lcDiscovery) << "the rest of" << m_engine->toolName << "cannot be kept";
        return;
    }
    m_rests.insert(rest.engine, rest);
    m_reason += QStringLiteral(", resting until ") + EngineRests::untilText(rest.until, now);
}

void SearchListBuilder::loadFirstPage()
{
    // The harvest emptied the website list before it loaded the run.
    if (m_referenceRun)
        navigateTo(engineAsAsked().request(searchText(), m_resultOffset - 1).url);
    else
        requestEnginePage();
}

SearchEngines::SearchEngine SearchListBuilder::engineAsAsked() const
{
    SearchEngines::SearchEngine engine = *m_engine;
    const auto origin = m_config.engineOrigins.constFind(engine.toolName);
    if (origin != m_config.engineOrigins.constEnd())
        engine.origin = *origin;
    return engine;
}

QString SearchListBuilder::searchText() const
{
    return m_request.addFax ? m_request.search + QLatin1String(" fax") : m_request.search;
}

void SearchListBuilder::navigateTo(const QString &address)
{
    m_pageTimer.start(m_config.pageTimeoutMs);
    if (m_browser)
        m_browser->navigate(address);
}

void SearchListBuilder::requestEnginePage()
{
    m_resultOffset = qint32(m_offset + 1);
    m_pageTimer.start(m_config.pageTimeoutMs);
    if (m_browser)
        m_browser->load(engineAsAsked().request(searchText(), m_offset));
}

void SearchListBuilder::pageCompleted(const BrowserPage &page)
{
    if (!m_loaded || page.url.size() <= 8 || m_isFinished)
        return;
    m_pageTimer.stop();
    if (!m_referenceRun) {
        readEnginePage(page);
        return;
    }
    if (!page.answered)
        m_problem = PageProblem::NoAnswer;
    else if (DomainExtractor::isBlockedAnswer(page.httpStatus, page.html))
        m_problem = PageProblem::Blocked;
    else
        m_problem = PageProblem::None;
    m_reason = page.answered ? SearchEngines::blockedStatusReason(page.httpStatus) : page.errorText;
    if (m_problem == PageProblem::Blocked && m_reason.isEmpty())
        m_reason = QStringLiteral("the engine asks to prove that a person is searching");
    qCDebug(lcDiscovery) << page.url << "status" << page.httpStatus << m_problem;
    if (m_request.tryNextEngine) {
        // The engine's own judgement of its page, which knows more signs of a refusal; such
        // a page adds no name.
        const SearchEngines::PageVerdict verdict =
            SearchEngines::readPage(*m_engine, page, DomainNames::Endings::Reference);
        if (verdict.outcome == SearchEngines::Outcome::Blocked ||
            verdict.outcome == SearchEngines::Outcome::NoAnswer) {
            m_problem = verdict.outcome == SearchEngines::Outcome::Blocked ? PageProblem::Blocked
                                                                           : PageProblem::NoAnswer;
            m_reason = page.answered ? verdict.reason : page.errorText;
            restEngine(verdict.outcome == SearchEngines::Outcome::Blocked
                           ? verdict.refusal
                           : EngineRests::Kind::NoAnswer);
            m_newOnPage = 0;
            if (!moveToNextEngine())
                finishRun();
            return;
        }
    }
    extractNames(page.html);
}

void SearchListBuilder::extractNames(const QString &pageText)
{
    m_newOnPage = 0;
    const QString text = DomainExtractor::prepareResultText(pageText);

    // The page goes through the page file; a file that an abandoned page left behind is
    // appended to, so its lines are read again ahead of this page's. Any failure of the
    // file abandons the page: no next page, no finish.
    const QString path = QDir(m_request.dataDir).filePath(QLatin1String(pageFileName));
    // Opened without following a link that someone put in the file's place.
    const int fd = WorkingFile::openForWriting(path, O_APPEND);
    if (fd < 0)
        return;
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    const QByteArray bytes = (text + QLatin1String("\r\n")).toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    if (!written || file.error() != QFileDevice::NoError)
        return;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = DomainExtractor::splitLines(QString::fromUtf8(file.readAll()));
    file.close();

    QStringList fresh;
    for (const QString &line : lines) {
        const QString name = DomainExtractor::candidateName(line, m_engine->skipLinesWith);
        if (name.isEmpty() || m_seen.contains(name))
            continue;
        ++m_newOnPage;
        m_seen.append(name);
        m_seenLower.insert(name.toLower());
        fresh << name;
        ++m_totalNames;
    }
    setStatusText(QStringLiteral("Extracted %1 unique results.").arg(m_totalNames));
    const quint64 run = m_runId;
    if (!fresh.isEmpty())
        Q_EMIT namesFound(fresh);
    if (run != m_runId || !m_loaded)
        return; // the harvest ended the run meanwhile

    if (!QFile::remove(path))
        return;
    nextPageOrFinish();
}

void SearchListBuilder::readEnginePage(const BrowserPage &page)
{
    const SearchEngines::PageVerdict verdict = SearchEngines::readPage(
        *m_engine, page,
        m_request.everyEnding ? DomainNames::Endings::Every : DomainNames::Endings::Reference);
    qCDebug(lcDiscovery) << m_engine->toolName << page.url << "status" << page.httpStatus
                         << int(verdict.outcome) << verdict.reason;
    m_newOnPage = 0;
    switch (verdict.outcome) {
    case SearchEngines::Outcome::Blocked:
    case SearchEngines::Outcome::NoAnswer:
        m_problem = verdict.outcome == SearchEngines::Outcome::Blocked ? PageProblem::Blocked
                                                                       : PageProblem::NoAnswer;
        m_reason = page.answered || page.errorText.isEmpty() ? verdict.reason : page.errorText;
        restEngine(verdict.outcome == SearchEngines::Outcome::Blocked
                       ? verdict.refusal
                       : EngineRests::Kind::NoAnswer);
        if (!moveToNextEngine())
            finishRun();
        return;
    case SearchEngines::Outcome::NoResults:
        m_problem = PageProblem::None;
        nextPageOrFinish();
        return;
    case SearchEngines::Outcome::Results:
        break;
    }
    m_problem = PageProblem::None;
    QStringList fresh;
    for (const QString &name : verdict.names) {
        const QString key = name.toLower();
        if (m_seenLower.contains(key))
            continue;
        m_seenLower.insert(key);
        m_seen.append(name);
        fresh << name;
    }
    m_newOnPage = qint32(fresh.size());
    m_totalNames += m_newOnPage;
    setStatusText(QStringLiteral("Extracted %1 unique results from %2.")
                      .arg(m_totalNames)
                      .arg(m_engine->displayName));
    const quint64 run = m_runId;
    if (!fresh.isEmpty())
        Q_EMIT namesFound(fresh);
    if (run != m_runId || !m_loaded)
        return; // the harvest ended the run meanwhile
    nextPageOrFinish();
}

bool SearchListBuilder::moveToNextEngine()
{
    if (!m_request.tryNextEngine)
        return false;
    // A harvester of the team may have rested an engine meanwhile.
    readRests();
    const QList<SearchEngines::SearchEngine> &list = m_catalog->engines();
    const SearchEngines::SearchEngine *next = nullptr;
    const qsizetype at = m_engine - list.constData();
    for (qsizetype i = 1; i < list.size() && !next; ++i) {
        const SearchEngines::SearchEngine *e = &list.at((at + i) % list.size());
        if (!m_tried.contains(e) && !m_rests.contains(e->toolName))
            next = e;
    }
    if (!next)
        return false;
    if (m_referenceRun)
        m_offset = m_resultOffset - 1;
    const QString what = m_passedOver ? QStringLiteral("%1: %2.")
                         : m_problem == PageProblem::Blocked
                             ? QStringLiteral("%1 blocked the search: %2.")
                             : QStringLiteral("%1 did not answer: %2.");
    setStatusText(
        what.arg(m_engine->displayName, m_reason) +
        QStringLiteral(" Trying %1 from result %2.").arg(next->displayName).arg(m_offset + 1));
    m_engine = next;
    m_tried.insert(next);
    m_referenceRun = false;
    m_movedOn = true;
    m_passedOver = false;
    m_problem = PageProblem::None;
    m_reason.clear();
    requestEnginePage();
    return true;
}

void SearchListBuilder::nextPageOrFinish()
{
    if (m_totalNames < m_wantedNames && m_newOnPage > 0) {
        if (!m_referenceRun) {
            m_offset += m_engine->pageSize;
            requestEnginePage();
            return;
        }
        m_resultOffset += m_engine->pageSize;
        navigateTo(engineAsAsked().request(searchText(), m_resultOffset - 1).url);
        return;
    }
    finishRun();
}

void SearchListBuilder::pageTimedOut()
{
    if (!m_loaded || m_isFinished)
        return;
    if (m_browser)
        m_browser->stop();
    // The page counts as one that added no new name.
    qCDebug(lcDiscovery) << "no answer within" << m_config.pageTimeoutMs << "ms";
    m_problem = PageProblem::NoAnswer;
    m_reason = QStringLiteral("no answer within %1 seconds").arg(m_config.pageTimeoutMs / 1000.0);
    restEngine(EngineRests::Kind::NoAnswer);
    m_newOnPage = 0;
    if (moveToNextEngine())
        return;
    nextPageOrFinish();
}

void SearchListBuilder::finishRun()
{
    m_isFinished = true;
    m_seen.clear();
    const QString engine = m_engine ? m_engine->displayName : m_leftOut;
    if (m_referenceRun && !m_movedOn && !m_passedOver) {
        setStatusText(QStringLiteral("Finished! Extracted %1 results.").arg(m_totalNames) +
                      problemSentence(m_problem));
    } else if (!m_engine) {
        QString why = engine.isEmpty() ? m_reason : engine + QStringLiteral(": ") + m_reason;
        why[0] = why[0].toUpper();
        setStatusText(
            QStringLiteral("Finished! Extracted %1 results. %2.").arg(m_totalNames).arg(why));
    } else {
        QString text =
            QStringLiteral("Finished! Extracted %1 results from %2.").arg(m_totalNames).arg(engine);
        if (m_passedOver)
            text += QStringLiteral(" %1: %2.").arg(engine, m_reason);
        else if (m_problem == PageProblem::Blocked)
            text += QStringLiteral(" %1 blocked the search: %2.").arg(engine, m_reason);
        else if (m_problem == PageProblem::NoAnswer)
            text += QStringLiteral(" %1 did not answer: %2.").arg(engine, m_reason);
        if (m_problem != PageProblem::None && m_request.tryNextEngine)
            text += QStringLiteral(" No other engine was left to try.");
        setStatusText(text);
    }
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);

    const quint64 run = m_runId;
    qCDebug(lcDiscovery) << "run for" << m_queryTerms << "found" << m_totalNames << "names"
                         << m_problem;
    DiscoveryOutcome outcome = outcomeOf(m_totalNames, m_problem);
    outcome.engine = engine;
    if (m_problem != PageProblem::None)
        outcome.reason = m_reason;
    outcome.movedOn = m_movedOn;
    Q_EMIT finished(outcome);
    // What follows is the harvest's: the crawl, or a new run for the next search string.
    if (run == m_runId && m_loaded)
        unload();
}

void SearchListBuilder::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged(text);
}

void SearchListBuilder::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    Q_EMIT visibleChanged(visible);
}
