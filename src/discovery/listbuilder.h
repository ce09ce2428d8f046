#pragma once

#include <QString>

class Counters;
class TextList;
class modDatabase;

// What a run of the list builder needs of the main window: the inputs it reads when it
// loads, the store and counters it writes, the status panels, List1, and the two ways it
// hands the session back. The engine implements it.
class ListBuilderHost
{
public:
    virtual ~ListBuilderHost() = default;

    virtual QString txtSearch() const = 0;   // the search string for this run
    virtual bool chkAddFax() const = 0;      // 'Add "fax" to searches'
    virtual QString combo1Text() const = 0;  // "Google Search", "Yahoo Search" or other text
    virtual int combo2Index() const = 0;     // -1..5
    virtual QString dataDir() const = 0;     // where "SearchOutput.txt" lives
    virtual modDatabase *database() = 0;     // DeleteAllWebsites, AddWebsite
    virtual Counters *counters() = 0;        // AddStat(1)
    virtual TextList *list1() = 0;           // entry 0 may be removed
    virtual void setStatusPanel(int panel, const QString &text) = 0;
    virtual void cmdDoSearch_Click() = 0;    // start crawling the queue the run filled
    virtual void StartNextSearch() = 0;      // go on with the next search string
    // The window unloaded (run finished, gave up, or was unloaded): the engine leaves its
    // "discovering" state unless a hand-back started a harvest. Optional for hosts.
    virtual void listBuilderUnloaded() {}
};

// The list builder window Form3 as the engine sees it. One load is one run.
class ListBuilder
{
public:
    virtual ~ListBuilder() = default;

    virtual bool isLoaded() const = 0;
    // Load the window, which starts a run at once; does nothing when it is loaded already.
    virtual void load() = 0;
    // Show it without modality (a headless builder shows nothing).
    virtual void show() = 0;
    // Unload it, ending a run in progress without a hand-back.
    virtual void unload() = 0;
};
