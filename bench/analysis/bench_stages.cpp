// The stages of the fax path on pages held in memory, without files or store: how fast
// each runs on one core. Usage: bench_analysis_stages DIR [ROUNDS]

#include "faxfinder.h"
#include "faxscan.h"
#include "htmltotext.h"
#include "links.h"
#include "pagetext.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

template <typename F> double best(int rounds, F &&f)
{
    double bestMs = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        f();
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (ms < bestMs)
            bestMs = ms;
    }
    return bestMs;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_analysis_stages DIR [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    QDir dir(QString::fromLocal8Bit(argv[1]));
    QList<QByteArray> pages;
    qint64 total = 0;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) {
            pages << withoutLineBreaks(f.readAll());
            total += pages.last().size();
        }
    }
    if (pages.isEmpty()) {
        std::fprintf(stderr, "no pages in %s\n", argv[1]);
        return 1;
    }
    QList<QByteArray> marked, texts;
    for (const QByteArray &p : pages)
        marked << markFaxWords(joinLines(p));
    for (const QByteArray &m : marked)
        texts << HtmlToText(m);

    volatile qint64 sink = 0;
    const double mb = double(total) / (1024.0 * 1024.0);
    auto report = [&](const char *what, double ms) {
        std::printf("%-28s %8.1f ms %9.1f MB/s\n", what, ms, mb / (ms / 1000.0));
    };
    std::printf("%d pages, %.1f MB, best of %d\n", int(pages.size()), mb, rounds);
    report("markFaxWords(joinLines)", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += markFaxWords(joinLines(p)).size();
           }));
    report("HtmlToText", best(rounds, [&] {
               for (const QByteArray &m : marked)
                   sink += HtmlToText(m).size();
           }));
    report("fax scan of the text", best(rounds, [&] {
               for (const QByteArray &t : texts)
                   forEachFaxLine(
                       t, [&](QByteArrayView line) { sink += scanFaxLine(line, true).found; });
           }));
    report("link texts of the page", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += linkTextsOfLine(p).size();
           }));
    report("whole fax path in memory", best(rounds, [&] {
               for (const QByteArray &p : pages) {
                   const QByteArray text = HtmlToText(markFaxWords(joinLines(p)));
                   forEachFaxLine(
                       text, [&](QByteArrayView line) { sink += scanFaxLine(line, true).found; });
               }
           }));
    // The finder: whether a page may hold a fax label at all, the page read as elements
    // and text, and the whole of findFaxNumbers with the finder off and on.
    report("finder: prefilter", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += mayHoldFaxNumber(p);
           }));
    report("finder: page reader", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += readPageText(p).text.size();
           }));
    FinderInput in;
    in.allowInternational = true;
    in.findBeyondFaxLine = false;
    report("findFaxNumbers, finder off", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += findFaxNumbers(p, in).size();
           }));
    in.findBeyondFaxLine = true;
    report("findFaxNumbers, finder on", best(rounds, [&] {
               for (const QByteArray &p : pages)
                   sink += findFaxNumbers(p, in).size();
           }));
    return 0;
}
