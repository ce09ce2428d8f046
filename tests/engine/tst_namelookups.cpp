// Name lookups of a harvest against a name server that answers some names late or never:
// a lookup holds no more than its own site (the modern mode lets the other sites go ahead
// meanwhile), a name is asked once per run whatever the number of its pages, and a name
// that does not resolve in time is given up on, so that the harvest ends.
//
// The system's resolver is pointed at a name server of the test: the suite runs in a
// network namespace and mount namespace of its own (entered before anything else starts),
// where /etc/resolv.conf names 127.0.0.1 and the test answers on port 53. That needs root;
// without it the suite is skipped.

#include "enginetestkit.h"
#include "hostnames.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTemporaryFile>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString g_skip; // why the namespace could not be entered

// A file of the given content bound over path, seen by this process only.
QString bindFileOver(const char *path, const QByteArray &content)
{
    char tmpl[] = "/tmp/varnel-netns-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    if (fd < 0)
        return QStringLiteral("mkstemp: ") + QString::fromLocal8Bit(std::strerror(errno));
    const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    ::close(fd);
    if (!written)
        return QStringLiteral("cannot write ") + QString::fromLatin1(tmpl);
    const bool bound = ::mount(tmpl, path, nullptr, MS_BIND, nullptr) == 0;
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    ::unlink(tmpl); // the mount keeps it
    return bound ? QString()
                 : QStringLiteral("cannot bind over %1: %2").arg(QLatin1String(path), why);
}

// Loopback up, with one more IPv4 address than 127.0.0.1: the resolver asks for IPv4
// addresses only when the system has one that is not loopback's.
QString raiseLoopback()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return QStringLiteral("socket: ") + QString::fromLocal8Bit(std::strerror(errno));
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
    ok = ok && ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    ifreq alias{};
    std::strncpy(alias.ifr_name, "lo:1", IFNAMSIZ - 1);
    auto *in = reinterpret_cast<sockaddr_in *>(&alias.ifr_addr);
    in->sin_family = AF_INET;
    ::inet_pton(AF_INET, "10.200.0.1", &in->sin_addr);
    ok = ok && ::ioctl(s, SIOCSIFADDR, &alias) == 0;
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    ::close(s);
    return ok ? QString() : QStringLiteral("cannot set up loopback: ") + why;
}

// Before any thread exists: a namespace needs a process of one thread.
QString enterNetworkNamespace()
{
    if (::geteuid() != 0)
        return QStringLiteral("a network namespace of its own needs root");
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return QStringLiteral("unshare: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("mount: ") + QString::fromLocal8Bit(std::strerror(errno));
    QString why = raiseLoopback();
    if (why.isEmpty())
        why = bindFileOver("/etc/resolv.conf",
                           "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n");
    if (why.isEmpty())
        why = bindFileOver("/etc/nsswitch.conf", "hosts: files dns\n");
    return why;
}

// A name server on 127.0.0.1:53 that answers A questions for the names it is told about:
// at once, after a while, or never. Other names do not exist; other questions get an empty
// answer.
class NameServer : public QObject
{
public:
    struct Name
    {
        int delayMs = 0; // -1: never answered
    };
    QHash<QByteArray, Name> names;
    QHash<QByteArray, int> questions; // A questions per name
    int lateAnswers = 0;              // answers sent after a delay

    bool listen()
    {
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] { read(); });
        return m_socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 53);
    }

private:
    void read()
    {
        while (m_socket.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 port = 0;
            QByteArray q(int(m_socket.pendingDatagramSize()), '\0');
            m_socket.readDatagram(q.data(), q.size(), &from, &port);
            answer(q, from, port);
        }
    }
    void answer(const QByteArray &q, const QHostAddress &from, quint16 port)
    {
        if (q.size() < 12)
            return;
        QByteArray name;
        int at = 12;
        while (at < q.size() && q[at] != 0) {
            const int n = uchar(q[at]);
            if (!name.isEmpty())
                name += '.';
            name += q.mid(at + 1, n).toLower();
            at += n + 1;
        }
        if (at + 5 > q.size())
            return;
        const int type = (uchar(q[at + 1]) << 8) | uchar(q[at + 2]);
        const QByteArray question = q.mid(12, at + 5 - 12);
        const bool known = names.contains(name);
        const bool a = type == 1;
        if (a)
            ++questions[name];
        const int delay = known ? names.value(name).delayMs : 0;
        if (a && delay < 0)
            return;
        QByteArray r = q.left(2);
        r += char(0x81);
        r += char(known ? 0x80 : 0x83); // NOERROR, or NXDOMAIN
        r += QByteArray("\x00\x01", 2);
        r += known && a ? QByteArray("\x00\x01", 2) : QByteArray("\x00\x00", 2);
        r += QByteArray(4, '\0');
        r += question;
        if (known && a)
            r += QByteArray("\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\x7f\x00\x00\x01", 16);
        if (!a || delay == 0) {
            m_socket.writeDatagram(r, from, port);
            return;
        }
        QTimer::singleShot(delay, this, [this, r, from, port] {
            m_socket.writeDatagram(r, from, port);
            ++lateAnswers;
        });
    }

    QUdpSocket m_socket;
};

} // namespace

class TestNameLookups : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!g_skip.isEmpty())
            QSKIP(qPrintable(g_skip));
        TestEnv::enterTestMode();
    }

    // Names that the server answers three seconds late are ahead of sites whose addresses
    // the user gave: in the modern mode those are all fetched before the first late answer,
    // and the late names, once answered, lead nowhere (a loopback address) and end the run.
    void slowNamesHoldOnlyTheirOwnSites()
    {
        NameServer dns;
        QVERIFY(dns.listen());
        EngineRig rig;
        ResolveMap map;
        QStringList sites;
        for (int i = 0; i < 30; ++i) {
            const QString host = QStringLiteral("m%1.example").arg(i);
            map.add(host, QStringLiteral("127.0.0.1"), rig.web.port());
            rig.web.addPage(host.toLatin1(), "/", "<p>fine</p>");
            sites << host;
        }
        for (int i = 0; i < 20; ++i) {
            dns.names.insert("slow" + QByteArray::number(i) + ".test", {3000});
            sites << QStringLiteral("slow%1.test").arg(i);
        }
        rig.session.setResolveMap(map);
        rig.readyToStart();
        rig.queue(sites); // the newest (the slow names) fill the head first
        rig.session.startCrawl();
        QTRY_COMPARE_WITH_TIMEOUT(rig.web.requests().size(), 30, 20000);
        QCOMPARE(dns.lateAnswers, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 30000);
        QCOMPARE(rig.web.requests().size(), 30);
    }

    // A name the server never answers is given up on after the time limit (here half a
    // second; the system's resolver would wait ten, and the watchdogs never tick), so that
    // the harvest ends; its pages are not fetched. A name is asked once per run, however
    // many pages its host has. In either mode.
    void lookupsBoundedAndKept_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("modern") << true;
        QTest::newRow("reference") << false;
    }
    void lookupsBoundedAndKept()
    {
        QFETCH(bool, follow);
        // Names of their own per row: the system's side keeps answers for a while too.
        const QByteArray tag = follow ? "-m.test" : "-r.test";
        NameServer dns;
        QVERIFY(dns.listen());
        TestWebServer web80;
        QVERIFY(web80.listen(false, 80));
        EngineRig rig;
        rig.useManualClock();
        rig.session.setResolveMap(ResolveMap());
        rig.session.setLookupTimeout(500);
        rig.presenter.optionClicked(OptionId::FollowRedirects, follow ? 1 : 0);
        rig.presenter.optionClicked(OptionId::AllowLocal, 1);
        QStringList sites;
        for (const QByteArray &host : {"a" + tag, "b" + tag}) {
            dns.names.insert(host, {0});
            for (const char *page : {"/", "/p1.htm", "/p2.htm"}) {
                web80.addPage(host, page, "<p>page</p>");
                sites << QString::fromLatin1(host + page);
            }
        }
        for (const QByteArray &host : {"n1" + tag, "n2" + tag}) {
            dns.names.insert(host, {-1});
            sites << QString::fromLatin1(host + "/") << QString::fromLatin1(host + "/x.htm");
        }
        rig.readyToStart();
        rig.queue(sites);
        rig.session.startCrawl();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.isHarvesting(), 8000);
        QCOMPARE(web80.requests().size(), 6);
        for (auto it = dns.names.cbegin(); it != dns.names.cend(); ++it)
            QVERIFY2(
                dns.questions.value(it.key()) == 1,
                qPrintable(QString::fromLatin1(it.key()) +
                           QStringLiteral(" asked %1 times").arg(dns.questions.value(it.key()))));
        // The system's resolver still waits for the names never answered; its own limit is
        // two seconds. Those lookups end here, so the test leaves none behind (the sanitizer
        // build counts a lookup still running at exit as a leak).
        const HostNames *names = rig.session.findChild<HostNames *>();
        QVERIFY(names);
        QTRY_COMPARE_WITH_TIMEOUT(names->outstanding(), 0, 10000);
    }
};

int main(int argc, char *argv[])
{
    g_skip = enterNetworkNamespace();
    QCoreApplication app(argc, argv);
    TestNameLookups test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_namelookups.moc"
