#include "searchlistbuilder.h"

#include "globals.h"
#include "moddatabase.h"
#include "textlist.h"
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

QString notEnoughText(SearchListBuilder::PageProblem problem)
{
    switch (problem) {
    case SearchListBuilder::PageProblem::NoAnswer:
        return QStringLiteral("Not enough results: the search engine did not answer");
    case SearchListBuilder::PageProblem::Blocked:
        return QStringLiteral("Not enough results: the search engine blocked the search");
    case SearchListBuilder::PageProblem::None:
        break;
    }
    return QStringLiteral("Not enough results");
}

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

SearchListBuilder::SearchListBuilder(ListBuilderHost *host, Browser *browser,
                                     const DiscoveryConfig &config, QObject *parent)
    : QObject(parent), m_host(host), m_browser(browser), m_config(config),
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
    case 1: return 200;
    case 2: return 500;
    case 3: return 1000;
    case 4: return 5000;
    case 5: return 10000;
    default: return 100; // -1 (nothing chosen) and 0
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
        return QLatin1String("http://") + config.yahooHost
            + QLatin1String("/search/dir?h=s&xargs=0&p=") + terms + QLatin1String("&b=")
            + QString::number(vStart);
    return QLatin1String("http://") + config.googleHost
        + QLatin1String("/search?num=100&hl=en&lr=&ie=UTF-8&oe=UTF-8&safe=off&filter=0&start=")
        + QString::number(qint64(vStart) - 1) + QLatin1String("&sa=N&q=") + terms;
}

void SearchListBuilder::load()
{
    if (m_loaded || !m_host)
        return;
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
    if (m_host)
        m_host->listBuilderUnloaded();
}

void SearchListBuilder::Form_Load()
{
    m_bFinished = false;
    m_lTotal = 0;
    m_lPageNew = 0;
    m_seen.clear();
    m_problem = PageProblem::None;
    m_strTerms = queryText(m_host->txtSearch(), m_host->chkAddFax());
    m_lTarget = targetForIndex(m_host->combo2Index());
    m_strEngine = engineForText(m_host->combo1Text());
    m_vStart = 1;
    LoadFirstPage();
}

void SearchListBuilder::LoadFirstPage()
{
    modDatabase *db = m_host->database();
    if (!db || !db->DeleteAllWebsites()) {
        // Names of an earlier search would be crawled for this one: the run does not start.
        m_bFinished = true;
        setText1(QStringLiteral("Stopped: the website list could not be emptied."));
        m_host->setStatusPanel(1, QStringLiteral("Stopped"));
        m_host->setStatusPanel(2, QStringLiteral("The website list could not be emptied"));
        m_host->setStatusPanel(3, QString());
        Q_EMIT runFinished(0, m_problem);
        unload();
        return;
    }
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
    ExtractDomains(page.html);
}

void SearchListBuilder::ExtractDomains(const QString &pageText)
{
    m_lPageNew = 0;
    const QString text = DomainExtractor::prepareResultText(pageText);

    // The page goes through the page file; a file that an abandoned page left behind is
    // appended to, so its lines are read again ahead of this page's. Any failure of the
    // file abandons the page: no next page, no finish.
    const QString path = QDir(m_host->dataDir()).filePath(QLatin1String(pageFileName));
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

    const quint64 run = m_runId;
    modDatabase *db = m_host->database();
    Counters *counters = m_host->counters();
    for (const QString &line : lines) {
        const QString name = DomainExtractor::candidateName(line, m_config);
        if (name.isEmpty() || m_seen.contains(name))
            continue;
        ++m_lPageNew;
        m_seen.append(name);
        QString site = name;
        if (db)
            db->AddWebsite(site);
        if (counters)
            counters->AddStat(Counters::SiteFound);
        ++m_lTotal;
        // A store problem may be shown in a modal box whose loop can unload this window.
        if (run != m_runId || !m_loaded)
            return;
        setText1(QStringLiteral("Extracted %1 unique results.").arg(m_lTotal));
    }
    setText1(QStringLiteral("Extracted %1 unique results.").arg(m_lTotal));

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
    m_problem = PageProblem::NoAnswer;
    m_lPageNew = 0;
    NextPageOrFinish();
}

void SearchListBuilder::finishRun()
{
    m_bFinished = true;
    m_seen.clear();
    setText1(QStringLiteral("Finished! Extracted %1 results.").arg(m_lTotal)
             + problemSentence(m_problem));
    m_pageTimer.stop();
    if (m_browser)
        m_browser->stop();
    setVisible(false);

    const quint64 run = m_runId;
    const qint32 total = m_lTotal;
    Q_EMIT runFinished(total, m_problem);

    if (total > kEnoughNames) {
        m_host->cmdDoSearch_Click();
        // The hand-back may already have moved on to a new run; that one stays.
        if (run == m_runId)
            unload();
        return;
    }

    m_host->setStatusPanel(1, QStringLiteral("Stopped"));
    m_host->setStatusPanel(2, notEnoughText(m_problem));
    TextList *list1 = m_host->list1();
    if (!list1 || list1->count() < 2) {
        m_host->setStatusPanel(3, QStringLiteral("Add more search terms"));
        unload();
        return;
    }
    // Only the list loses the search string; its stored row stays.
    list1->removeItem(0);
    m_host->setStatusPanel(3, QStringLiteral("Trying next search"));
    m_host->StartNextSearch(); // unloads this window and loads it again for the new entry 0
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
