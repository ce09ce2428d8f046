// varnel-tool text, faxes, links and areacode: page analysis on saved pages.

#include "tool.h"
#include "toolargs.h"

#include "areacode.h"
#include "cp1252.h"
#include "faxfinder.h"
#include "faxscan.h"
#include "htmltotext.h"
#include "pageanalysis.h"
#include "sqlitestore.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>

namespace {

int runText(const QStringList &args);
int runFaxes(const QStringList &args);
int runLinks(const QStringList &args);
int runAreaCode(const QStringList &args);

ToolCommand textCmd("text", "varnel-tool text FILE",
                    "print the text the fax scan reads from the HTML in FILE; a control "
                    "character of it other than a tab or a line end is printed as \\xHH (ESC as "
                    "\\x1b), where another reader of the page prints the character itself",
                    runText);
ToolCommand faxesCmd(
    "faxes", "varnel-tool faxes [--intl] [--literal] [--explain | --json] FILE...",
    "print the fax numbers harvested from page bodies (--intl: allow international; "
    "--literal: the fax line scan alone; --explain: E.164 form, label, how found, text around, "
    "and on standard error the candidates dropped and why; --json: one object per number with "
    "whom it reaches, read from the page)",
    runFaxes);
ToolCommand linksCmd("links", "varnel-tool links --url SITE FILE",
                     "print the sites queued from the page body in FILE fetched from SITE",
                     runLinks);
ToolCommand areaCodeCmd("areacode", "varnel-tool areacode NUMBER",
                        "print the area code label of a North American number", runAreaCode);

bool readFile(const QString &path, QByteArray *bytes, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return false;
    }
    *bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        *error = f.errorString();
        return false;
    }
    return true;
}

// A store in a fresh temporary data directory: what is new is decided as in a harvest.
struct Session
{
    QTemporaryDir dir;
    SqliteStore db{dir.path()};
    QByteArray out;

    bool usable(QString *error)
    {
        if (!dir.isValid()) {
            *error = dir.errorString();
            return false;
        }
        if (!db.isUsable()) {
            *error = db.lastError();
            return false;
        }
        return true;
    }
};

// Everything these commands print comes from the page: escaped, never raw.
int flush(const QByteArray &out)
{
    if (!Tool::writeStdout(Tool::escapeControls(out)))
        return Tool::fileError(QStringLiteral("standard output"), QStringLiteral("write failed"));
    return 0;
}

// The words of a command without options; nothing when an option is given.
std::optional<QStringList> wordsOnly(const QStringList &args)
{
    ToolArgs parser(args);
    QString error;
    if (!parser.parse(&error))
        return std::nullopt;
    return parser.positional();
}

int runText(const QStringList &args)
{
    const std::optional<QStringList> words = wordsOnly(args);
    if (!words || words->size() != 1)
        return Tool::usageError(textCmd);
    const QString file = words->first();
    QByteArray html;
    QString error;
    if (!readFile(file, &html, &error))
        return Tool::fileError(file, error);
    return flush(HtmlToText(html) + "\r\n");
}

// The fax line scan alone, through the harvest's own page analysis and store.
int literalFaxes(const QStringList &files, bool intl)
{
    Session session;
    QString error;
    if (!session.usable(&error))
        return Tool::fileError(session.dir.path(), error);
    AnalysisOptions options;
    options.allowInternational = intl;
    for (const QString &file : qAsConst(files)) {
        QByteArray body;
        if (!readFile(file, &body, &error)) {
            flush(session.out);
            return Tool::fileError(file, error);
        }
        PageFindings found;
        findNumbers(withoutLineBreaks(body), options, &found);
        for (const FoundNumber &n : qAsConst(found.numbers)) {
            // A number is printed when it is new to the store, as "number | label".
            FaxRow row;
            row.fax = n.number;
            if (session.db.faxExists(row.fax).value_or(true))
                continue;
            row.website = file;
            row.location = n.location;
            (void)session.db.addFax(row);
            session.out += Cp1252::fromUnicode(row.fax + QStringLiteral(" | ") + n.location);
            session.out += '\n';
        }
        if (session.out.size() > (1 << 16)) {
            if (flush(session.out))
                return 1;
            session.out.clear();
        }
    }
    return flush(session.out);
}

// One field of an --explain line (UTF-8): no tabs or line breaks inside, controls escaped.
QByteArray field(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return Tool::printable(text);
}

// One line of `faxes --json`: the number, its evidence and its owner.
QByteArray jsonLine(const FoundNumber &f, const QString &page)
{
    const ContactOwner &o = f.owner;
    const std::pair<const char *, QString> fields[] = {
        {"number", f.number}, {"e164", f.e164},       {"label", f.label},
        {"how", f.how},       {"context", f.context}, {"organization", o.organization},
        {"unit", o.unit},     {"street", o.street},   {"postal_code", o.postalCode},
        {"city", o.city},     {"region", o.region},   {"country", o.country},
        {"phone", o.phone},   {"email", o.email},     {"page", page},
    };
    QByteArray out = "{";
    for (const auto &[key, value] : fields) {
        if (out.size() > 1)
            out += ',';
        out += '"' + QByteArray(key) + "\":" + Tool::jsonString(value);
    }
    // Where each part of the owner was read.
    QByteArray from;
    for (const auto &[key, value] : o.sources()) {
        if (value->isEmpty())
            continue;
        from += (from.isEmpty() ? "" : ",") +
                ('"' + QByteArray(key) + "\":" + Tool::jsonString(*value));
    }
    return out + ",\"sources\":{" + from + "}}\n";
}

int runFaxes(const QStringList &args)
{
    ToolArgs parser(args);
    for (const char *name : {"intl", "literal", "explain", "json"})
        parser.addSwitch(QLatin1String(name));
    QString parseError;
    if (!parser.parse(&parseError))
        return Tool::usageError(faxesCmd);
    FinderInput in;
    in.allowInternational = parser.isSet(QStringLiteral("intl"));
    const bool literal = parser.isSet(QStringLiteral("literal"));
    const bool explain = parser.isSet(QStringLiteral("explain"));
    const bool json = parser.isSet(QStringLiteral("json"));
    const QStringList files = parser.positional();
    if (files.isEmpty() || (explain && json))
        return Tool::usageError(faxesCmd);
    if (literal && !explain && !json)
        return literalFaxes(files, in.allowInternational);

    // Numbers new across all files, as the store would keep them: by their text with the
    // finder off, by their E.164 form with it on.
    in.findBeyondFaxLine = !literal;
    QList<DroppedNumber> dropped;
    if (explain)
        in.dropped = &dropped;
    QSet<QString> seen;
    QByteArray out;
    QString error;
    for (const QString &file : qAsConst(files)) {
        QByteArray body;
        if (!readFile(file, &body, &error)) {
            flush(out);
            return Tool::fileError(file, error);
        }
        const QList<FoundNumber> found = findFaxNumbers(body, in);
        // The candidates dropped go to standard error, so that the numbers stay a list.
        QByteArray why;
        for (const DroppedNumber &d : qAsConst(dropped))
            why += "dropped\t" + field(d.written) + '\t' + field(d.how) + '\t' + field(d.reason) +
                   '\t' + field(d.context) + '\n';
        if (!why.isEmpty())
            fputs(why.constData(), stderr);
        for (const FoundNumber &f : found) {
            const QString key = literal || f.e164.isEmpty() ? f.number : f.e164;
            if (seen.contains(key))
                continue;
            seen.insert(key);
            if (json) {
                out += jsonLine(f, file);
            } else if (explain) {
                out += field(f.number) + '\t' + field(f.e164) + '\t' + field(f.label) + '\t' +
                       field(f.how) + '\t' + field(f.context) + '\n';
            } else {
                out += Cp1252::fromUnicode(f.number + QStringLiteral(" | ") + f.location) + '\n';
            }
        }
        if (out.size() > (1 << 16)) {
            if (flush(out))
                return 1;
            out.clear();
        }
    }
    return flush(out);
}

int runLinks(const QStringList &args)
{
    ToolArgs parser(args);
    parser.addValue(QStringLiteral("url"), QStringLiteral("SITE"));
    QString parseError;
    if (!parser.parse(&parseError) || !parser.isSet(QStringLiteral("url")) ||
        parser.positional().size() != 1)
        return Tool::usageError(linksCmd);
    const QString file = parser.positional().first();
    QByteArray body;
    QString error;
    if (!readFile(file, &body, &error))
        return Tool::fileError(file, error);

    Session session;
    if (!session.usable(&error))
        return Tool::fileError(session.dir.path(), error);
    const ConnectTarget target =
        connectTargetOf(QFile::encodeName(parser.value(QStringLiteral("url"))));
    // The sites queued: each link new to the store, as stored.
    const QStringList links = findLinks(body, target.address());
    for (QString site : links) {
        if (session.db.websiteExists(site).value_or(true))
            continue;
        (void)session.db.addWebsite(site);
        session.out += Cp1252::fromUnicode(site);
        session.out += '\n';
    }
    return flush(session.out);
}

int runAreaCode(const QStringList &args)
{
    const std::optional<QStringList> words = wordsOnly(args);
    if (!words || words->size() != 1)
        return Tool::usageError(areaCodeCmd);
    QByteArray number = QFile::encodeName(words->first());
    return flush(AreaCodeLookup(number) + '\n');
}

} // namespace
