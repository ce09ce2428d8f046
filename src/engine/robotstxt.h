#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The rules of one host's robots.txt that apply to one crawler, as RFC 9309 reads them.
// Pure and total on every input (fuzzed); a value type, cheap to copy.
//
// Groups are chosen by the crawler's product token (ASCII case ignored); every group naming
// it counts, and only when none does, every "*" group. A path is allowed unless the longest
// matching rule is a disallow; an allow wins a tie. Patterns know "*" (any run of octets)
// and a final "$" (end of the path). Both sides are compared with the same percent-encoding:
// escaped unreserved characters are decoded, octets outside printable ASCII are escaped,
// hex digits are upper case. "/robots.txt" is always allowed.
//
// The file and the paths of its host come from the same hand, so the work of one allowed()
// is bounded whatever both hold: the file is read up to MaxBytes, a rule repeated is kept
// once, every rule costs time linear in its pattern and the path, and of the rules with a
// "*" before their end only the first MaxWildcardRules are matched as written. A disallow
// past them is read up to its first "*" (a prefix of everything it forbids, keeping its
// length as its weight); an allow past them is dropped. Either way nothing a rule forbids
// becomes allowed.
class RobotsTxt
{
public:
    // A file longer than this is read up to here (the RFC's floor for what a crawler parses).
    static constexpr qsizetype MaxBytes = 500 * 1024;
    // Rules with a "*" before the end of their pattern that are matched as written.
    static constexpr int MaxWildcardRules = 500;
    // Longest crawl delay honoured; a larger one is cut to it.
    static constexpr int MaxCrawlDelayMs = 10'000;

    RobotsTxt() = default; // allows everything
    static RobotsTxt allowAll() { return RobotsTxt(); }
    static RobotsTxt disallowAll();
    static RobotsTxt parse(QByteArrayView text, QByteArrayView productToken);

    // path: the request target as sent, beginning with "/", query included.
    bool allowed(QByteArrayView path) const;
    // Crawl-delay of the chosen groups in milliseconds (the first valid one), 0 when none.
    int crawlDelayMs() const { return m_crawlDelayMs; }

    // What to make of the answer to GET /robots.txt. status is the final status code, or -1
    // when there was no answer (name lookup failed, refused, reset, TLS failure, timeout, no
    // status line). redirectsFollowed counts the redirects already taken.
    enum class Verdict
    {
        UseRules, // 2xx: parse the body
        FollowRedirect,
        AllowAll,    // 4xx, or redirects beyond the limit: the file is unavailable
        DisallowAll, // 5xx or no answer: the host is unreachable, nothing is fetched this run
    };
    static constexpr int MaxRedirects = 5;
    static Verdict verdict(int status, int redirectsFollowed);
    // The rules a finished robots.txt request gives (UseRules parses body; FollowRedirect,
    // which the caller should have taken, counts as AllowAll).
    static RobotsTxt fromAnswer(int status, int redirectsFollowed, QByteArrayView body,
                                QByteArrayView productToken);

    // The form both sides are compared in (exposed for tests).
    static QByteArray normalized(QByteArrayView path);

private:
    struct Rule
    {
        QByteArray pattern; // normalised, stars at its end dropped; a final "$" is kept
        bool allow = false;
        qsizetype weight = 0; // the length of the pattern as written
    };
    // Longest weight first, an allow before a disallow of the same weight: the first rule
    // that matches decides.
    QList<Rule> m_rules;
    int m_crawlDelayMs = 0;

    // Weighs, dedupes, caps and orders the rules as parsed.
    void prepareRules();
};
