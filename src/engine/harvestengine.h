#pragma once

#include "listbuilder.h"
#include "store.h"
#include "options.h"
#include "resolvemap.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

class Counters;
class FetchSlot;
struct FoundNumber;
class HarvestMessages;
class ListBuilder;
class SettingsStore;
class SoundPlayer;
class CrawlQueue;
class SqliteStore;
class TextList;

// The harvest of the main window Form1, without widgets: the running flag and harvest
// states, the three lists, the status panels, the progress bar, the enabled state of every
// button, the option values, the counters, the ten fetch slots and the crawl scheduler.
// A window shows this state through the getters and change signals and forwards every
// click to the handler of the same name; it holds no state of its own. Tests and
// `varnel-tool harvest` drive the same object without a window.
//
// Threading: one thread, driven by socket, timer and caller events. No handler re-enters
// the event loop; each runs to its end. Message boxes go through HarvestMessages (the
// window may run a nested loop there; the engine stays consistent when socket and timer
// events arrive meanwhile).
//
// A write the store refuses (full disk, lock, read-only file) stops the harvest as Stop
// does, with the reason in status panels 2 and 3; every site taken from the backlog stays
// noted in the store until its page has been analysed, so neither a kill nor a failed
// write loses a queued site.
//
// Ownership: the engine owns its lists, counters, store, page analysis and sockets. The
// settings store and the seams (messages, sound, list builder) belong to the caller and
// must outlive the engine (or be reset to null first).
class HarvestEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 10;

    // stopped: no harvest; discovering: a list builder run was started for entry 0 of List1;
    // harvesting: slots fetch the queue; draining: the last search's queue ran dry with
    // "Continue Until Stopped", idle until Stop or new work.
    enum class HarvestState
    {
        Stopped,
        Discovering,
        Harvesting,
        Draining
    };
    Q_ENUM(HarvestState)

    // Every button of the main window whose enabled state the harvest sets.
    enum class Button
    {
        Command1,        // "Start"
        cmdStop,         // "Stop"
        cmdResume,       // "Resume"
        cmdNextSearch,   // "Next"
        cmdViewDatabase, // "View Fax Database"
        Command2,        // "Export Numbers to List"
        Command3,        // "Delete All Fax Numbers"
        cmdAdd,          // "Add"
        cmbDel,          // "Del"
        cmdWebsite       // the product web site button
    };
    Q_ENUM(Button)

    // Controls a failed Start moves the focus to.
    enum class FocusTarget
    {
        Text1,
        Combo1,
        Combo2
    };
    Q_ENUM(FocusTarget)

    // dataDir: the "program directory" (database, page files); settings: not owned.
    HarvestEngine(const QString &dataDir, SettingsStore *settings, QObject *parent = nullptr);
    ~HarvestEngine() override;

    // ---- seams (not owned; null allowed) ------------------------------------------------
    // Without messages, information() shows nothing and every question is answered Cancel.
    void setMessages(HarvestMessages *messages);
    // Without a player the harvest is silent. Sounds are looked up with
    // DataDir::resource(dataDir, "sounds/<name>.wav"); a missing file plays nothing.
    void setSoundPlayer(SoundPlayer *player);
    // Where the slots connect: a host with an entry goes to the mapped address and port
    // (the request still names the original host); every other host goes to the system
    // resolver, port 80 (443 for TLS).
    void setResolveMap(const ResolveMap &map);
    // TLS connections (https, port 443) look here first, then in the map above; lets one
    // host name answer plain HTTP and TLS on two loopback ports.
    void setTlsResolveMap(const ResolveMap &map);
    // Form3. Start, Next and StartNextSearch load it; shutdown unloads it. Without one, a
    // start stays in the discovering state until Stop.
    void setListBuilder(ListBuilder *builder);
    ListBuilder *listBuilder() const { return m_listBuilder; }

    // ---- start-up and shutdown ----------------------------------------------------------
    // Restore the options and counters, return the sites a killed harvest left pending to
    // the backlog, load the fax preview, the search strings and the head of the saved queue,
    // offer Resume. Starts no harvest. Run once, before any click.
    void Form_Load();
    // Stop at once (downloads in progress are dropped unsaved), close every socket, unload
    // the list builder, and return the sites still in List2 and those whose download was
    // cut off to the backlog, so that the next start offers them with Resume. Whether the
    // program then ends is the window's business.
    void Form_Unload();
    // The options and counters from the settings store (part of Form_Load).
    void LoadSettings();

    // ---- session control (buttons) ------------------------------------------------------
    void Command1_Click();             // Start: validate, empty the queue, start discovery
    void cmdNextSearch_Click();        // Next (also the automatic advance)
    void cmdStop_Click();              // Stop (downloads cut off go back to the backlog)
    void cmdResume_Click();            // Resume the saved queue (and sites left pending)
    void cmdAdd_Click();               // Add Text1 to List1 and the store
    void Text1_KeyPress(int keyAscii); // 13 (Enter) runs Add
    void cmbDel_Click();               // Del the selected entry of List1 (list1()->listIndex())
    void Command3_Click();             // Delete All Fax Numbers (asks first)
    // Empties the numbers table, the preview and the run's count of numbers.
    void deleteAllNumbers();
    void cmdViewDatabase_Click();      // emits openDirectoryRequested(dataDir)
    void Command2_Click();             // emits exportRequested()
    void cmdWebsite_Click();           // emits websiteRequested()

    // ---- options ------------------------------------------------------------------------
    // The option values (owned by the engine), read by LoadSettings.
    OptionValues *options() const { return m_options; }
    // A click on a check box or a pick from a choice: the value is taken and written through.
    void setOption(OptionId option, int value);
    // Text typed into a choice's edit field: the text shows, nothing is picked (-1).
    void setComboEditText(OptionId combo, const QString &text);
    int option(OptionId option) const;
    // The text a choice shows: its item, its caption ("Which Search Type?", ...) until a
    // pick, or what was typed.
    QString comboText(OptionId combo) const;
    qint32 lAdvanceAfter() const { return m_lAdvanceAfter; }

    // ---- scheduler (public for the list builder, the slots and tests) -------------------
    // Start crawling the queue: discovery's hand-back and the core of Resume.
    void cmdDoSearch_Click();
    // Start discovery for the (new) entry 0 of List1, unloading a run in progress first.
    void StartNextSearch();
    // Give the slot its next site, or nothing. Sites on abandoned hosts are skipped in a
    // loop; the first dispatch after a start hands out List2's entry 0 itself.
    void FetchNextSite(int slot);
    // The next backlog site for a refill (it stays in the table), or the empty text. When
    // the backlog and List2 are empty and no download is running, the search's queue is
    // dry: the next search string starts, or the "After last search:" policy applies;
    // while downloads run, that is decided when the last of them has been analysed.
    QString NextQueuedSite();
    // End a harvest whose queue is exhausted.
    void EndHarvest();

    // ---- state --------------------------------------------------------------------------
    bool bHarvesting() const { return m_bHarvesting; }
    HarvestState harvestState() const;
    TextList *List1() const { return m_list1; } // search strings; entry 0 is current
    TextList *List2() const { return m_list2; } // head of the crawl queue (<= 21 sites)
    TextList *List3() const { return m_list3; } // fax preview
    QString txtSearch() const { return m_txtSearch; } // the search discovery runs for
    void setTxtSearch(const QString &text);
    QString text1() const { return m_text1; } // "Enter a new Search String:"
    void setText1(const QString &text);
    QString strSearch() const { return m_strSearch; }
    QString statusPanel(int panel) const; // panels 1..4
    void setStatusPanel(int panel, const QString &text);
    int pb1() const { return m_pb1; } // 0..100
    void setPb1(int value);           // values outside 0..100 are refused
    bool isEnabled(Button button) const;
    void setEnabled(Button button, bool enabled);

    Counters *counters() const { return m_counters; }
    Store *store() const;
    SettingsStore *settings() const { return m_settings; }
    QString dataDir() const { return m_dataDir; }
    qint32 lFaxCount() const { return m_lFaxCount; } // numbers stored since start-up

    // Watchdog limits in one-second ticks: idle (no data) and total. Set to 10 and 30 by
    // Form_Load; tests shorten them here.
    qint16 timeout() const { return m_timeout; }
    qint16 timeout2() const { return m_timeout2; }
    void setTimeout(qint16 ticks) { m_timeout = ticks; }
    void setTimeout2(qint16 ticks) { m_timeout2 = ticks; }
    // Hosts whose download a watchdog (or the size bound) abandoned, run together.
    QByteArray strTimedOutHosts() const { return m_strTimedOutHosts; }
    qint32 lSitesSinceAdvance() const { return m_lSitesSinceAdvance; }
    QByteArray strURL() const { return m_strURL; }

    // Largest response a slot keeps; a bigger one is abandoned like a stalled download.
    static constexpr qint64 MaxResponseBytes = 16 * 1024 * 1024;
    // Redirects followed per site when the option says so.
    static constexpr int MaxRedirectHops = 5;

    // A slot's view, for a window's detail display and for tests.
    struct SlotInfo
    {
        bool connected = false; // a socket is open or opening
        bool watchdogs = false; // either watchdog is running
        QByteArray strHost;
        QByteArray strPath;
        bool https = false;
        qint32 lContentLength = 0;
        qint32 lBodyBytes = 0;
        int hops = 0; // redirects followed for the current site
    };
    SlotInfo slotInfo(int slot) const;
    bool anySlotBusy() const;

    QByteArray strCurUrl() const { return m_strCurUrl; } // the last connect's site
    QByteArray slotAddress(int slot) const; // the slot's host and path
    QString currentSearch() const;          // entry 0 of List1
    // PlayWav of a file below the data directory, e.g. "sounds/foundfax.wav"; never blocks.
    void playSound(const QString &relativeName);

Q_SIGNALS:
    void harvestingChanged(bool running);
    void harvestStateChanged(HarvestEngine::HarvestState state);
    void statusPanelChanged(int panel, const QString &text);
    void pb1Changed(int value);
    void buttonEnabledChanged(HarvestEngine::Button button, bool enabled);
    void optionChanged(OptionId option, int value);
    void comboTextChanged(OptionId combo, const QString &text);
    void lAdvanceAfterChanged(qint32 value);
    void txtSearchChanged(const QString &text);
    void text1Changed(const QString &text);
    void timedOutHostsChanged(const QByteArray &hosts);
    // A message box moved the focus (failed Start).
    void focusRequested(HarvestEngine::FocusTarget target);
    void openDirectoryRequested(const QString &dir); // "View Fax Database"
    void exportRequested();                          // show frmExport
    void websiteRequested();                         // show frmWebsite
    // A slot's page was completed by its server and goes to analysis (after redirects).
    void pageFinished(int slot, const QByteArray &address);
    // A link of an analysed page was new and went into the backlog (as stored).
    void siteQueued(const QString &site);
    // A number of an analysed page was new and its row is stored.
    void numberStored(const FaxRow &row);
    // A slot gave up on a site (watchdog or size bound); the host is now avoided.
    void downloadAbandoned(int slot, const QByteArray &host);

private:
    friend class FetchSlot;
    enum class ConnectResult
    {
        Started,
        Skipped,
        NotRunning
    };

    void setHarvesting(bool running);
    void refreshState();
    void applyNextButtonRule();
    void stopAllSlots();
    void requeueInterrupted();
    bool playSoundIf(bool condition, const QString &relativeName);
    bool refill();
    bool siteAcceptable(const QString &site) const;
    ConnectResult ConnectSlot(int slot);
    void slotLeftIdle();
    void queueRanDry();
    bool queueHoldsSites() const;
    void beginDownload(FetchSlot *slot);
    bool followRedirect(int slot, const QByteArray &page);
    void slotFinished(int slot);
    void slotAbandoned(int slot);
    void SavePage(QByteArray &body, int slot);
    void analyseSavedPage(int slot, const QByteArray &body, const QByteArray &flatBody);
    void queueLinks(const QStringList &links);
    void loadNumberPreview();
    void storeNumber(int slot, const FoundNumber &found);
    void stopForStore(const QString &why);
    void beginSearch(bool unloadFirst);
    void discoveryFoundNames(const QStringList &names);
    void discoveryFinished(const DiscoveryOutcome &outcome);
    void listBuilderUnloaded();
    void startDiscovery(bool unloadFirst);
    void setComboText(OptionId combo, const QString &text);
    void optionValueChanged(OptionId option);
    QString informationBox(const QString &text);

    QString m_dataDir;
    SettingsStore *m_settings;
    Counters *m_counters;
    SqliteStore *m_db;
    CrawlQueue *m_queue;
    TextList *m_list1;
    TextList *m_list2;
    TextList *m_list3;
    std::array<FetchSlot *, SlotCount> m_slots{};

    HarvestMessages *m_messages = nullptr;
    SoundPlayer *m_sound = nullptr;
    ListBuilder *m_listBuilder = nullptr;
    ResolveMap m_resolve;
    ResolveMap m_tlsResolve;

    bool m_bHarvesting = false;
    bool m_discovering = false;
    bool m_queueDry = false;      // last search's queue ran dry ("Continue Until Stopped")
    bool m_finishing = false;     // the queue is empty; decide when the running downloads end
    HarvestState m_lastState = HarvestState::Stopped;
    QString m_txtSearch;
    QString m_text1;
    QString m_strSearch;
    QString m_status[4];
    int m_pb1 = 0;
    std::array<bool, 10> m_enabled{};
    OptionValues *m_options;
    std::vector<QString> m_comboText; // by OptionId
    qint32 m_lAdvanceAfter = 10000;
    qint32 m_lSitesSinceAdvance = 0;
    qint32 m_lFaxCount = 0;
    qint16 m_timeout = 10;
    qint16 m_timeout2 = 30;
    QByteArray m_strURL;
    QByteArray m_strCurUrl;
    QByteArray m_strCurDir;
    QByteArray m_strTimedOutHosts;
};
