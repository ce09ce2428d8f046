#pragma once

#include "browser.h"
#include "discoveryconfig.h"
#include "domainextractor.h"
#include "listbuilder.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

// The list builder Form3 without its widgets: one load is one run, which reads a search
// engine's result pages through a Browser until it has the wanted number of unique domain
// names or a page adds none, reports each page's new names (namesFound) and then how the
// run ended (finished).
//
// The browser is not owned and must outlive the builder. A window that shows the run
// connects to text1Changed and visibleChanged; a headless builder shows nothing. Every
// handler runs to its end without re-entering the event loop.
class SearchListBuilder : public ListBuilder
{
    Q_OBJECT
public:
    // Why a run ended with the page it ended on.
    enum class PageProblem
    {
        None,
        NoAnswer,
        Blocked
    };
    Q_ENUM(PageProblem)

    static const char *const pageFileName; // "SearchOutput.txt"
    static const char *const initialText1; // "Status..."

    SearchListBuilder(Browser *browser, const DiscoveryConfig &config = DiscoveryConfig(),
                      QObject *parent = nullptr);
    ~SearchListBuilder() override;

    const DiscoveryConfig &config() const { return m_config; }
    void setConfig(const DiscoveryConfig &config) { m_config = config; }

    bool isLoaded() const override { return m_loaded; }
    void load(const DiscoveryRequest &request) override;
    void show() override;
    void unload() override;

    bool isVisible() const { return m_visible; }
    QString text1() const { return m_text1; }

    // The run state of the current (or last) load.
    QString strTerms() const { return m_strTerms; }
    QString strEngine() const { return m_strEngine; }
    qint32 lTarget() const { return m_lTarget; }
    qint32 lTotal() const { return m_lTotal; }
    qint32 lPageNew() const { return m_lPageNew; }
    qint32 vStart() const { return m_vStart; }
    QString strSeen() const { return m_seen.text(); }
    bool bFinished() const { return m_bFinished; }
    PageProblem lastProblem() const { return m_problem; }

    // The tables of the run.
    static qint32 targetForIndex(int combo2Index);
    static QString engineForText(const QString &combo1Text);
    static qint32 offsetStep(const QString &engine);
    // The query text: the search string, " fax" appended when asked, every space "+".
    static QString queryText(const QString &search, bool addFax);
    // The address of the result page at offset vStart.
    static QString resultPageAddress(const QString &engine, const QString &terms, qint32 vStart,
                                     const DiscoveryConfig &config);

    // How a run that ended with lTotal names and that problem on its last page ended.
    static DiscoveryOutcome outcomeOf(qint32 lTotal, PageProblem problem);

Q_SIGNALS:
    void text1Changed(const QString &text);
    void visibleChanged(bool visible);
    void loadedChanged(bool loaded);

private:
    void Form_Load();
    void LoadFirstPage();
    void WebBrowser1_DocumentComplete(const BrowserPage &page);
    void ExtractDomains(const QString &pageText);
    void NextPageOrFinish();
    void navigateTo(const QString &address);
    void pageTimedOut();
    void finishRun();
    void setText1(const QString &text);
    void setVisible(bool visible);

    QPointer<Browser> m_browser;
    DiscoveryRequest m_request;
    DiscoveryConfig m_config;
    QTimer m_pageTimer;

    bool m_loaded = false;
    bool m_visible = false;
    quint64 m_runId = 0; // counts loads, so that a finished run never unloads a newer one
    QString m_text1;

    QString m_strTerms;
    QString m_strEngine;
    qint32 m_lTarget = 100;
    qint32 m_lTotal = 0;
    qint32 m_lPageNew = 0;
    qint32 m_vStart = 1;
    DomainExtractor::SeenNames m_seen;
    bool m_bFinished = false;
    PageProblem m_problem = PageProblem::None;
};
