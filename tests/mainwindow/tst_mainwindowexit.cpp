// The main window and the browser window: closing the main window while the browser window
// is open lets the program run on until the browser window closes, and the numbers window's
// pages show in the browser window. Kept apart because the browser window starts Qt
// WebEngine.

#include "mainwindowtestkit.h"

#include "browserwindow.h"
#include "numberswindow.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QPushButton>
#include <QWebEngineView>
#include <QtTest>

class TestMainWindowExit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void closingWithTheBrowserOpen_waitsForTheBrowser()
    {
        MainWindowHarness h;
        QVERIFY(h.open());
        QTest::mouseClick(h.c.websiteButton, Qt::LeftButton);
        QVERIFY(h.windows->isBrowserShown());
        QVERIFY(!h.windows->isExitPending());

        h.form->close();
        QVERIFY(h.form->isUnloaded());
        QVERIFY(h.windows->isExitPending());
        QCOMPARE(h.quits, 0);

        h.windows->browser()->close();
        QCOMPARE(h.quits, 1);
    }

    // A double click in the numbers window shows the number's page in the browser window,
    // opened for it, and then in the same window.
    void numbersWindowPage_showsInTheBrowser()
    {
        MainWindowHarness h;
        for (const char *page : {"127.0.0.1:9/contact.htm", "127.0.0.1:9/about.htm"}) {
            FaxRow row;
            row.fax = QStringLiteral("1-212-555-01%1")
                          .arg(h.session->store()->countFaxes().value_or(0) + 10);
            row.website = QLatin1String(page);
            QVERIFY(h.session->store()->addFax(row));
        }
        QVERIFY(h.open());
        QTest::mouseClick(h.c.viewDatabaseButton, Qt::LeftButton);
        NumbersWindow *numbers = h.windows->numbers();
        QVERIFY(numbers);
        numbers->openPageOf(0);
        BrowserWindow *browser = h.windows->browser();
        QVERIFY(browser && browser->isVisible());
        auto *view = control<QWebEngineView>(browser, QStringLiteral("WebBrowser1"));
        QCOMPARE(view->url(), QUrl(QStringLiteral("http://127.0.0.1:9/contact.htm")));
        numbers->openPageOf(1);
        QCOMPARE(h.windows->browser(), browser);
        QCOMPARE(view->url(), QUrl(QStringLiteral("http://127.0.0.1:9/about.htm")));
        QCOMPARE(control<QLineEdit>(browser, QStringLiteral("Text1"))->text(),
                 QStringLiteral("http://127.0.0.1:9/about.htm"));
    }
};

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestMainWindowExit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowexit.moc"
