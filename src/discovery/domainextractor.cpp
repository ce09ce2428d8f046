#include "domainextractor.h"

namespace DomainExtractor {

namespace {

const QLatin1String kHttp("http://");

// Replaces every occurrence of from (letter case ignored) by to.
void replaceCaseless(QString &text, QLatin1String from, QLatin1String to)
{
    text.replace(from, to, Qt::CaseInsensitive);
}

bool mentions(const QString &line, const QString &what)
{
    return !what.isEmpty() && line.contains(what, Qt::CaseInsensitive);
}

} // namespace

bool SeenNames::contains(const QString &name) const
{
    return m_folded.contains(name.toCaseFolded());
}

void SeenNames::append(const QString &name)
{
    m_text += name;
    m_folded += name.toCaseFolded();
}

void SeenNames::clear()
{
    m_text.clear();
    m_folded.clear();
}

QString prepareResultText(const QString &pageText)
{
    QString text = pageText;
    // Secure forms first, so that "https" never survives into a host name.
    replaceCaseless(text, QLatin1String("https%3a//"), kHttp);
    replaceCaseless(text, QLatin1String("http%3a//"), kHttp);
    replaceCaseless(text, QLatin1String("https://"), kHttp);

    QString out;
    out.reserve(text.size() + text.size() / 16);
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(kHttp, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        out += QStringView(text).mid(from, at - from);
        out += QLatin1String("\r\n");
        out += kHttp;
        from = at + kHttp.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

bool isAcceptedSuffix(const QString &suffix)
{
    static const char *const accepted[] = {"com", "org", "net", "gov", "Com", "Org",
                                           "Net", "Gov", "COM", "ORG", "NET", "GOV"};
    for (const char *a : accepted) {
        if (suffix == QLatin1String(a))
            return true;
    }
    return false;
}

QString candidateHost(const QString &line, const QStringList &skip, bool anyEnding)
{
    // The tests look at the whole line: the link and whatever text follows it.
    if (line.isEmpty() || !line.startsWith(kHttp))
        return QString();
    for (const QString &s : skip) {
        if (mentions(line, s))
            return QString();
    }
    if (!anyEnding && !line.contains(QLatin1String(".com"), Qt::CaseInsensitive) &&
        !line.contains(QLatin1String(".net"), Qt::CaseInsensitive) &&
        !line.contains(QLatin1String(".org"), Qt::CaseInsensitive))
        return QString();

    QString host = line.mid(kHttp.size());
    host.remove(QLatin1Char('"'));
    host.remove(QLatin1Char(' '));
    host.remove(QLatin1Char('\''));
    const qsizetype gt = host.indexOf(QLatin1Char('>'));
    if (gt >= 0)
        host.truncate(gt);
    const qsizetype slash = host.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        host.truncate(slash);
    return host;
}

QString nameOfHost(const QString &host)
{
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString(); // a host without "." names nothing
    QString name = host.mid(dot + 1);
    qsizetype suffixDot = name.indexOf(QLatin1Char('.'));
    if (suffixDot < 0) {
        // A two-label host has no label to spare: example.com stays whole.
        name = host;
        suffixDot = dot;
    }
    if (suffixDot == 0)
        return QString(); // ".com": no label before the suffix
    if (!isAcceptedSuffix(name.mid(suffixDot + 1)))
        return QString();
    return name;
}

QString candidateName(const QString &line, const QStringList &skip)
{
    const QString name = nameOfHost(candidateHost(line, skip));
    if (name.isEmpty())
        return QString();
    if (name.contains(QLatin1Char('<')) || name.contains(QLatin1Char('>')))
        return QString();
    if (name == QLatin1String("ttp:.com") || name == QLatin1String(" ttp:.com"))
        return QString();
    if (name.contains(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return QString();
    return name;
}

QStringList extractDomainNames(const QString &pageText, SeenNames &seen, const QStringList &skip)
{
    QStringList names;
    const QStringList lines = splitLines(prepareResultText(pageText));
    for (const QString &line : lines) {
        const QString name = candidateName(line, skip);
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen.append(name);
        names.append(name);
    }
    return names;
}

bool looksLikeBlockPage(const QString &pageText)
{
    // Phrases of the pages by which engines ask a visitor to prove being human. Matched
    // only on whole phrases, so that a result page about such checks is not taken for one.
    static const char *const phrases[] = {
        "unusual traffic",       "not a robot",         "are you a robot",
        "are you a human",       "prove you are human", "prove you're human",
        "verify you are human",  "verify you're human", "verify that you are human",
        "confirm you are human", "g-recaptcha",         "captcha-form",
    };
    for (const char *p : phrases) {
        if (pageText.contains(QLatin1String(p), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isBlockedAnswer(int httpStatus, const QString &pageText)
{
    return httpStatus == 429 || httpStatus == 503 || looksLikeBlockPage(pageText);
}

} // namespace DomainExtractor
