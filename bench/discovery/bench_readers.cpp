// How long reading one result page takes: the engine's reader and verdict under both
// endings, beside the reference reading of the same page (what discovery did before).
// Pages are named ENGINE-N.html, as in the serp corpus; pages of engines that are not in
// the table are read by the reference reading only.
// Usage: bench_discovery_readers DIR [ROUNDS]   (e.g. /work/shared/corpus/serp 20)

#include "domainextractor.h"
#include "searchengines.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cstdio>

namespace {

template <typename F> double bestMs(int rounds, F &&f)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

double median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_discovery_readers DIR [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList files = dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no pages in %s\n", argv[1]);
        return 1;
    }

    // The lines the reference reading leaves out, as the first engine's definition says.
    const QStringList referenceSkips = SearchEngines::all().value(0).skipLinesWith;
    std::printf("%-20s %9s %10s %10s %10s %7s\n", "page", "bytes", "reference", "engine", "every",
                "ratio");
    QList<double> refTimes, engineTimes, everyTimes, ratios;
    double worst = 0;
    QString worstPage;
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        BrowserPage page;
        page.html = utf8.decode(bytes);
        if (utf8.hasError())
            page.html = QString::fromLatin1(bytes);

        const double ref = bestMs(rounds, [&] {
            DomainExtractor::SeenNames seen;
            (void)DomainExtractor::extractDomainNames(page.html, seen, referenceSkips);
        });
        refTimes << ref;
        const SearchEngines::SearchEngine *engine =
            SearchEngines::find(name.left(name.indexOf(QLatin1Char('-'))));
        if (!engine) {
            std::printf("%-20s %9lld %10.2f %10s %10s %7s\n", qPrintable(name),
                        qint64(bytes.size()), ref, "-", "-", "-");
            continue;
        }
        const double read = bestMs(rounds, [&] {
            (void)SearchEngines::readPage(*engine, page, DomainNames::Endings::Reference);
        });
        const double every = bestMs(rounds, [&] {
            (void)SearchEngines::readPage(*engine, page, DomainNames::Endings::Every);
        });
        engineTimes << read;
        everyTimes << every;
        ratios << every / ref;
        for (double t : {read, every}) {
            if (t > worst) {
                worst = t;
                worstPage = name;
            }
        }
        std::printf("%-20s %9lld %10.2f %10.2f %10.2f %7.2f\n", qPrintable(name),
                    qint64(bytes.size()), ref, read, every, every / ref);
    }
    std::printf("\nmedian ms: reference %.2f, engine reader %.2f, every ending %.2f; "
                "median ratio every/reference %.2f\n",
                median(refTimes), median(engineTimes), median(everyTimes), median(ratios));
    std::printf("slowest engine read: %.2f ms (%s); goal under 50 ms: %s\n", worst,
                qPrintable(worstPage), worst < 50 ? "met" : "MISSED");
    return 0;
}
