#include "windowowner.h"

#include "aboutwindow.h"
#include "browserwindow.h"
#include "exportdialog.h"
#include "helpwindow.h"
#include "numberswindow.h"
#include "skin.h"
#include "splashwindow.h"
#include "windowedlistbuilder.h"

#include <QCoreApplication>

namespace {

// An open window comes to the front; a hidden one is shown.
void bringToFront(QWidget *w)
{
    if (w->isVisible()) {
        w->raise();
        w->activateWindow();
    } else {
        w->show();
    }
}

} // namespace

WindowOwner::WindowOwner(const QString &dataDir, QObject *parent)
    : QObject(parent), m_dataDir(dataDir)
{
    quitApplication = [] { QCoreApplication::quit(); };
    // A window that needs the skin before the splash has loaded loads the splash, hidden and
    // with its timer stopped, so that this splash never opens the main window.
    setSkinFallback([this] {
        if (m_splash)
            return;
        SplashWindow *s = loadSplash();
        s->stopTimer();
        s->hide();
    });
}

WindowOwner::~WindowOwner()
{
    setSkinFallback({});
    delete m_listBuilder; // ends a run in progress and closes its window
    m_listBuilder = nullptr;
    for (QWidget *w : std::initializer_list<QWidget *>{m_help, m_about, m_export, m_numbers,
                                                       m_browser, m_splash})
        delete w;
}

SplashWindow *WindowOwner::loadSplash(std::function<void()> openMainWindow)
{
    if (m_splash)
        return m_splash;
    m_exitPending = false;
    auto *s = new SplashWindow(m_dataDir, std::move(openMainWindow));
    m_splash = s; // before it loads: skinning the splash must find it loaded
    s->load();
    return s;
}

SplashWindow *WindowOwner::startSplash(std::function<void()> openMainWindow)
{
    SplashWindow *s = loadSplash(std::move(openMainWindow));
    s->centreOnScreen();
    s->show();
    return s;
}

HelpWindow *WindowOwner::openHelp(SettingsStore *settings, const QString &documentPath)
{
    if (!m_help) {
        auto *w = new HelpWindow(settings, m_dataDir, documentPath);
        if (!w->load()) {
            delete w;
            return nullptr;
        }
        m_help = w;
    }
    bringToFront(m_help);
    return m_help;
}

AboutWindow *WindowOwner::openAbout()
{
    if (!m_about) {
        m_about = new AboutWindow();
        m_about->load();
    }
    bringToFront(m_about);
    return m_about;
}

ExportDialog *WindowOwner::openExport(Store *store, std::function<void()> deleteAllNumbers,
                                      std::function<bool()> mayDelete)
{
    if (!m_export) {
        m_export = new ExportDialog(store, store, m_dataDir, std::move(deleteAllNumbers),
                                    std::move(mayDelete));
        m_export->load();
    }
    bringToFront(m_export);
    return m_export;
}

NumbersWindow *WindowOwner::openNumbers(Store *store, SettingsStore *settings)
{
    if (!m_numbers) {
        m_numbers = new NumbersWindow(store, store, store, m_dataDir, settings);
        connect(m_numbers, &NumbersWindow::pageRequested, this,
                [this](const QUrl &page) { openBrowser(page); });
    } else if (m_numbers->isVisible()) {
        m_numbers->refresh();
    }
    bringToFront(m_numbers);
    return m_numbers;
}

BrowserWindow *WindowOwner::openBrowser(const QUrl &page)
{
    if (m_browser) {
        m_browser->raise();
        m_browser->activateWindow();
        if (!page.isEmpty())
            m_browser->go(page);
        return m_browser;
    }
    m_browser = new BrowserWindow();
    connect(m_browser, &BrowserWindow::closed, this, &WindowOwner::browserClosed);
    m_browser->load(page);
    return m_browser;
}

WindowedListBuilder *WindowOwner::listBuilder(const DiscoveryConfig &config)
{
    if (!m_listBuilder)
        m_listBuilder = new WindowedListBuilder(config);
    return m_listBuilder;
}

SplashWindow *WindowOwner::splash() const
{
    return m_splash;
}

HelpWindow *WindowOwner::help() const
{
    return m_help;
}

AboutWindow *WindowOwner::about() const
{
    return m_about;
}

ExportDialog *WindowOwner::exportDialog() const
{
    return m_export;
}

NumbersWindow *WindowOwner::numbers() const
{
    return m_numbers;
}

BrowserWindow *WindowOwner::browser() const
{
    return m_browser;
}

bool WindowOwner::isBrowserShown() const
{
    return m_browser && m_browser->isVisible();
}

void WindowOwner::closeHelp()
{
    delete m_help.data();
}

void WindowOwner::closeAbout()
{
    delete m_about.data();
}

void WindowOwner::closeExport()
{
    delete m_export.data();
}

void WindowOwner::closeNumbers()
{
    delete m_numbers.data();
}

void WindowOwner::closeBrowser()
{
    delete m_browser.data();
}

void WindowOwner::closeSplash()
{
    delete m_splash.data();
}

void WindowOwner::mainWindowClosed()
{
    if (m_listBuilder)
        m_listBuilder->unloadWindow();
    closeHelp();
    closeExport();
    closeNumbers();
    closeSplash();
    if (isBrowserShown()) {
        // The browser window ends the program when it closes.
        m_exitPending = true;
        return;
    }
    if (quitApplication)
        quitApplication();
}

void WindowOwner::browserClosed()
{
    if (m_exitPending && quitApplication)
        quitApplication();
}
