// The time one robots.txt costs per page of its host: parsing the file once, then deciding
// paths, for files a hostile host can serve and for an ordinary one.
//
//   bench_robots [SECONDS]   each case runs for about SECONDS (default 1)
#include "robotstxt.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

struct Case
{
    const char *name;
    QByteArray file;
    QByteArray path;
};

// Rules until the file reaches the size limit.
QByteArray fill(const QByteArray &head, const std::function<QByteArray(int)> &rule)
{
    QByteArray f = head;
    for (int i = 0; f.size() < RobotsTxt::MaxBytes; ++i)
        f += rule(i);
    return f;
}

QByteArray ordinaryFile()
{
    QByteArray f = "User-agent: *\n";
    for (int i = 0; i < 300; ++i)
        f += "Disallow: /catalog/item" + QByteArray::number(i) + "/\n";
    for (int i = 0; i < 30; ++i)
        f += "Disallow: /*?sort=" + QByteArray::number(i) + "\nAllow: /*.css$\n";
    f += "Disallow: /cart\nDisallow: /account/\nCrawl-delay: 1\n";
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const QByteArray longPath = "/" + QByteArray(1989, 'a');
    const QByteArray token = "QuorvexFaxVarnel";
    const Case cases[] = {
        {"hostile: one rule repeated (/*b + 50 a) x 500 KiB, 1,990-char path",
         fill("User-agent: *\n", [](int) { return "Disallow: /*b" + QByteArray(50, 'a') + "\n"; }),
         longPath},
        {"hostile: distinct rules (/*b + 50 a + n) x 500 KiB, 1,990-char path",
         fill("User-agent: *\n",
              [](int i) {
                  return "Disallow: /*b" + QByteArray(50, 'a') + QByteArray::number(i) + "\n";
              }),
         longPath},
        {"hostile: one long rule (/*b + 1,900 a) x 500 KiB, 1,990-char path",
         fill("User-agent: *\n",
              [](int i) {
                  return "Disallow: /*b" + QByteArray(1900, 'a') + QByteArray::number(i) + "\n";
              }),
         longPath},
        {"hostile: rules that almost match (/* + 50 a + b + n) x 500 KiB, same path",
         fill("User-agent: *\n",
              [](int i) {
                  return "Disallow: /*" + QByteArray(50, 'a') + "b" + QByteArray::number(i) + "\n";
              }),
         longPath},
        {"hostile: as many of those as are matched as written, same path",
         [] {
             QByteArray f = "User-agent: *\n";
             for (int i = 0; i < RobotsTxt::MaxWildcardRules; ++i)
                 f += "Disallow: /*" + QByteArray(50, 'a') + "b" + QByteArray::number(i) + "\n";
             return f;
         }(),
         longPath},
        {"ordinary: 330 rules, short path", ordinaryFile(), "/contact/index.html"},
    };
    for (const Case &c : cases) {
        QElapsedTimer t;
        t.start();
        int parses = 0;
        RobotsTxt r;
        do {
            r = RobotsTxt::parse(c.file, token);
            ++parses;
        } while (t.nsecsElapsed() < qint64(seconds * 0.2e9));
        const double parseMs = double(t.nsecsElapsed()) / parses / 1e6;
        t.restart();
        int calls = 0;
        int allowed = 0;
        do {
            allowed += r.allowed(c.path) ? 1 : 0;
            ++calls;
        } while (t.nsecsElapsed() < qint64(seconds * 1e9));
        const double callUs = double(t.nsecsElapsed()) / calls / 1e3;
        std::printf("%-72s file %4lld KiB  parse %8.2f ms  allowed() %10.1f us  (%s)\n", c.name,
                    qlonglong(c.file.size() / 1024), parseMs, callUs,
                    allowed ? "allowed" : "disallowed");
    }
    return 0;
}
