// The lists of the harvest (search strings, the head of the queue, the number preview) as
// item models: every change keeps to the model rules the views rely on.

#include "textlist.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestTextList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void changes_keepTheModelRules()
    {
        TextList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy selected(&list, &TextList::selectedRowChanged);
        list.addItem(QStringLiteral("a"));
        list.addItem(QStringLiteral("b"));
        list.addItem(QStringLiteral("c"));
        list.setSelectedRow(1);
        QVERIFY(list.removeItem(0)); // the selection follows its entry
        QCOMPARE(list.selectedRow(), 0);
        QCOMPARE(list.data(list.index(0, 0)).toString(), QStringLiteral("b"));
        QVERIFY(list.removeItem(0)); // the selected entry goes: nothing is selected
        QCOMPARE(list.selectedRow(), -1);
        QVERIFY(!list.removeItem(5));
        QVERIFY(!list.data(list.index(9, 0)).isValid());
        list.setItems({QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(list.selectedRow(), -1);
        list.setSelectedRow(7); // out of range: nothing selected
        QCOMPARE(list.selectedRow(), -1);
        list.clear();
        list.clear();
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(selected.size(), 3); // 1, then 0, then -1
    }
};

QTEST_GUILESS_MAIN(TestTextList)
#include "tst_textlist.moc"
