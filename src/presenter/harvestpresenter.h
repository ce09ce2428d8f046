#pragma once

#include "harvestsession.h"
#include "siteimport.h"
#include "store.h"

#include <QObject>
#include <QString>
#include <array>
#include <vector>

class HarvestMessages;
class SettingsStore;
class Store;
class TextList;

// What the main window shows of a harvest session, without widgets: which buttons are
// enabled, the four status panel texts, the progress bar, the text of each choice, the text
// typed as a new search string, the statistics, and the messages and questions of session
// control. The window binds its widgets to this object and forwards every click to the
// handler of the same meaning; tests drive it the same way.
//
// The session and the messages seam are not owned and must outlive the presenter.
class HarvestPresenter : public QObject
{
    Q_OBJECT
public:
    // Every button whose enabled state follows the harvest, by its control's object name.
    enum class Button
    {
        Start,            // Command1
        Stop,             // cmdStop
        Resume,           // cmdResume
        NextSearch,       // cmdNextSearch
        ViewDatabase,     // cmdViewDatabase
        ExportNumbers,    // Command2
        DeleteAllNumbers, // Command3
        AddSearch,        // cmdAdd
        DeleteSearch,     // cmbDel
        Website,          // cmdWebsite
    };
    Q_ENUM(Button)
    static constexpr int ButtonCount = 10;

    // The controls a refused start moves the focus to.
    enum class Focus
    {
        NewSearch,    // Text1
        SearchEngine, // the search engine's choice
        ResultCount,  // the number of results' choice
    };
    Q_ENUM(Focus)

    // The five numbers of the statistics frame.
    struct Statistics
    {
        qint32 sitesScanned = 0;
        qint32 sitesFound = 0;
        qint32 numbersFound = 0;
        qint32 sitesScannedEver = 0;
        qint32 numbersFoundEver = 0;
        // A store shared with a team: what the team has done, as the server last said.
        std::optional<Store::TeamTotals> team;
    };

    explicit HarvestPresenter(HarvestSession *session, QObject *parent = nullptr);

    // Without messages, information shows nothing and every question is answered Cancel.
    void setMessages(HarvestMessages *messages);

    // ---- what the window shows ----------------------------------------------------------
    // The enabled rules of the original window.
    bool isEnabled(Button button) const;
    // What the window shows enabled: isEnabled(), and with "Numbers window and export during
    // a harvest" on, also "View Fax Database" (when it opens the numbers window) and "Export
    // Numbers to List" while a harvest runs; such an export deletes nothing.
    bool isClickable(Button button) const;
    // The words of an activity of the session, as the status panel shows them.
    static QString activityText(const HarvestActivity &activity);
    QString statusText(int panel) const; // panels 1..4; empty for any other
    int progress() const;                // 0..100
    // A choice's text: its item, its caption until a pick, or what was typed into it.
    QString choiceText(OptionId choice) const;
    QString newSearchText() const { return m_newSearchText; }
    Statistics statistics() const;
    // The message of a refused start.
    static QString startProblemText(HarvestSession::StartProblem problem);
    // What an import of sites did: how many were queued, how many were known already, and
    // the lines that were not a site (at most listLimit of them by number and text; -1: all).
    static QString importText(const SiteImport::Result &read,
                              const HarvestSession::ImportCount &count, int listLimit);

    TextList *searches() const;      // List1
    TextList *siteQueue() const;     // List2
    TextList *numberPreview() const; // List3
    OptionValues *options() const;
    SettingsStore *settings() const;
    QString dataDir() const;
    Store *store() const;
    ListBuilder *listBuilder() const;
    HarvestSession *session() const { return m_session; }

    // ---- start-up and shutdown ----------------------------------------------------------
    void load();     // Form_Load of the harvest
    void shutDown(); // Form_Unload of the harvest

    // ---- what the window forwards -------------------------------------------------------
    void startClicked();                    // Command1_Click
    void stopClicked();                     // cmdStop_Click
    void resumeClicked();                   // cmdResume_Click
    void nextSearchClicked();               // cmdNextSearch_Click
    void addSearchClicked();                // cmdAdd_Click
    void newSearchKeyPressed(int keyAscii); // Text1_KeyPress: 13 (Enter) adds
    void deleteSearchClicked();             // cmbDel_Click: the selected search string
    void deleteAllNumbersClicked();         // Command3_Click (asks first)
    void viewDatabaseClicked();             // cmdViewDatabase_Click
    void exportClicked();                   // Command2_Click
    void websiteClicked();                  // cmdWebsite_Click
    // File > Import Sites…, with the file picked: its sites join the queue, and a message
    // says what came of it.
    void importSitesFromFile(const QString &path);
    // File > Places…: the search string once for every place ("plumber Springfield"), each
    // a search string of its own; gives how many were added.
    int addSearchesForPlaces(const QString &search, const QStringList &places);
    // What each finished search yielded, oldest first (at most the last 50).
    QStringList yieldLog() const { return m_yieldLog; }
    // A click on a check box, a pick from a choice, a number set: taken and written through.
    void optionClicked(OptionId option, int value);
    // Text typed into a choice's edit field: the text shows and nothing is picked.
    void choiceTextEdited(OptionId choice, const QString &text);
    void setNewSearchText(const QString &text);
    // The export window's deletion after an export (no question of its own here).
    void deleteAllNumbers();
    // Numbers were deleted in the numbers window: the preview shows what is left.
    void numbersDeleted();

Q_SIGNALS:
    // isEnabled() or isClickable() changed.
    void buttonEnabledChanged(HarvestPresenter::Button button, bool enabled);
    void statusTextChanged(int panel, const QString &text);
    void progressChanged(int value);
    void choiceTextChanged(OptionId choice, const QString &text);
    void optionValueChanged(OptionId option);
    void newSearchTextChanged(const QString &text);
    void statisticsChanged();
    // A refused start moves the focus.
    void focusRequested(HarvestPresenter::Focus focus);
    // "View Fax Database": the numbers window, or with chkNumbersWindow off the data folder.
    void numbersWindowRequested();
    void openDirectoryRequested(const QString &dir);
    void exportRequested();  // the export window
    void websiteRequested(); // the browser window
    // The store cannot be used (once until a write works again).
    void storeProblem(const QString &message);
    // A search string's harvest is over: what it yielded, in words.
    void yieldReported(const QString &text);

private:
    void refreshButtons();
    void setEnabled(Button button, bool enabled, bool clickable);
    void setChoiceText(OptionId choice, const QString &text);
    void optionChanged(OptionId option);
    void information(const QString &text);
    void startRefused(HarvestSession::StartProblem problem);

    HarvestSession *m_session;
    std::optional<Store::TeamTotals> m_team;
    HarvestMessages *m_messages = nullptr;
    std::array<bool, ButtonCount> m_enabled{};
    std::array<bool, ButtonCount> m_clickable{};
    std::vector<QString> m_choiceText; // by row of the option table
    QString m_newSearchText;
    bool m_typing = false; // a choice's edit field is being typed into
    QStringList m_yieldLog;
};
