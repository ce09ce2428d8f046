#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class AboutWindow;
class BrowserWindow;
class ExportDialog;
class HelpWindow;
class NumbersWindow;
class SettingsStore;
class SplashWindow;
class Store;
class WindowedListBuilder;
struct DiscoveryConfig;

// Opens, finds and closes the windows of one run of the program. Each window is opened
// once: opening one that is open brings it to the front (the numbers window also reads the
// store again). The windows are the owner's and close with it; they know nothing of each
// other and talk through the owner by signals. The main window is given the owner; the
// application holds both, the owner the longer.
//
// The program's exit is the owner's business: when the main window has closed, the other
// windows close and the program ends, unless the browser window is open; then it ends when
// that window closes.
class WindowOwner : public QObject
{
    Q_OBJECT
public:
    // dataDir: the data folder of the run, where the skin, the help document and the export
    // files are looked for first.
    explicit WindowOwner(const QString &dataDir, QObject *parent = nullptr);
    ~WindowOwner() override;

    QString dataDir() const { return m_dataDir; }

    // The splash window: loads it (it holds the run's skin) unless it is loaded, and returns
    // it. openMainWindow runs once, on the splash timer's last tick; without it the splash
    // opens nothing. Loading it clears a pending exit.
    SplashWindow *loadSplash(std::function<void()> openMainWindow = {});
    // Start-up: loaded, centred on the screen and shown.
    SplashWindow *startSplash(std::function<void()> openMainWindow);

    // The help window "Readme/Help"; null, and nothing shown, when the help document is
    // missing. documentPath empty: "Help.rtf" of the data folder or the installed resources.
    // settings (not owned) must outlive the window.
    HelpWindow *openHelp(SettingsStore *settings, const QString &documentPath = QString());
    AboutWindow *openAbout();
    // The export dialog on a store (not owned). deleteAllNumbers empties it when asked after
    // an export (the store's own deletion when not given); mayDelete says whether that may be
    // offered now (always when not given).
    ExportDialog *openExport(Store *store, std::function<void()> deleteAllNumbers = {},
                             std::function<bool()> mayDelete = {});
    // The numbers window on a store (not owned); settings (may be null) keep its size and
    // columns.
    NumbersWindow *openNumbers(Store *store, SettingsStore *settings = nullptr);
    // The browser window, at the product's web site when it opens; a page given is shown in
    // it, also when it is open already.
    BrowserWindow *openBrowser(const QUrl &page = QUrl());
    // The list builder window as the harvest sees it, made on the first call.
    WindowedListBuilder *listBuilder(const DiscoveryConfig &config);

    // The open windows; null when closed.
    SplashWindow *splash() const;
    HelpWindow *help() const;
    AboutWindow *about() const;
    ExportDialog *exportDialog() const;
    NumbersWindow *numbers() const;
    BrowserWindow *browser() const;
    bool isBrowserShown() const;

    // Closes one window, if open.
    void closeHelp();
    void closeAbout();
    void closeExport();
    void closeNumbers();
    void closeBrowser();
    void closeSplash();

    // The main window has closed (after its harvest has shut down): the list builder, help,
    // export, numbers and splash windows close, and the program ends now, or when the
    // browser window closes if it is open.
    void mainWindowClosed();
    bool isExitPending() const { return m_exitPending; }

    // Ends the program. QCoreApplication::quit unless replaced (tests).
    std::function<void()> quitApplication;

private:
    void browserClosed();

    QString m_dataDir;
    QPointer<SplashWindow> m_splash;
    QPointer<HelpWindow> m_help;
    QPointer<AboutWindow> m_about;
    QPointer<ExportDialog> m_export;
    QPointer<NumbersWindow> m_numbers;
    QPointer<BrowserWindow> m_browser;
    WindowedListBuilder *m_listBuilder = nullptr;
    bool m_exitPending = false;
};
