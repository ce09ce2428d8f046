#include "robotstxt.h"

#include "fieldtext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

using FieldText::equalsCaseless;
using FieldText::hexValue;
using FieldText::trimmed;

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendEscaped(QByteArray &out, unsigned char c)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[c >> 4];
    out += hex[c & 15];
}

// The leading product token of a user-agent value ("Name/1.0 (x)" gives "Name").
QByteArrayView productTokenOf(QByteArrayView value)
{
    qsizetype n = 0;
    while (n < value.size()) {
        const char c = value[n];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_'))
            break;
        ++n;
    }
    return value.first(n);
}

// The first place at or after `from` where needle stands in hay, or -1. Knuth-Morris-Pratt,
// linear in both lengths whatever the octets, where a plain search can cost their product
// (a needle of many "a" after a "b" against a path of many "a").
qsizetype findFrom(QByteArrayView hay, qsizetype from, QByteArrayView needle)
{
    const qsizetype m = needle.size();
    const qsizetype n = hay.size();
    if (m == 0)
        return from;
    if (n - from < m)
        return -1;
    const char *const s = hay.data();
    const char *const p = needle.data();
    const char *at = static_cast<const char *>(std::memchr(s + from, p[0], size_t(n - from)));
    if (!at || m == 1)
        return at ? at - s : -1;
    // The longest border (a proper prefix that is also a suffix) of each prefix of needle.
    thread_local std::vector<qsizetype> borders;
    borders.resize(size_t(m));
    qsizetype *const border = borders.data();
    border[0] = 0;
    for (qsizetype i = 1, k = 0; i < m; ++i) {
        while (k > 0 && p[i] != p[k])
            k = border[k - 1];
        if (p[i] == p[k])
            ++k;
        border[i] = k;
    }
    const char *const end = s + n;
    qsizetype k = 0;
    for (; at < end; ++at) {
        if (k == 0) {
            // Nothing matched yet: straight to the next place of the needle's first octet.
            at = static_cast<const char *>(std::memchr(at, p[0], size_t(end - at)));
            if (!at)
                return -1;
        }
        while (k > 0 && *at != p[k])
            k = border[k - 1];
        if (*at == p[k] && ++k == m)
            return at - s - m + 1;
    }
    return -1;
}

// Does pattern (normalised, "*" any run, a final "$" anchoring) match the start of path?
// The literal pieces between the stars are taken at their leftmost place in turn, which is
// exact for patterns whose only wildcard is "*"; with the linear search above, a rule costs
// time linear in its length and the path's.
bool patternMatches(QByteArrayView pattern, QByteArrayView path)
{
    bool anchored = false;
    if (pattern.endsWith('$')) {
        anchored = true;
        pattern.chop(1);
    }
    qsizetype star = pattern.indexOf('*');
    if (star < 0)
        return anchored ? path == pattern : path.startsWith(pattern);
    const QByteArrayView head = pattern.first(star);
    if (!path.startsWith(head))
        return false;
    qsizetype at = head.size();
    for (;;) {
        const qsizetype from = star + 1;
        star = pattern.indexOf('*', from);
        if (star < 0) {
            // The last piece: anywhere after what matched so far, or at the very end.
            const QByteArrayView tail = pattern.sliced(from);
            if (!anchored)
                return findFrom(path, at, tail) >= 0;
            return path.size() - at >= tail.size() && path.endsWith(tail);
        }
        const QByteArrayView piece = pattern.sliced(from, star - from);
        const qsizetype hit = findFrom(path, at, piece);
        if (hit < 0)
            return false;
        at = hit + piece.size();
    }
}

enum class Key
{
    UserAgent,
    Allow,
    Disallow,
    CrawlDelay,
    Other
};

Key keyOf(QByteArrayView key)
{
    // Common misspellings are read as their intended key.
    for (const char *k : {"user-agent", "useragent", "user agent"}) {
        if (equalsCaseless(key, k))
            return Key::UserAgent;
    }
    if (equalsCaseless(key, "allow"))
        return Key::Allow;
    for (const char *k : {"disallow", "dissallow", "disalow"}) {
        if (equalsCaseless(key, k))
            return Key::Disallow;
    }
    if (equalsCaseless(key, "crawl-delay") || equalsCaseless(key, "crawldelay"))
        return Key::CrawlDelay;
    return Key::Other;
}

// Milliseconds of a Crawl-delay value in seconds ("10", "0.5"); -1 when unreadable.
int delayMsOf(QByteArrayView value)
{
    bool ok = false;
    const double seconds = value.toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0)
        return -1;
    if (seconds * 1000.0 >= RobotsTxt::MaxCrawlDelayMs)
        return RobotsTxt::MaxCrawlDelayMs;
    return int(std::lround(seconds * 1000.0));
}

} // namespace

QByteArray RobotsTxt::normalized(QByteArrayView path)
{
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '%') {
            const int hi = i + 2 < path.size() ? hexValue(path[i + 1]) : -1;
            const int lo = hi >= 0 ? hexValue(path[i + 2]) : -1;
            if (lo < 0) {
                appendEscaped(out, c); // a stray "%" stands for itself
                continue;
            }
            const auto decoded = static_cast<unsigned char>(hi * 16 + lo);
            if (isUnreserved(decoded))
                out += char(decoded);
            else
                appendEscaped(out, decoded);
            i += 2;
        } else if (c <= 0x20 || c >= 0x7F) {
            appendEscaped(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}

RobotsTxt RobotsTxt::disallowAll()
{
    RobotsTxt r;
    r.m_rules.append(Rule{QByteArray("/"), false, 1});
    return r;
}

void RobotsTxt::prepareRules()
{
    QList<Rule> rules = m_rules;
    for (Rule &r : rules) {
        r.weight = r.pattern.size();
        // Stars at the end match what nothing there would: "/a*" and "/a*$" are "/a". Not
        // where a "$" would then end the pattern and anchor it.
        const qsizetype end = r.pattern.size() - (r.pattern.endsWith('$') ? 1 : 0);
        qsizetype cut = end;
        while (cut > 0 && r.pattern[cut - 1] == '*')
            --cut;
        if (cut < end && !(cut > 0 && r.pattern[cut - 1] == '$'))
            r.pattern.truncate(cut);
    }
    // Sorting, not hashing: a file of many thousand rules is read in milliseconds.
    const auto byRule = [](const Rule &a, const Rule &b) {
        return a.allow != b.allow ? a.allow : a.pattern < b.pattern;
    };
    const auto sameRule = [](const Rule &a, const Rule &b) {
        return a.allow == b.allow && a.pattern == b.pattern;
    };
    // A rule repeated counts once, where it first stands, with the largest weight.
    std::vector<qsizetype> order(size_t(rules.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return byRule(rules[a], rules[b]); });
    std::vector<bool> repeated(size_t(rules.size()), false);
    for (size_t i = 1; i < order.size(); ++i) {
        size_t first = i - 1;
        while (i < order.size() && sameRule(rules[order[first]], rules[order[i]])) {
            Rule &kept = rules[order[first]];
            kept.weight = qMax(kept.weight, rules[order[i]].weight);
            repeated[size_t(order[i])] = true;
            ++i;
        }
    }
    QList<Rule> kept;
    int wildcards = 0;
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (repeated[size_t(i)])
            continue;
        Rule &r = rules[i];
        const qsizetype star = r.pattern.indexOf('*');
        if (star >= 0 && ++wildcards > MaxWildcardRules) {
            if (r.allow)
                continue;
            r.pattern.truncate(star);
        }
        kept.append(r);
    }
    // A disallow cut at its star may now repeat another: the heaviest of them stays.
    std::sort(kept.begin(), kept.end(), [&](const Rule &a, const Rule &b) {
        return sameRule(a, b) ? a.weight > b.weight : byRule(a, b);
    });
    kept.erase(std::unique(kept.begin(), kept.end(), sameRule), kept.end());
    std::stable_sort(kept.begin(), kept.end(), [](const Rule &a, const Rule &b) {
        return a.weight != b.weight ? a.weight > b.weight : a.allow && !b.allow;
    });
    m_rules = kept;
}

RobotsTxt RobotsTxt::parse(QByteArrayView text, QByteArrayView productToken)
{
    if (text.size() > MaxBytes)
        text = text.first(MaxBytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);

    RobotsTxt ours, star;
    bool oursSeen = false;  // a group names our product token
    bool oursDelay = false; // a crawl delay was taken for each
    bool starDelay = false;
    bool groupOurs = false; // the group being read applies to us / to "*"
    bool groupStar = false;
    bool inRules = false; // a rule followed the group's user-agent lines

    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        QByteArrayView line = text.sliced(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;

        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const Key key = keyOf(trimmed(line.first(colon)));
        const QByteArrayView value = trimmed(line.sliced(colon + 1));

        switch (key) {
        case Key::UserAgent: {
            if (inRules) {
                groupOurs = groupStar = false;
                inRules = false;
            }
            if (value.startsWith('*')) {
                groupStar = true;
            } else {
                const QByteArrayView token = productTokenOf(value);
                if (!token.isEmpty() && equalsCaseless(token, productToken)) {
                    groupOurs = true;
                    oursSeen = true;
                }
            }
            break;
        }
        case Key::Allow:
        case Key::Disallow: {
            inRules = true;
            if (value.isEmpty() || !(groupOurs || groupStar))
                break; // an empty value forbids nothing
            QByteArray pattern = normalized(value);
            if (!pattern.startsWith('/') && !pattern.startsWith('*'))
                pattern.prepend('/');
            const Rule rule{pattern, key == Key::Allow};
            if (groupOurs)
                ours.m_rules.append(rule);
            if (groupStar)
                star.m_rules.append(rule);
            break;
        }
        case Key::CrawlDelay: {
            inRules = true;
            const int ms = delayMsOf(value);
            if (ms < 0)
                break;
            if (groupOurs && !oursDelay) {
                ours.m_crawlDelayMs = ms;
                oursDelay = true;
            }
            if (groupStar && !starDelay) {
                star.m_crawlDelayMs = ms;
                starDelay = true;
            }
            break;
        }
        case Key::Other:
            break; // sitemaps and unknown records neither add rules nor end a group
        }
    }
    RobotsTxt chosen = oursSeen ? ours : star;
    chosen.prepareRules();
    return chosen;
}

bool RobotsTxt::allowed(QByteArrayView path) const
{
    if (m_rules.isEmpty())
        return true;
    QByteArray p = normalized(path);
    if (p.isEmpty())
        p = "/";
    if (p == "/robots.txt")
        return true;
    for (const Rule &r : m_rules) {
        if (patternMatches(r.pattern, p))
            return r.allow;
    }
    return true;
}

RobotsTxt::Verdict RobotsTxt::verdict(int status, int redirectsFollowed)
{
    if (status >= 200 && status <= 299)
        return Verdict::UseRules;
    if (status >= 300 && status <= 399)
        return redirectsFollowed < MaxRedirects ? Verdict::FollowRedirect : Verdict::AllowAll;
    if (status >= 400 && status <= 499)
        return Verdict::AllowAll;
    // 5xx, no answer at all, or a status that is no final answer.
    return Verdict::DisallowAll;
}

RobotsTxt RobotsTxt::fromAnswer(int status, int redirectsFollowed, QByteArrayView body,
                                QByteArrayView productToken)
{
    switch (verdict(status, redirectsFollowed)) {
    case Verdict::UseRules:
        return parse(body, productToken);
    case Verdict::FollowRedirect:
    case Verdict::AllowAll:
        return allowAll();
    case Verdict::DisallowAll:
        break;
    }
    return disallowAll();
}
