// Which addresses are the user's own network, and when the crawl may still go there.

#include "networkscope.h"

#include <QTest>

using NetworkScope::Kind;
Q_DECLARE_METATYPE(NetworkScope::Kind)

class TestNetworkScope : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void classify_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Kind>("kind");
        const auto row = [](const char *address, Kind kind) {
            QTest::newRow(address) << QString::fromLatin1(address) << kind;
        };
        row("127.0.0.1", Kind::Loopback);
        row("127.255.255.254", Kind::Loopback);
        row("::1", Kind::Loopback);
        row("10.0.0.5", Kind::Private);
        row("172.16.0.1", Kind::Private);
        row("172.31.255.255", Kind::Private);
        row("172.32.0.1", Kind::Public); // just past 172.16/12
        row("172.15.255.255", Kind::Public);
        row("192.168.1.1", Kind::Private);
        row("192.169.0.1", Kind::Public);
        row("100.64.0.1", Kind::Private); // shared by a provider's customers
        row("100.128.0.1", Kind::Public);
        row("169.254.169.254", Kind::LinkLocal);
        row("fe80::1", Kind::LinkLocal);
        row("febf::1", Kind::LinkLocal);
        row("fc00::1", Kind::UniqueLocal);
        row("fd12:3456::1", Kind::UniqueLocal);
        row("fec0::1", Kind::UniqueLocal);
        row("0.0.0.0", Kind::Unspecified);
        row("0.1.2.3", Kind::Unspecified);
        row("::", Kind::Unspecified);
        row("224.0.0.1", Kind::Reserved);
        row("255.255.255.255", Kind::Reserved);
        row("ff02::1", Kind::Reserved);
        // IPv4 carried in IPv6 is judged as IPv4.
        row("::ffff:127.0.0.1", Kind::Loopback);
        row("::ffff:192.168.0.10", Kind::Private);
        row("::ffff:8.8.8.8", Kind::Public);
        row("::10.0.0.1", Kind::Private);
        row("64:ff9b::c0a8:101", Kind::Private);
        row("64:ff9b::808:808", Kind::Public);
        row("8.8.8.8", Kind::Public);
        row("93.184.216.34", Kind::Public);
        row("2001:4860:4860::8888", Kind::Public);
        row("2606:4700::1111", Kind::Public);
    }
    void classify()
    {
        QFETCH(QString, address);
        QFETCH(Kind, kind);
        const QHostAddress a(address);
        QVERIFY2(!a.isNull(), qPrintable(address));
        QCOMPARE(NetworkScope::classify(a), kind);
        QCOMPARE(NetworkScope::isLocal(a), kind != Kind::Public);
    }

    void userChoices_data()
    {
        QTest::addColumn<bool>("allowLocal");
        QTest::addColumn<bool>("mapped");
        QTest::addColumn<bool>("toLoopback");   // connecting to 127.0.0.1
        QTest::addColumn<bool>("toPublic");     // connecting to 93.184.216.34
        QTest::addColumn<bool>("redirect8080"); // a redirect to port 8080
        QTest::addColumn<bool>("redirect443");
        QTest::newRow("default") << false << false << false << true << false << true;
        QTest::newRow("local network allowed") << true << false << true << true << true << true;
        QTest::newRow("host mapped by the user") << false << true << true << true << true << true;
    }
    void userChoices()
    {
        QFETCH(bool, allowLocal);
        QFETCH(bool, mapped);
        QFETCH(bool, toLoopback);
        QFETCH(bool, toPublic);
        QFETCH(bool, redirect8080);
        QFETCH(bool, redirect443);
        using namespace NetworkScope;
        QCOMPARE(mayConnect(QHostAddress(QStringLiteral("127.0.0.1")), allowLocal, mapped),
                 toLoopback);
        QCOMPARE(mayConnect(QHostAddress(QStringLiteral("93.184.216.34")), allowLocal, mapped),
                 toPublic);
        QCOMPARE(mayRedirectToPort(8080, allowLocal, mapped), redirect8080);
        QCOMPARE(mayRedirectToPort(443, allowLocal, mapped), redirect443);
        QVERIFY(mayRedirectToPort(80, allowLocal, mapped));
    }
};

QTEST_GUILESS_MAIN(TestNetworkScope)
#include "tst_networkscope.moc"
