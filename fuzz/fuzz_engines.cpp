// The engine definition reader on arbitrary files, and the selectors on arbitrary text;
// a definition that reads is then used to ask and to read a page.
#include "linkselector.h"
#include "searchengines.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    SearchEngines::Problem problem;
    const std::optional<SearchEngines::SearchEngine> engine = SearchEngines::readDefinition(
        json, QStringLiteral("fuzz"), QStringLiteral("fuzz.json"), &problem);
    if (!engine) {
        if (problem.what.isEmpty() || problem.line < 0 || problem.text().isEmpty())
            __builtin_trap();
    } else {
        if (engine->results.isEmpty() || !engine->origin.startsWith(QLatin1String("http")))
            __builtin_trap();
        const BrowserRequest r = engine->request(QStringLiteral("plumber & {page}"), 40);
        if (!r.url.startsWith(engine->origin))
            __builtin_trap();
        BrowserPage page;
        page.html = QStringLiteral("<ol><li class=\"r\"><a href=\"/url?q=https://a.example.com/"
                                   "\">a</a></li></ol>");
        for (const auto endings : {DomainNames::Endings::Reference, DomainNames::Endings::Every}) {
            const SearchEngines::PageVerdict v = SearchEngines::readPage(*engine, page, endings);
            if ((v.outcome == SearchEngines::Outcome::Results) == v.names.isEmpty())
                __builtin_trap();
        }
    }
    QString error;
    const std::optional<LinkSelector> s = LinkSelector::parse(QString::fromUtf8(json), &error);
    if (!s && error.isEmpty())
        __builtin_trap();
    if (s) {
        HtmlScan::Path path;
        (void)s->encloses(path);
    }
    return 0;
}
