// robots.txt from an untrusted host: parsing and matching paths taken from the input itself,
// and the matcher against a plain backtracking one on a single rule.
#include "fieldtext.h"
#include "robotstxt.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// The slow, obvious matcher: a table of which rest of the pattern matches which rest of the
// path, one row of it at a time; "*" takes any run, a final "$" the end of the path,
// otherwise a prefix will do. Neither traced nor checked: the table's comparisons would cost
// the fuzzer most of its time on long inputs and tell it nothing about the matcher.
__attribute__((no_sanitize("coverage", "address", "undefined"))) bool
slowMatch(QByteArrayView pattern, QByteArrayView path)
{
    const char *const p = pattern.data();
    const char *const s = path.data();
    const qsizetype m = pattern.size(), n = path.size();
    std::vector<char> belowRow(size_t(n + 1), 1); // the empty rest of the pattern: any path
    std::vector<char> thisRow(size_t(n + 1), 0);
    char *below = belowRow.data();
    char *row = thisRow.data();
    for (qsizetype i = m - 1; i >= 0; --i) {
        for (qsizetype j = n; j >= 0; --j) {
            char v;
            if (p[i] == '$' && i == m - 1)
                v = j == n;
            else if (p[i] == '*')
                v = below[j] || (j < n && row[j + 1]);
            else
                v = j < n && p[i] == s[j] && below[j + 1];
            row[j] = v;
        }
        std::swap(below, row);
    }
    return below[0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const RobotsTxt r = RobotsTxt::parse(text, "QuorvexFaxVarnel");
    if (r.crawlDelayMs() < 0 || r.crawlDelayMs() > RobotsTxt::MaxCrawlDelayMs)
        __builtin_trap();
    if (!r.allowed("/robots.txt"))
        __builtin_trap();
    (void)r.allowed("/");
    // Every line of the input as a path as well: paths that look like the patterns.
    qsizetype from = 0;
    for (int lines = 0; from < text.size() && lines < 64; ++lines) {
        qsizetype nl = text.sliced(from).indexOf('\n');
        nl = nl < 0 ? text.size() : from + nl;
        const QByteArrayView line = text.sliced(from, nl - from);
        const qsizetype colon = line.indexOf(':');
        (void)r.allowed(colon >= 0 ? line.sliced(colon + 1) : line);
        from = nl + 1;
    }
    // Normalising twice changes nothing.
    const QByteArray once = RobotsTxt::normalized(text.first(qMin<qsizetype>(size, 4096)));
    if (RobotsTxt::normalized(once) != once)
        __builtin_trap();

    // An input of one line split at its first "|" into a pattern and a path: one disallow
    // rule must decide as the slow matcher does, also for long patterns and paths.
    const qsizetype bar = text.indexOf('|');
    if (bar > 0 && text.indexOf('\n') < 0 && text.indexOf('\r') < 0 && text.indexOf('#') < 0) {
        const QByteArrayView value = FieldText::trimmed(text.first(bar));
        if (value.isEmpty())
            return 0; // an empty disallow is no rule
        QByteArray pattern = RobotsTxt::normalized(value);
        const QByteArray path = RobotsTxt::normalized(text.sliced(bar + 1));
        if (!pattern.startsWith('/') && !pattern.startsWith('*'))
            pattern.prepend('/');
        // Only a final "$" anchors; one elsewhere is an ordinary octet, which the slow
        // matcher cannot tell apart: skip those.
        if (pattern.indexOf('$') >= 0 && pattern.indexOf('$') != pattern.size() - 1)
            return 0;
        const RobotsTxt one =
            RobotsTxt::parse(QByteArray("User-agent: *\nDisallow: ") + value.toByteArray(), "x");
        const QByteArray p = path.isEmpty() ? QByteArray("/") : path;
        if (pattern.size() * p.size() > (1 << 20))
            return 0; // the slow matcher's table would take too long
        const bool blocked = p != "/robots.txt" && slowMatch(pattern, p);
        if (one.allowed(text.sliced(bar + 1)) == blocked)
            __builtin_trap();
    }
    return 0;
}
