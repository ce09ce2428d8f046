#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

// What one run of the list builder is asked for; taken when the run loads.
struct DiscoveryRequest
{
    QString search;            // the search string
    bool addFax = false;       // append " fax" to the query
    QString engine;            // an engine's name in the engine list (any other text: the first)
    int resultCountIndex = -1; // -1..5: about 100 (also -1) .. 10000 names
    QString dataDir;           // where the result page file lives
    // An engine that refuses the search or does not answer gives way to the next engine of
    // the list, at the same result offset.
    bool tryNextEngine = false;
    // Names are registrable domains of every ending, not the reference's .com, .net, .org
    // and .gov names.
    bool everyEnding = false;
};

// How a run ended.
struct DiscoveryOutcome
{
    enum class Kind
    {
        Finished,         // more than 20 names: the crawl of the queue can start
        NotEnoughResults, // 20 names or fewer
        Blocked,          // too few, and the last result page was the engine's refusal
        NoAnswer,         // too few, and the last result page did not come
    };
    Kind kind = Kind::NotEnoughResults;
    qint32 names = 0;     // unique names the run found
    QString engine;       // the engine of the run's last page ("Bing"); empty when not told
    QString reason;       // Blocked, NoAnswer: why, in words; empty when not told
    bool movedOn = false; // the run left an engine that refused or did not answer

    bool enough() const { return kind == Kind::Finished; }
    // Why a run that found too few names ended, in words: "the search engine blocked the
    // search (Bing: …)"; empty for a run that simply found too few.
    QString problemText() const;
};
Q_DECLARE_METATYPE(DiscoveryOutcome)

// The list builder (the discovery window Form3) as the harvest sees it. One load is one
// run; the run reports what it finds and how it ended by signals, and writes nothing of the
// harvest's: the harvest stores the names and decides what follows.
class ListBuilder : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ListBuilder() override = default;

    virtual bool isLoaded() const = 0;
    // Load the window, which starts a run at once; does nothing when it is loaded already.
    virtual void load(const DiscoveryRequest &request) = 0;
    // Show it without modality (a headless builder shows nothing).
    virtual void show() = 0;
    // Unload it, ending a run in progress without an outcome.
    virtual void unload() = 0;

Q_SIGNALS:
    // Names of one result page that the run has not seen before, before it moves on.
    void namesFound(const QStringList &names);
    // The run ended; the builder unloads itself afterwards unless a new run was loaded
    // meanwhile.
    void finished(const DiscoveryOutcome &outcome);
    // The window unloaded (the run finished, gave up or was unloaded).
    void unloaded();
};
