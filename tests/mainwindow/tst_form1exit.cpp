// Closing the main window while the browser window is open: the program runs on until the
// browser window closes. Kept apart because the browser window starts Qt WebEngine.

#include "form1testkit.h"

#include "frmwebsite.h"
#include "shellglobals.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

class TestForm1Exit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void closingWithTheBrowserOpen_waitsForTheBrowser()
    {
        int mainQuits = 0;
        int browserQuits = 0;
        Form1::quitApplication = [&] { ++mainQuits; };
        frmWebsite::quitApplication = [&] { ++browserQuits; };

        Form1Harness h;
        QVERIFY(h.open());
        QTest::mouseClick(h.form->websiteButton, Qt::LeftButton);
        QVERIFY(frmWebsite::isShown());
        QVERIFY(!bQuitPending);

        h.form->close();
        QVERIFY(h.form->isUnloaded());
        QVERIFY(bQuitPending);
        QCOMPARE(mainQuits, 0);
        QCOMPARE(browserQuits, 0);

        frmWebsite::instance()->close();
        QCOMPARE(browserQuits, 1);
        QCOMPARE(mainQuits, 0);
        bQuitPending = false;
        frmWebsite::unload();
    }
};

int main(int argc, char **argv)
{
    prepareWebEngine();
    QApplication app(argc, argv);
    TestForm1Exit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1exit.moc"
