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

QString SearchListBuilder::engineForText(const QString &engineText)
{
    return engineText == QLatin1String("Yahoo Search") ? QStringLiteral("Yahoo")
                                                       : QStringLiteral("Google");
}

qint32 SearchListBuilder::offsetStep(const QString &engine)
{
    return engine == QLatin1String("Yahoo") ? 20 : 100;
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

QString SearchListBuilder::resultPageAddress(const QString &engine, const QString &terms,
                                             qint32 resultOffset, const DiscoveryConfig &config)
{
    if (engine == QLatin1String("Yahoo"))
        return QLatin1String("http://") + config.yahooHost +
               QLatin1String("/search/dir?h=s&xargs=0&p=") + terms + QLatin1String("&b=") +
               QString::number(resultOffset);
    return QLatin1String("http://") + config.googleHost +
           QLatin1String("/search?num=100&hl=en&lr=&ie=UTF-8&oe=UTF-8&safe=off&filter=0&start=") +
           QString::number(qint64(resultOffset) - 1) + QLatin1String("&sa=N&q=") + terms;
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
    m_problem = PageProblem::None;
    m_queryTerms = queryText(m_request.search, m_request.addFax);
    m_wantedNames = targetForIndex(m_request.resultCountIndex);
    m_engineName = engineForText(m_request.engine);
    m_resultOffset = 1;
    loadFirstPage();
}

void SearchListBuilder::loadFirstPage()
{
    // The harvest emptied the website list before it loaded the run.
    navigateTo(resultPageAddress(m_engineName, m_queryTerms, m_resultOffset, m_config));
}

void SearchListBuilder::navigateTo(const QString &address)
{
    m_pageTimer.start(m_config.pageTimeoutMs);
    if (m_browser)
        m_browser->navigate(address);
}

void SearchListBuilder::pageCompleted(const BrowserPage &page)
{
    if (!m_loaded || page.url.size() <= 8 || m_isFinished)
        return;
    m_pageTimer.stop();
    if (!page.answered)
        m_problem = PageProblem::NoAnswer;
    else if (DomainExtractor::isBlockedAnswer(page.httpStatus, page.html))
        m_problem = PageProblem::Blocked;
    else
        m_problem = PageProblem::None;
    qCDebug(lcDiscovery) << page.url << "status" << page.httpStatus << m_problem;
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
        const QString name = DomainExtractor::candidateName(line, m_config);
        if (name.isEmpty() || m_seen.contains(name))
            continue;
        ++m_newOnPage;
        m_seen.append(name);
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

void SearchListBuilder::nextPageOrFinish()
{
    if (m_totalNames < m_wantedNames && m_newOnPage > 0) {
        m_resultOffset += offsetStep(m_engineName);
        navigateTo(resultPageAddress(m_engineName, m_queryTerms, m_resultOffset, m_config));
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
    m_newOnPage = 0;
    nextPageOrFinish();
}

void SearchListBuilder::finishRun()
{
    m_isFinished = true;
    m_seen.clear();
    setStatusText(QStringLiteral("Finished! Extracted %1 results.").arg(m_totalNames) +
                  problemSentence(m_problem));
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);

    const quint64 run = m_runId;
    qCDebug(lcDiscovery) << "run for" << m_queryTerms << "found" << m_totalNames << "names"
                         << m_problem;
    Q_EMIT finished(outcomeOf(m_totalNames, m_problem));
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
