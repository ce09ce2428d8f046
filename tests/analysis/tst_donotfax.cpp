// The do-not-fax list's reading: which forms of a number match, and lists in text and CSV
// files with good and bad lines.

#include "donotfax.h"

#include <QtTest>

class TestDoNotFax : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matchKey_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("region");
        QTest::addColumn<QString>("key"); // empty: no telephone number
        // One North American number in every form a list may hold.
        const QString ny = QStringLiteral("+12125550187");
        QTest::newRow("stored form") << "1-212-555-0187" << QByteArray() << ny;
        QTest::newRow("parentheses") << "(212) 555-0187" << QByteArray() << ny;
        QTest::newRow("ten digits") << "2125550187" << QByteArray() << ny;
        QTest::newRow("dots") << "212.555.0187" << QByteArray() << ny;
        QTest::newRow("E.164") << "+12125550187" << QByteArray() << ny;
        QTest::newRow("international, spaced") << " +1 212 555 0187 " << QByteArray() << ny;
        QTest::newRow("exit code 011") << "011 1 212 555 0187" << QByteArray() << ny;
        // Numbers of a plan's example range match by their ten digits too.
        QTest::newRow("unassigned range")
            << "1-312-555-0101" << QByteArray() << QStringLiteral("+13125550101");
        QTest::newRow("other country")
            << "+44 20 7946 0958" << QByteArray() << QStringLiteral("+442079460958");
        QTest::newRow("stored international form")
            << "+44-20-7946-0958" << QByteArray() << QStringLiteral("+442079460958");
        QTest::newRow("exit code 00")
            << "0049 30 1234567" << QByteArray() << QStringLiteral("+49301234567");
        QTest::newRow("national form with a region")
            << "030 1234567" << QByteArray("DE") << QStringLiteral("+49301234567");
        QTest::newRow("national form without one") << "030 1234567" << QByteArray() << QString();
        QTest::newRow("too short") << "555-0187" << QByteArray() << QString();
        QTest::newRow("a word") << "fax" << QByteArray() << QString();
        QTest::newRow("text around it") << "Fax: 212-555-0187" << QByteArray() << QString();
        QTest::newRow("empty") << "" << QByteArray() << QString();
        QTest::newRow("area code 0xx is no NANP number")
            << "012-555-0187" << QByteArray() << QString();
    }

    void matchKey()
    {
        QFETCH(QString, written);
        QFETCH(QByteArray, region);
        QFETCH(QString, key);
        QCOMPARE(DoNotFax::matchKey(written, region), key);
    }

    // The stored forms give the key a list entry of the same number gives.
    void storedKey_matchesTheListsKey()
    {
        QCOMPARE(DoNotFax::storedKey(QStringLiteral("1-212-555-0187"), QString()),
                 DoNotFax::matchKey(QStringLiteral("(212) 555-0187")));
        QCOMPARE(DoNotFax::storedKey(QStringLiteral("+44-20-7946-0958"), QString()),
                 DoNotFax::matchKey(QStringLiteral("+44 20 7946 0958")));
        QCOMPARE(DoNotFax::storedKey(QStringLiteral("anything"), QStringLiteral("+4930123")),
                 QStringLiteral("+4930123"));
    }

    void readList_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("numbers"); // "line:key"
        QTest::addColumn<QStringList>("bad");     // "line:text"

        QTest::newRow("one a line, with bad lines, blanks and comments")
            << QByteArray("# opted out in March\n(212) 555-0187\r\n\nnot a number\n"
                          "+44 20 7946 0958\n555\n")
            << QString() << QStringList{"2:+12125550187", "5:+442079460958"}
            << QStringList{"4:not a number", "6:555"};
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "212-555-0187\n")
            << QString() << QStringList{"1:+12125550187"} << QStringList{};
        QTest::newRow("our own semicolon export")
            << QByteArray("1-212-555-0187;1-312-555-0101;\r\n") << QString()
            << QStringList{"1:+12125550187", "1:+13125550101"} << QStringList{};
        QTest::newRow("CSV, fax column")
            << QByteArray("Name,Phone,Fax\nAcme,212-555-0100,212-555-0187\n"
                          "Bolt,312-555-0100,\nCrane,,call us\n")
            << QStringLiteral("Fax") << QStringList{"2:+12125550187"} << QStringList{"4:call us"};
        QTest::newRow("CSV, fax wins over number")
            << QByteArray("company;phone number;fax number\nAcme;212-555-0100;312-555-0101\n")
            << QStringLiteral("fax number") << QStringList{"2:+13125550101"} << QStringList{};
        QTest::newRow("CSV, number column, tabs")
            << QByteArray("id\tnumber\n1\t+49 30 1234567\n2\t12\n") << QStringLiteral("number")
            << QStringList{"2:+49301234567"} << QStringList{"3:12"};
        QTest::newRow("CSV, phone column, quoted cells")
            << QByteArray("\"Name, full\",\"Phone\"\n\"Smith, J\",\"(212) 555-0187\"\n")
            << QStringLiteral("Phone") << QStringList{"2:+12125550187"} << QStringList{};
        // A quoted cell over two lines: the next record's line is still right.
        QTest::newRow("CSV, a cell over two lines")
            << QByteArray("note,fax\n\"two\nlines\",212-555-0187\nx,bad\n") << QStringLiteral("fax")
            << QStringList{"2:+12125550187"} << QStringList{"4:bad"};
        QTest::newRow("our own CSV, apostrophe before +")
            << QByteArray("fax,Date\r\n'+44-20-7946-0958,2026-01-01T12:00:00\r\n")
            << QStringLiteral("fax") << QStringList{"2:+442079460958"} << QStringList{};
        QTest::newRow("commas but no number column: one a line")
            << QByteArray("Acme, 212-555-0187\n") << QString() << QStringList{}
            << QStringList{"1:Acme, 212-555-0187"};
    }

    void readList()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, column);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, bad);
        const DoNotFax::ImportedList list = DoNotFax::readList(file);
        QStringList gotNumbers, gotBad;
        for (const auto &n : list.numbers)
            gotNumbers << QStringLiteral("%1:%2").arg(n.line).arg(n.key);
        for (const auto &b : list.notNumbers)
            gotBad << QStringLiteral("%1:%2").arg(b.line).arg(b.text);
        QCOMPARE(list.column, column);
        QCOMPARE(gotNumbers, numbers);
        QCOMPARE(gotBad, bad);
    }
};

QTEST_GUILESS_MAIN(TestDoNotFax)
#include "tst_donotfax.moc"
