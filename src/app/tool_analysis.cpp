// varnel-tool text, faxes, links and areacode: page analysis on saved pages.

#include "tool.h"

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
    "faxes", "varnel-tool faxes [--intl] [--literal] [--explain] FILE...",
    "print the fax numbers harvested from page bodies (--intl: allow international; "
    "--literal: the fax line scan alone; --explain: E.164 form, label, how found, text around)",
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

int runText(const QStringList &args)
{
    if (args.size() != 1 || args.at(0).startsWith(QLatin1String("--")))
        return Tool::usageError(textCmd);
    QByteArray html;
    QString error;
    if (!readFile(args.at(0), &html, &error))
        return Tool::fileError(args.at(0), error);
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

int runFaxes(const QStringList &args)
{
    FinderInput in;
    bool literal = false;
    bool explain = false;
    QStringList files;
    for (const QString &a : args) {
        if (a == QLatin1String("--intl"))
            in.allowInternational = true;
        else if (a == QLatin1String("--literal"))
            literal = true;
        else if (a == QLatin1String("--explain"))
            explain = true;
        else if (a.startsWith(QLatin1String("--")))
            return Tool::usageError(faxesCmd);
        else
            files << a;
    }
    if (files.isEmpty())
        return Tool::usageError(faxesCmd);
    if (literal && !explain)
        return literalFaxes(files, in.allowInternational);

    // Numbers new across all files, as the store would keep them: by their text with the
    // finder off, by their E.164 form with it on.
    in.findBeyondFaxLine = !literal;
    QSet<QString> seen;
    QByteArray out;
    QString error;
    for (const QString &file : qAsConst(files)) {
        QByteArray body;
        if (!readFile(file, &body, &error)) {
            flush(out);
            return Tool::fileError(file, error);
        }
        for (const FoundNumber &f : findFaxNumbers(body, in)) {
            const QString key = literal || f.e164.isEmpty() ? f.number : f.e164;
            if (seen.contains(key))
                continue;
            seen.insert(key);
            if (explain) {
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
    if (args.size() != 3 || args.at(0) != QLatin1String("--url") ||
        args.at(2).startsWith(QLatin1String("--")))
        return Tool::usageError(linksCmd);
    const QString file = args.at(2);
    QByteArray body;
    QString error;
    if (!readFile(file, &body, &error))
        return Tool::fileError(file, error);

    Session session;
    if (!session.usable(&error))
        return Tool::fileError(session.dir.path(), error);
    const ConnectTarget target = connectTargetOf(QFile::encodeName(args.at(1)));
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
    if (args.size() != 1)
        return Tool::usageError(areaCodeCmd);
    QByteArray number = QFile::encodeName(args.at(0));
    return flush(AreaCodeLookup(number) + '\n');
}

} // namespace
