// The browser window: LayoutBrowser for any size, the window's controls and texts, the
// topmost-then-released rule, navigation from the address box, and the exit-pending rule.
// Pages are local data: addresses, so nothing leaves the machine.
//
// Set VARNEL_GRAB_DIR to a folder to get a picture of the window.

#include "browserlayout.h"
#include "browserwindow.h"
#include "productinfo.h"
#include "skin.h"
#include "testenv.h"
#include "twips.h"
#include "webenginesetup.h"
#include "windowcontrols.h"
#include "windowowner.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {
QUrl page(const QString &title, const QString &body = QStringLiteral("hello"))
{
    return QUrl(
        QStringLiteral("data:text/html,<html><head><title>%1</title></head><body>%2</body></html>")
            .arg(title, body));
}
} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutBrowser_data();
    void layoutBrowser();
    void window_controlsCaptionAndMaximised();
    void window_layoutFollowsTheSize_data();
    void window_layoutFollowsTheSize();
    void window_pageEventsAndEnterNavigates();
    void window_openedTwiceIsOneWindow();
    void window_saysWhenAPageCannotBeOpened();
    void exitPending_data();
    void exitPending();

private:
    std::unique_ptr<TempDataDir> m_dir;
    WindowOwner *m_windows = nullptr;
    int m_quits = 0;
};

void TestBrowser::initTestCase()
{
    TestEnv::enterTestMode();
    m_dir = std::make_unique<TempDataDir>();
    LoadProductInfo();
}

void TestBrowser::init()
{
    m_quits = 0;
    m_windows = new WindowOwner(m_dir->path());
    m_windows->quitApplication = [this] { ++m_quits; };
}

void TestBrowser::cleanup()
{
    delete m_windows;
    m_windows = nullptr;
}

void TestBrowser::layoutBrowser_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("statusBar");
    QTest::addColumn<QList<int>>(
        "expected"); // panel1, panel2, frame h, frame w, Text1 w, Command3 left, web w, web h

    // 15000 x 9000 twips with a 345-twip status bar and the design of BrowserDesign:
    // frame 14700 x 8655; Text1 14700-2550-300-420 = 11430; Command3 at 11430+2550+100 = 14080;
    // browser 14700-120-100 = 14480 wide and 8655-840-800-345 = 6670 high.
    QTest::newRow("large") << 15000 << 9000 << 345
                           << QList<int>{7500, 7500, 8655, 14700, 11430, 14080, 14480, 6670};
    // 4500 x 3000: frame 4200 x 2655; Text1 |4200-3270| = 930; Command3 3580; browser 3980 x
    // |2655-1640-345| = 670.
    QTest::newRow("small") << 4500 << 3000 << 345
                           << QList<int>{2250, 2250, 2655, 4200, 930, 3580, 3980, 670};
    // Too small for its design: every size is the absolute value of its formula, never negative.
    // frame |100-300| = 200 x |150-345| = 195; Text1 |200-3270| = 3070; Command3 5720;
    // browser |200-220| = 20 wide, |195-1640-345| = 1790 high.
    QTest::newRow("tiny") << 100 << 150 << 345
                          << QList<int>{50, 50, 195, 200, 3070, 5720, 20, 1790};
    QTest::newRow("nothing") << 0 << 0 << 0 << QList<int>{0, 0, 0, 300, 2970, 5620, 80, 1640};
    QTest::newRow("odd width") << 10001 << 8000 << 300
                               << QList<int>{5000, 5000, 7700, 9701, 6431, 9081, 9481, 5760};
}

void TestBrowser::layoutBrowser()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, statusBar);
    QFETCH(QList<int>, expected);
    const BrowserLayout l = LayoutBrowser(width, height, statusBar);
    const QList<int> got{l.panel1Width, l.panel2Width,  l.frameHeight, l.frameWidth,
                         l.text1Width,  l.command3Left, l.webWidth,    l.webHeight};
    QCOMPARE(got, expected);
    for (int v : got)
        QVERIFY(v >= 0);
}

void TestBrowser::window_controlsCaptionAndMaximised()
{
    BrowserWindow *w = m_windows->openBrowser(page(QStringLiteral("First")));
    // The caption is the web site address until the first page has loaded.
    QCOMPARE(w->windowTitle(), strWebsite);
    QVERIFY(w->isVisible());
    QVERIFY(w->isMaximized());
    // Topmost while it comes to the front, then released.
    QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QTRY_VERIFY(!w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w->isVisible());

    QCOMPARE(control<QGroupBox>(w, QStringLiteral("frmBrowser"))->title(),
             QStringLiteral("Browser"));
    QCOMPARE(control<QLabel>(w, QStringLiteral("Label5"))->text(), QStringLiteral("URL:"));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command3"))->toolTip(),
             QStringLiteral("browse the entered url"));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command4"))->toolTip(),
             QStringLiteral("back"));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command5"))->toolTip(),
             QStringLiteral("forward"));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command6"))->toolTip(),
             QStringLiteral("stop"));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command7"))->toolTip(),
             QStringLiteral("refresh"));
    for (QPushButton *b : {control<QPushButton>(w, QStringLiteral("Command3")),
                           control<QPushButton>(w, QStringLiteral("Command4")),
                           control<QPushButton>(w, QStringLiteral("Command5")),
                           control<QPushButton>(w, QStringLiteral("Command6")),
                           control<QPushButton>(w, QStringLiteral("Command7"))})
        QVERIFY(!b->icon().isNull() && b->text().isEmpty()); // picture buttons
    QCOMPARE(control<QStatusBar>(w, QStringLiteral("StatusBar1"))->findChildren<QLabel *>().size(),
             2); // two panels

    // The label overlay covers the labels of the frame.
    const QList<SkinLabel *> copies = w->findChildren<SkinLabel *>();
    QCOMPARE(copies.size(), 1);
    QCOMPARE(copies.first()->source(), control<QLabel>(w, QStringLiteral("Label5")));
    QCOMPARE(copies.first()->parentWidget(), control<QGroupBox>(w, QStringLiteral("frmBrowser")));
    QVERIFY(w->property("varnelSkin").isValid());

    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("First"), 60000);
    const QString dir = qEnvironmentVariable("VARNEL_GRAB_DIR");
    if (!dir.isEmpty()) {
        control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))
            ->setHtml(QStringLiteral("<h1>Quorvex Fax Varnel</h1><p>The product web site.</p>"));
        QTest::qWait(1500);
        w->grab().save(QDir(dir).filePath(QStringLiteral("browser.png")));
    }
}

void TestBrowser::window_layoutFollowsTheSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("default") << QSize(1000, 700);
    QTest::newRow("small") << QSize(320, 200);
    QTest::newRow("tiny") << QSize(40, 30);
}

void TestBrowser::window_layoutFollowsTheSize()
{
    QFETCH(QSize, size);
    BrowserWindow *w = m_windows->openBrowser(page(QStringLiteral("Layout")));
    w->showNormal();
    w->resize(size);
    QTRY_COMPARE(w->size(), size);
    const double tx = Twips::perPixelX(w), ty = Twips::perPixelY(w);
    const int sb = control<QStatusBar>(w, QStringLiteral("StatusBar1"))->sizeHint().height();
    const QRect outer = w->frameGeometry();
    const BrowserLayout l =
        LayoutBrowser(int(std::lround(outer.width() * tx)), int(std::lround(outer.height() * ty)),
                      int(std::lround(sb * ty)), w->design());
    auto px = [&](int twips) { return int(std::lround(twips / tx)); };
    auto py = [&](int twips) { return int(std::lround(twips / ty)); };
    QCOMPARE(control<QGroupBox>(w, QStringLiteral("frmBrowser"))->width(), px(l.frameWidth));
    QCOMPARE(control<QGroupBox>(w, QStringLiteral("frmBrowser"))->height(), py(l.frameHeight));
    QCOMPARE(control<QLineEdit>(w, QStringLiteral("Text1"))->width(), px(l.text1Width));
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command3"))->x(), px(l.command3Left));
    QCOMPARE(control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))->width(), px(l.webWidth));
    QCOMPARE(control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))->height(), py(l.webHeight));
    QCOMPARE(w->panelWidth(1), px(l.panel1Width));
    QCOMPARE(w->panelWidth(2), px(l.panel2Width));
    // The status bar runs along the bottom.
    QCOMPARE(control<QStatusBar>(w, QStringLiteral("StatusBar1"))->geometry().bottom(),
             w->height() - 1);
    QCOMPARE(control<QStatusBar>(w, QStringLiteral("StatusBar1"))->width(), w->width());
}

void TestBrowser::window_pageEventsAndEnterNavigates()
{
    BrowserWindow *w = m_windows->openBrowser(page(QStringLiteral("Start")));
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Start"), 60000);
    const QString first =
        control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))->url().toString();
    QCOMPARE(w->panelText(2), QStringLiteral("Completed ") + first);
    QCOMPARE(control<QLineEdit>(w, QStringLiteral("Text1"))->text(), first);

    // Enter in the address box goes where the go button goes, the address as typed.
    const QUrl second = page(QStringLiteral("Second"));
    control<QLineEdit>(w, QStringLiteral("Text1"))->setText(second.toString());
    QSignalSpy started(control<QWebEngineView>(w, QStringLiteral("WebBrowser1")),
                       &QWebEngineView::loadStarted);
    QTest::keyClick(control<QLineEdit>(w, QStringLiteral("Text1")), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Second"), 60000);
    QVERIFY(started.count() >= 1);
    QCOMPARE(w->panelText(2),
             QStringLiteral("Completed ") +
                 control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))->url().toString());

    // Back returns to the first page; a hovered link shows in panel 1.
    w->backClicked();
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Start"), 60000);
    w->showStatusText(QStringLiteral("http://example.org/x"));
    QCOMPARE(w->panelText(1), QStringLiteral("http://example.org/x"));
    w->downloadBegan();
    QVERIFY(w->panelText(2).startsWith(QLatin1String("Opening ")));
    // Buttons with nothing to do do nothing.
    w->forwardClicked();
    w->stopClicked();
    w->refreshClicked();
}

void TestBrowser::window_openedTwiceIsOneWindow()
{
    BrowserWindow *w = m_windows->openBrowser(page(QStringLiteral("One")));
    QCOMPARE(m_windows->openBrowser(page(QStringLiteral("Two"))), w);
    QVERIFY(m_windows->isBrowserShown());
    // A page asked for while the window is open is shown in it.
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Two"), 60000);
    QCOMPARE(control<QLineEdit>(w, QStringLiteral("Text1"))->text(),
             control<QWebEngineView>(w, QStringLiteral("WebBrowser1"))->url().toString());
    w->close();
    QTRY_VERIFY(!m_windows->browser());
    QVERIFY(!m_windows->isBrowserShown());
}

// An address that cannot be opened is not reported as completed.
void TestBrowser::window_saysWhenAPageCannotBeOpened()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1/contact.htm").arg(closed.serverPort()));
    closed.close(); // nobody listens there any more
    BrowserWindow *w = m_windows->openBrowser(nowhere);
    QTRY_VERIFY_WITH_TIMEOUT(w->panelText(2).startsWith(QStringLiteral("Could not open ")), 60000);
    QVERIFY(w->panelText(2).contains(QStringLiteral("/contact.htm")));
    m_windows->openBrowser(page(QStringLiteral("Back")));
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Back"), 60000);
    QVERIFY(w->panelText(2).startsWith(QStringLiteral("Completed ")));
}

void TestBrowser::exitPending_data()
{
    QTest::addColumn<bool>("pending");
    QTest::newRow("main window still open: only this window closes") << false;
    QTest::newRow("main window closed before: the program ends") << true;
}

void TestBrowser::exitPending()
{
    QFETCH(bool, pending);
    BrowserWindow *w = m_windows->openBrowser(page(QStringLiteral("Exit")));
    if (pending)
        m_windows->mainWindowClosed();
    QCOMPARE(m_windows->isExitPending(), pending);
    QCOMPARE(m_quits, 0);
    w->close();
    QTRY_VERIFY(!m_windows->browser());
    QCOMPARE(m_quits, pending ? 1 : 0);
}

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestBrowser t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_browser.moc"
