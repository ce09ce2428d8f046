// The reuse of a kept-alive connection, over a real loopback connection: a server sends one
// response, the client reads it as a fetch slot does and keeps the connection when it may,
// then the server sends whatever follows (or closes) while the connection waits in the pool.
// The connection is handed out again only when the response ended exactly where the server's
// bytes ended and nothing came after it: what a server sends unasked never becomes the next
// page. data[0] picks where the input splits into the response and what follows; bit 0 of
// data[1] makes the server close at the end.
#include "connectionpool.h"
#include "httpframing.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstddef>
#include <cstdint>

#include <poll.h>
#include <sys/socket.h>

namespace {

QTcpServer *g_listener = nullptr;
// Each part stays within what the system buffers, so that the server never waits for the
// client to read.
constexpr qsizetype kMaxPart = 16 * 1024;

bool sendAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::send(fd, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes = bytes.sliced(n);
    }
    return true;
}

bool readable(QTcpSocket *socket)
{
    pollfd p{int(socket->socketDescriptor()), POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    g_listener = new QTcpServer;
    if (!g_listener->listen(QHostAddress::LocalHost))
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const qsizetype rest = qsizetype(size - 2);
    const qsizetype split = rest * data[0] / 255;
    const char *bytes = reinterpret_cast<const char *>(data + 2);
    const QByteArrayView response(bytes, qMin(split, kMaxPart));
    const QByteArrayView after(bytes + split, qMin(rest - split, kMaxPart));
    const bool closes = data[1] & 1;

    auto *client = new QTcpSocket;
    client->connectToHost(QHostAddress::LocalHost, g_listener->serverPort());
    if (!client->waitForConnected(5000) || !g_listener->waitForNewConnection(5000))
        __builtin_trap();
    QTcpSocket *peer = g_listener->nextPendingConnection();
    const int server = int(peer->socketDescriptor());
    if (!sendAll(server, response))
        __builtin_trap();

    // Read as a fetch slot reads: until the response is complete or the server's bytes end.
    HttpFraming::Scanner scanner;
    QByteArray received;
    while (!scanner.frame().complete && received.size() < response.size()) {
        if (!client->waitForReadyRead(5000))
            __builtin_trap();
        received += client->readAll();
        scanner.scan(received);
    }
    const HttpFraming::Frame frame = scanner.frame();
    const bool reuse = frame.complete && ConnectionPool::mayReuse(frame, received.size(), client);
    // Bytes of the server beyond the response, read or not, forbid the reuse.
    if (reuse && frame.end != response.size())
        __builtin_trap();

    if (reuse) {
        ConnectionPool pool(2);
        const QByteArray key = ConnectionPool::key(false, "fuzz.example", 80);
        pool.give(key, client);
        if (!sendAll(server, after))
            __builtin_trap();
        if (closes)
            ::shutdown(server, SHUT_WR);
        const bool quiet = after.isEmpty() && !closes;
        if (!quiet && !readable(client))
            __builtin_trap();
        QTcpSocket *taken = pool.take(key);
        if ((taken != nullptr) != quiet)
            __builtin_trap();
        if (taken) {
            taken->setParent(nullptr);
            delete taken;
        }
    } else {
        delete client;
    }
    delete peer;
    // The pool closes what it gives up later; nothing is left for the next input.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
