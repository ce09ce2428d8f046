// The hostile web of the soak, served by a process of its own so that the harvest's
// memory is measured alone. Writes into OUT: port, queue.txt (the sites in queue order),
// numbers.txt (what the well-behaved sites must yield), resolve.txt (the --resolve values
// for varnel-tool, one a line) and requests.log (host and path of every request, as it
// arrives). Serves until it is killed.
//
// usage: soak_web SITES SEED OUT

#include "hostileweb.h"
#include "testwebserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdio>

static bool writeLines(const QString &path, const QStringList &lines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const QString &l : lines)
        f.write(l.toUtf8() + '\n');
    return f.flush();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: soak_web SITES SEED OUT\n");
        return 2;
    }
    const int sites = args.at(1).toInt();
    const quint32 seed = args.at(2).toUInt();
    const QDir out(args.at(3));

    TestWebServer web;
    if (!web.listen()) {
        std::fprintf(stderr, "soak_web: cannot listen\n");
        return 1;
    }
    const HostileWeb hostile = HostileWeb::build(web, HostileWeb::mixOf(sites), seed);

    QFile log(out.filePath(QStringLiteral("requests.log")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return 1;
    QObject::connect(
        &web, &TestWebServer::requestReceived,
        [&log](const TestWebServer::Request &r) { log.write(r.host + ' ' + r.path + '\n'); });

    QStringList resolve;
    const QStringList resolveArgs = hostile.resolveArguments(web);
    for (int i = 1; i < resolveArgs.size(); i += 2)
        resolve << resolveArgs.at(i);
    QStringList kinds;
    for (const HostileWeb::Kind k : HostileWeb::allKinds())
        kinds << HostileWeb::kindName(k) + QLatin1Char(' ') + QString::number(hostile.count(k));
    // The port file last: its presence says everything else is written.
    if (!writeLines(out.filePath(QStringLiteral("queue.txt")), hostile.queue()) ||
        !writeLines(out.filePath(QStringLiteral("numbers.txt")), hostile.goodNumbers()) ||
        !writeLines(out.filePath(QStringLiteral("resolve.txt")), resolve) ||
        !writeLines(out.filePath(QStringLiteral("kinds.txt")), kinds) ||
        !writeLines(out.filePath(QStringLiteral("port")), {QString::number(web.port())}))
        return 1;
    return app.exec();
}
