// The pool of kept-alive connections hands a connection out again only while its server has
// nothing more to say: bytes it sent unasked (an extra response) or its close, even when
// they still wait in the system's buffer because the event loop has not run since.

#include "connectionpool.h"
#include "testenv.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

#include <poll.h>

namespace {

// Waits, without running the event loop, until the system holds something for the socket.
bool systemHoldsData(QTcpSocket *socket)
{
    pollfd p{int(socket->socketDescriptor()), POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1;
}

} // namespace

class TestConnectionPool : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TestEnv::enterTestMode(); }

    void reuse_data()
    {
        QTest::addColumn<QString>("server"); // what the server does while the connection waits
        QTest::addColumn<bool>("handedOut");
        QTest::newRow("quiet") << "nothing" << true;
        QTest::newRow("an extra response") << "extra" << false;
        QTest::newRow("one byte") << "byte" << false;
        QTest::newRow("closed") << "close" << false;
    }
    void reuse()
    {
        QFETCH(QString, server);
        QFETCH(bool, handedOut);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        auto *client = new QTcpSocket;
        client->connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(client->waitForConnected(5000));
        QVERIFY(listener.waitForNewConnection(5000));
        std::unique_ptr<QTcpSocket> peer(listener.nextPendingConnection());
        QVERIFY(peer);

        ConnectionPool pool(4);
        const QByteArray key = ConnectionPool::key(false, "k.example", 80);
        pool.give(key, client);
        QCOMPARE(pool.idleCount(), 1);
        if (server == QLatin1String("extra"))
            peer->write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstale");
        else if (server == QLatin1String("byte"))
            peer->write("\n");
        if (server == QLatin1String("close"))
            peer->disconnectFromHost();
        if (server != QLatin1String("nothing")) {
            QVERIFY(peer->state() == QAbstractSocket::UnconnectedState ||
                    peer->waitForBytesWritten(5000));
            // The event loop has not run: the pool's own watch has seen nothing yet.
            QVERIFY(systemHoldsData(client));
            QCOMPARE(client->bytesAvailable(), 0);
        }
        QTcpSocket *taken = pool.take(key);
        QCOMPARE(taken != nullptr, handedOut);
        QCOMPARE(pool.idleCount(), 0);
        if (taken) {
            // The caller's now; the pool forgets it.
            taken->setParent(nullptr);
            delete taken;
        }
    }

    // A response that ends where the server's bytes end may carry the next request; one
    // followed by anything may not.
    void mayReuse_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QByteArray>("after"); // sent once the response has been read
        QTest::addColumn<bool>("reusable");
        const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi";
        QTest::newRow("complete, nothing after") << ok << QByteArray() << true;
        QTest::newRow("complete, a second response after") << ok << ok << false;
        QTest::newRow("read together with more") << ok + "X" << QByteArray() << false;
        QTest::newRow("Connection: close")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi")
            << QByteArray() << false;
    }
    void mayReuse()
    {
        QFETCH(QByteArray, response);
        QFETCH(QByteArray, after);
        QFETCH(bool, reusable);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(client.waitForConnected(5000));
        QVERIFY(listener.waitForNewConnection(5000));
        std::unique_ptr<QTcpSocket> peer(listener.nextPendingConnection());
        peer->write(response);
        QVERIFY(peer->waitForBytesWritten(5000));
        QByteArray received;
        while (received.size() < response.size() && client.waitForReadyRead(5000))
            received += client.readAll();
        QCOMPARE(received, response);
        if (!after.isEmpty()) {
            peer->write(after);
            QVERIFY(peer->waitForBytesWritten(5000));
            QVERIFY(systemHoldsData(&client));
        }
        const HttpFraming::Frame frame = HttpFraming::frame(received);
        QVERIFY(frame.complete);
        QCOMPARE(ConnectionPool::mayReuse(frame, received.size(), &client), reusable);
    }
};

QTEST_GUILESS_MAIN(TestConnectionPool)
#include "tst_connectionpool.moc"
