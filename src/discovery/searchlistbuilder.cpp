#include "searchlistbuilder.h"

#include "logging.h"
#include "workingfile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

const char *const SearchListBuilder::pageFileName = "SearchOutput.txt";
const char *const SearchListBuilder::initialText1 = "Status...";

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
      m_text1(QLatin1String(initialText1))
{
    m_pageTimer.setSingleShot(true);
    connect(&m_pageTimer, &QTimer::timeout, this, &SearchListBuilder::pageTimedOut);
    if (m_browser)
        connect(m_browser, &Browser::documentComplete, this,
                &SearchListBuilder::WebBrowser1_DocumentComplete);
}

SearchListBuilder::~SearchListBuilder()
{
    if (m_browser)
        m_browser->disconnect(this);
}

qint32 SearchListBuilder::targetForIndex(int combo2Index)
{
    switch (combo2Index) {
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

QString SearchListBuilder::engineForText(const QString &combo1Text)
{
    return combo1Text == QLatin1String("Yahoo Search") ? QStringLiteral("Yahoo")
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
                                             qint32 vStart, const DiscoveryConfig &config)
{
    if (engine == QLatin1String("Yahoo"))
        return QLatin1String("http://") + config.yahooHost +
               QLatin1String("/search/dir?h=s&xargs=0&p=") + terms + QLatin1String("&b=") +
               QString::number(vStart);
    return QLatin1String("http://") + config.googleHost +
           QLatin1String("/search?num=100&hl=en&lr=&ie=UTF-8&oe=UTF-8&safe=off&filter=0&start=") +
           QString::number(qint64(vStart) - 1) + QLatin1String("&sa=N&q=") + terms;
}

DiscoveryOutcome SearchListBuilder::outcomeOf(qint32 lTotal, PageProblem problem)
{
    DiscoveryOutcome outcome;
    outcome.names = lTotal;
    if (lTotal > kEnoughNames)
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
    setText1(QLatin1String(initialText1));
    Q_EMIT loadedChanged(true);
    Form_Load();
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
    m_bFinished = true;
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);
    Q_EMIT loadedChanged(false);
    Q_EMIT unloaded();
}

void SearchListBuilder::Form_Load()
{
    m_bFinished = false;
    m_lTotal = 0;
    m_lPageNew = 0;
    m_seen.clear();
    m_problem = PageProblem::None;
    m_strTerms = queryText(m_request.search, m_request.addFax);
    m_lTarget = targetForIndex(m_request.resultCountIndex);
    m_strEngine = engineForText(m_request.engine);
    m_vStart = 1;
    LoadFirstPage();
}

void SearchListBuilder::LoadFirstPage()
{
    // The harvest emptied the website list before it loaded the run.
    navigateTo(resultPageAddress(m_strEngine, m_strTerms, m_vStart, m_config));
}

void SearchListBuilder::navigateTo(const QString &address)
{
    m_pageTimer.start(m_config.pageTimeoutMs);
    if (m_browser)
        m_browser->navigate(address);
}

void SearchListBuilder::WebBrowser1_DocumentComplete(const BrowserPage &page)
{
    if (!m_loaded || page.url.size() <= 8 || m_bFinished)
        return;
    m_pageTimer.stop();
    if (!page.answered)
        m_problem = PageProblem::NoAnswer;
    else if (DomainExtractor::isBlockedAnswer(page.httpStatus, page.html))
        m_problem = PageProblem::Blocked;
    else
        m_problem = PageProblem::None;
    qCDebug(lcDiscovery) << page.url << "status" << page.httpStatus << m_problem;
    ExtractDomains(page.html);
}

void SearchListBuilder::ExtractDomains(const QString &pageText)
{
    m_lPageNew = 0;
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
        ++m_lPageNew;
        m_seen.append(name);
        fresh << name;
        ++m_lTotal;
    }
    setText1(QStringLiteral("Extracted %1 unique results.").arg(m_lTotal));
    const quint64 run = m_runId;
    if (!fresh.isEmpty())
        Q_EMIT namesFound(fresh);
    if (run != m_runId || !m_loaded)
        return; // the harvest ended the run meanwhile

    if (!QFile::remove(path))
        return;
    NextPageOrFinish();
}

void SearchListBuilder::NextPageOrFinish()
{
    if (m_lTotal < m_lTarget && m_lPageNew > 0) {
        m_vStart += offsetStep(m_strEngine);
        navigateTo(resultPageAddress(m_strEngine, m_strTerms, m_vStart, m_config));
        return;
    }
    finishRun();
}

void SearchListBuilder::pageTimedOut()
{
    if (!m_loaded || m_bFinished)
        return;
    if (m_browser)
        m_browser->stop();
    // The page counts as one that added no new name.
    qCDebug(lcDiscovery) << "no answer within" << m_config.pageTimeoutMs << "ms";
    m_problem = PageProblem::NoAnswer;
    m_lPageNew = 0;
    NextPageOrFinish();
}

void SearchListBuilder::finishRun()
{
    m_bFinished = true;
    m_seen.clear();
    setText1(QStringLiteral("Finished! Extracted %1 results.").arg(m_lTotal) +
             problemSentence(m_problem));
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);

    const quint64 run = m_runId;
    qCDebug(lcDiscovery) << "run for" << m_strTerms << "found" << m_lTotal << "names" << m_problem;
    Q_EMIT finished(outcomeOf(m_lTotal, m_problem));
    // What follows is the harvest's: the crawl, or a new run for the next search string.
    if (run == m_runId && m_loaded)
        unload();
}

void SearchListBuilder::setText1(const QString &text)
{
    if (text == m_text1)
        return;
    m_text1 = text;
    Q_EMIT text1Changed(text);
}

void SearchListBuilder::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    Q_EMIT visibleChanged(visible);
}
