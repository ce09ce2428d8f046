#pragma once

// A web of many sites on one TestWebServer where most sites misbehave, each in one way,
// with well-behaved sites mixed in: the hostile-server soak of the harvest (a short test
// and the long benchmark) crawls it.
//
//   TestWebServer web; web.listen();
//   HostileWeb hostile = HostileWeb::build(web, HostileWeb::mixOf(300), /*seed*/ 1);
//   ResolveMap map; hostile.addResolveEntries(&map, web);  // refused hosts, then "*"
//   ... queue hostile.queue(), harvest with redirects followed ...
//   every number of hostile.goodNumbers() must be stored.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class ResolveMap;
class TestWebServer;

class HostileWeb
{
public:
    enum class Kind
    {
        Good,         // two pages, each with a number of its own; the first links the second
        Silence,      // reads the request, sends nothing
        Trickle,      // one byte a second
        NeverClose,   // the whole page, then the connection stays open
        NoBlankLine,  // headers and body without the blank line between them
        Oversize,     // a body of 17 MiB
        Reset,        // half the response, then a reset
        Refused,      // nothing listens on the port the host resolves to
        Garbage,      // 32 KiB of random bytes instead of HTTP, then close
        HugeHeader,   // a header line of 1 MiB before a small page
        ManyLinks,    // 100,000 links on one line (to ten pages of the same host)
        RedirectLoop, // two hosts redirecting to each other (followed hops run out)
    };
    static QString kindName(Kind kind);
    static QList<Kind> allKinds();

    struct Site
    {
        QString address; // as queued: "host" (the start page)
        Kind kind;
        QStringList numbers; // numbers as stored, expected from this site (Good only)
    };

    // How many sites of each kind.
    using Mix = QList<QPair<Kind, int>>;
    // total sites: a fifth well-behaved, the rest spread evenly over the faults, except
    // that pages of 100,000 links (costly to analyse by design) are 1 in 100.
    static Mix mixOf(int total);

    // Registers the sites on web and returns them in a shuffled queue order (fixed by seed).
    static HostileWeb build(TestWebServer &web, const Mix &mix, quint32 seed);

    QList<Site> sites() const { return m_sites; }
    QStringList queue() const;
    QStringList goodNumbers() const;
    QStringList goodHosts() const;
    QStringList refusedHosts() const;
    int count(Kind kind) const;
    // host=127.0.0.1:refusedPort for each refused host, then "*" for the web server.
    void addResolveEntries(ResolveMap *map, const TestWebServer &web) const;
    // The same as --resolve arguments of varnel-tool.
    QStringList resolveArguments(const TestWebServer &web) const;

private:
    QList<Site> m_sites;
    quint16 m_refusedPort = 0;
};
