#pragma once

#include "browser.h"
#include "discoveryconfig.h"
#include "domainextractor.h"
#include "listbuilder.h"
#include "searchengines.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

// The list builder Form3 without its widgets: one load is one run, which reads a search
// engine's result pages through a Browser until it has the wanted number of unique domain
// names or a page adds none, reports each page's new names (namesFound) and then how the
// run ended (finished).
//
// The engines are those of the config's definitions. An engine of the line reading (the two
// of the reference), with the reference endings, is read by the reference rules through the
// page file. Every other engine, and every engine when all domain endings are wanted, is
// asked as its definition says and its pages are judged by that definition: results,
// nothing found, blocked or no answer. A blocked or unanswered page adds no name; when the
// request says so, the run goes on with the next engine of the list at the same result
// offset.
//
// With a book of rests in the config, an engine that refused rests for the time its
// definition gives that kind of refusal: a run passes over it (or, asked for no other
// engine, ends at once saying until when it rests). A run of the reference (an engine of the
// line reading with the reference endings, no next engine) neither rests nor passes over.
//
// The browser is not owned and must outlive the builder. A window that shows the run
// connects to statusTextChanged and visibleChanged; a headless builder shows nothing. Every
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

    static const char *const pageFileName;      // "SearchOutput.txt"
    static const char *const initialStatusText; // "Status..."

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
    QString statusText() const { return m_statusText; } // Text1

    // The run state of the current (or last) load.
    QString queryTerms() const { return m_queryTerms; }    // strTerms
    qint32 wantedNames() const { return m_wantedNames; }   // lTarget
    qint32 totalNames() const { return m_totalNames; }     // lTotal
    qint32 newOnPage() const { return m_newOnPage; }       // lPageNew
    qint32 resultOffset() const { return m_resultOffset; } // vStart
    // The engine the run asks now (or asked last), as named in the engine list.
    QString currentEngine() const { return m_engine ? m_engine->displayName : QString(); }
    QString seenNames() const { return m_seen.text(); } // strSeen
    bool isFinished() const { return m_isFinished; }    // bFinished
    PageProblem lastProblem() const { return m_problem; }

    // The table of targets.
    static qint32 targetForIndex(int resultCountIndex);
    // The query text: the search string, " fax" appended when asked, every space "+".
    static QString queryText(const QString &search, bool addFax);

    // How a run that ended with totalNames names and that problem on its last page ended.
    static DiscoveryOutcome outcomeOf(qint32 totalNames, PageProblem problem);

Q_SIGNALS:
    void statusTextChanged(const QString &text);
    void visibleChanged(bool visible);
    void loadedChanged(bool loaded);

private:
    void startRun();                             // Form_Load
    void loadFirstPage();                        // LoadFirstPage
    void pageCompleted(const BrowserPage &page); // WebBrowser1_DocumentComplete
    void extractNames(const QString &pageText);  // ExtractDomains
    void readEnginePage(const BrowserPage &page);
    void nextPageOrFinish();
    void navigateTo(const QString &address);
    void requestEnginePage();
    // The engine as asked: its definition with the origin of the config.
    SearchEngines::SearchEngine engineAsAsked() const;
    QString searchText() const;
    // The engine refused or did not answer: the next untried engine of the list that does not
    // rest takes over at the same result offset. False when the request does not say so or
    // none is left.
    bool moveToNextEngine();
    // The engine refused (m_reason says why): it rests, and m_reason says until when.
    void restEngine(EngineRests::Kind kind);
    void readRests();
    void pageTimedOut();
    void finishRun();
    void setStatusText(const QString &text);
    void setVisible(bool visible);

    QPointer<Browser> m_browser;
    DiscoveryRequest m_request;
    DiscoveryConfig m_config;
    QTimer m_pageTimer;

    bool m_loaded = false;
    bool m_visible = false;
    quint64 m_runId = 0; // counts loads, so that a finished run never unloads a newer one
    QString m_statusText;

    QString m_queryTerms;
    qint32 m_wantedNames = 100;
    qint32 m_totalNames = 0;
    qint32 m_newOnPage = 0;
    qint32 m_resultOffset = 1;
    DomainExtractor::SeenNames m_seen;
    bool m_isFinished = false;
    PageProblem m_problem = PageProblem::None;

    // The engines of the run, kept for it even when the config changes meanwhile.
    std::shared_ptr<const SearchEngines::Catalog> m_runCatalog;
    const SearchEngines::Catalog *m_catalog = nullptr;
    const SearchEngines::SearchEngine *m_engine = nullptr;
    bool m_referenceRun = true; // the page is read by the reference rules
    bool m_restsApply = false;  // engines rest and resting engines are passed over
    QHash<QString, EngineRests::Rest> m_rests;
    bool m_passedOver = false; // the engine was not asked: it rests (m_reason says until when)
    QString m_leftOut;         // the engine picked, whose definition could not be read
    qint64 m_offset = 0;       // the result offset of the engine's request (vStart - 1)
    QSet<QString> m_seenLower; // every accepted name, lower case
    QSet<const SearchEngines::SearchEngine *> m_tried;
    QString m_reason; // why the last page was blocked or did not come
    bool m_movedOn = false;
};
