// Closing the main window while the browser window is open: the program runs on until the
// browser window closes. Kept apart because the browser window starts Qt WebEngine.

#include "mainwindowtestkit.h"

#include "browserwindow.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QPushButton>
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
};

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestMainWindowExit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowexit.moc"
