#include "hostileweb.h"

#include "resolvemap.h"
#include "testwebserver.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

// Shared by every site of a kind (QByteArray shares its data), so a large web costs the
// server little memory.
const QByteArray &garbageBytes()
{
    static const QByteArray bytes = [] {
        QRandomGenerator rng(4711);
        QByteArray b(32 * 1024, Qt::Uninitialized);
        for (char &c : b)
            c = char(rng.bounded(256));
        return b;
    }();
    return bytes;
}

const QByteArray &hugeHeaderResponse()
{
    static const QByteArray bytes = [] {
        const QByteArray body = "<html><body><p>Behind a long header.</p></body></html>";
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Filler: " +
               QByteArray(1024 * 1024, 'a') +
               "\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }();
    return bytes;
}

const QByteArray &manyLinksPage()
{
    static const QByteArray bytes = [] {
        QByteArray b = "<html><body>";
        b.reserve(100000 * 24);
        for (int i = 0; i < 100000; ++i)
            b += "<a href=\"/l" + QByteArray::number(i % 10) + "\">x</a>";
        b += "</body></html>";
        return b;
    }();
    return bytes;
}

} // namespace

QString HostileWeb::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Good:
        return QStringLiteral("good");
    case Kind::Silence:
        return QStringLiteral("silence");
    case Kind::Trickle:
        return QStringLiteral("trickle");
    case Kind::NeverClose:
        return QStringLiteral("neverclose");
    case Kind::NoBlankLine:
        return QStringLiteral("noblankline");
    case Kind::Oversize:
        return QStringLiteral("oversize");
    case Kind::Reset:
        return QStringLiteral("reset");
    case Kind::Refused:
        return QStringLiteral("refused");
    case Kind::Garbage:
        return QStringLiteral("garbage");
    case Kind::HugeHeader:
        return QStringLiteral("hugeheader");
    case Kind::ManyLinks:
        return QStringLiteral("manylinks");
    case Kind::RedirectLoop:
        return QStringLiteral("redirectloop");
    }
    return QString();
}

QList<HostileWeb::Kind> HostileWeb::allKinds()
{
    return {Kind::Good,        Kind::Silence,    Kind::Trickle,   Kind::NeverClose,
            Kind::NoBlankLine, Kind::Oversize,   Kind::Reset,     Kind::Refused,
            Kind::Garbage,     Kind::HugeHeader, Kind::ManyLinks, Kind::RedirectLoop};
}

HostileWeb::Mix HostileWeb::mixOf(int total)
{
    const int good = total / 5;
    const int manyLinks = qMax(1, total / 100);
    const QList<Kind> faults = {
        Kind::Silence, Kind::Trickle, Kind::NeverClose, Kind::NoBlankLine, Kind::Oversize,
        Kind::Reset,   Kind::Refused, Kind::Garbage,    Kind::HugeHeader,  Kind::RedirectLoop};
    Mix mix{{Kind::Good, good}, {Kind::ManyLinks, manyLinks}};
    const int rest = qMax(0, total - good - manyLinks);
    for (int i = 0; i < faults.size(); ++i)
        mix.append({faults.at(i), rest / int(faults.size()) + (i < rest % faults.size() ? 1 : 0)});
    return mix;
}

HostileWeb HostileWeb::build(TestWebServer &web, const Mix &mix, quint32 seed)
{
    HostileWeb h;
    h.m_refusedPort = TestWebServer::refusedPort();
    int serial = 0;
    int goodSerial = 0;
    for (const auto &entry : mix) {
        for (int i = 0; i < entry.second; ++i) {
            ++serial;
            const Kind kind = entry.first;
            // Names of well-behaved hosts never occur inside the run-together names of
            // abandoned hosts, so that no good site is skipped as "timed out".
            const QByteArray id = QByteArray::number(serial).rightJustified(5, '0');
            Site site;
            site.kind = kind;
            QByteArray host = "b" + id + '-' + kindName(kind).toLatin1() + ".test";
            switch (kind) {
            case Kind::Good: {
                host = "g" + id + ".test";
                // Two numbers per site, distinct over the whole web.
                const int n = goodSerial++;
                const QString first =
                    QStringLiteral("646-555-%1").arg(2 * n, 4, 10, QLatin1Char('0'));
                const QString second =
                    QStringLiteral("646-555-%1").arg(2 * n + 1, 4, 10, QLatin1Char('0'));
                web.addPage(host, "/",
                            "<html><body><h1>Welcome</h1><p>Fax: " + first.toLatin1() +
                                "</p>\r\n<a href=\"contact.htm\">Contact us</a></body></html>");
                web.addPage(host, "/contact.htm",
                            "<html><body><p>Office fax: " + second.toLatin1() +
                                "</p></body></html>");
                // Stored in the harvest's own form.
                site.numbers = {QStringLiteral("1-") + first, QStringLiteral("1-") + second};
                break;
            }
            case Kind::Silence:
                web.addFault(host, "/", TestWebServer::Fault::NoAnswer);
                break;
            case Kind::Trickle:
                web.addFault(host, "/", TestWebServer::Fault::Trickle);
                break;
            case Kind::NeverClose:
                web.addFault(host, "/", TestWebServer::Fault::NeverClose);
                break;
            case Kind::NoBlankLine:
                web.addFault(host, "/", TestWebServer::Fault::NoBlankLine);
                break;
            case Kind::Oversize:
                web.addFault(host, "/", TestWebServer::Fault::Oversize);
                break;
            case Kind::Reset:
                web.addFault(host, "/", TestWebServer::Fault::Reset);
                break;
            case Kind::Refused:
                break; // resolves to a port where nothing listens
            case Kind::Garbage:
                web.addRaw(host, "/", garbageBytes());
                break;
            case Kind::HugeHeader:
                web.addRaw(host, "/", hugeHeaderResponse());
                break;
            case Kind::ManyLinks:
                web.addPage(host, "/", manyLinksPage());
                break;
            case Kind::RedirectLoop: {
                const QByteArray other = "b" + id + "-loopback.test";
                web.addRedirect(host, "/", 302, "http://" + other + "/");
                web.addRedirect(other, "/", 301, "http://" + host + "/");
                break;
            }
            }
            site.address = QString::fromLatin1(host);
            h.m_sites.append(site);
        }
    }
    // A fixed shuffle, so that every kind is spread over the whole queue.
    QRandomGenerator rng(seed);
    for (qsizetype i = h.m_sites.size() - 1; i > 0; --i)
        h.m_sites.swapItemsAt(i, qsizetype(rng.bounded(quint32(i + 1))));
    return h;
}

QStringList HostileWeb::queue() const
{
    QStringList out;
    for (const Site &s : m_sites)
        out << s.address;
    return out;
}

QStringList HostileWeb::goodNumbers() const
{
    QStringList out;
    for (const Site &s : m_sites)
        out << s.numbers;
    return out;
}

QStringList HostileWeb::goodHosts() const
{
    QStringList out;
    for (const Site &s : m_sites) {
        if (s.kind == Kind::Good)
            out << s.address;
    }
    return out;
}

QStringList HostileWeb::refusedHosts() const
{
    QStringList out;
    for (const Site &s : m_sites) {
        if (s.kind == Kind::Refused)
            out << s.address;
    }
    return out;
}

int HostileWeb::count(Kind kind) const
{
    return int(std::count_if(m_sites.cbegin(), m_sites.cend(),
                             [kind](const Site &s) { return s.kind == kind; }));
}

void HostileWeb::addResolveEntries(ResolveMap *map, const TestWebServer &web) const
{
    for (const QString &host : refusedHosts())
        map->add(host, QStringLiteral("127.0.0.1"), m_refusedPort);
    map->add(QStringLiteral("*"), QStringLiteral("127.0.0.1"), web.port());
}

QStringList HostileWeb::resolveArguments(const TestWebServer &web) const
{
    QStringList out;
    for (const QString &host : refusedHosts())
        out << QStringLiteral("--resolve")
            << host + QStringLiteral("=127.0.0.1:") + QString::number(m_refusedPort);
    out << QStringLiteral("--resolve") << web.resolveSpec();
    return out;
}
