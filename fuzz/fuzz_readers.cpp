// The engine table's readers and verdicts on arbitrary pages, and the link unwrapping.
#include "resultlinks.h"
#include "searchengines.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BrowserPage page;
    page.html = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const SearchEngines::SearchEngine &engine : SearchEngines::all()) {
        for (const auto endings : {DomainNames::Endings::Reference, DomainNames::Endings::Every}) {
            const SearchEngines::PageVerdict v = SearchEngines::readPage(engine, page, endings);
            if ((v.outcome == SearchEngines::Outcome::Results) == v.names.isEmpty())
                __builtin_trap();
            for (const QString &n : v.names) {
                if (n.isEmpty() || n.contains(QLatin1Char('<')) || n.contains(QLatin1Char('>')))
                    __builtin_trap();
            }
        }
    }
    QList<ResultLinks::Wrapper> wrappers;
    for (const SearchEngines::SearchEngine &engine : SearchEngines::all())
        wrappers += engine.wrappers;
    const QUrl target =
        ResultLinks::target(page.html, QUrl(QStringLiteral("https://www.bing.com/")), wrappers);
    if (target.isValid() && target.host().isEmpty())
        __builtin_trap();
    return 0;
}
