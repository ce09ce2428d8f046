// varnel-tool text, faxes, links and areacode: page analysis on saved pages.

#include "tool.h"

#include "analysishost.h"
#include "areacode.h"
#include "cp1252.h"
#include "globals.h"
#include "htmltotext.h"
#include "moddatabase.h"
#include "pageanalysis.h"
#include "textlist.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstring>


namespace {

int runText(const QStringList &args);
int runFaxes(const QStringList &args);
int runLinks(const QStringList &args);
int runAreaCode(const QStringList &args);

ToolCommand textCmd("text", "varnel-tool text FILE",
                    "print the text the fax scan reads from the HTML in FILE", runText);
ToolCommand faxesCmd("faxes", "varnel-tool faxes [--intl] FILE...",
                     "print the fax numbers harvested from page bodies (--intl: allow international)",
                     runFaxes);
ToolCommand linksCmd("links", "varnel-tool links --url SITE FILE",
                     "print the sites queued from the page body in FILE fetched from SITE", runLinks);
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

// The body without any CR or LF, as a finished download's second page file holds it
// (before its closing CR LF).
QByteArray withoutLineBreaks(const QByteArray &body)
{
    QByteArray out(body.size(), Qt::Uninitialized);
    char *d = out.data();
    const char *s = body.constData();
    const char *const end = s + body.size();
    // Copy the stretches between line breaks; the next CR and LF are each looked up once.
    const char *cr = static_cast<const char *>(std::memchr(s, '\r', size_t(end - s)));
    const char *lf = static_cast<const char *>(std::memchr(s, '\n', size_t(end - s)));
    while (s < end) {
        if (cr && cr < s)
            cr = static_cast<const char *>(std::memchr(s, '\r', size_t(end - s)));
        if (lf && lf < s)
            lf = static_cast<const char *>(std::memchr(s, '\n', size_t(end - s)));
        const char *brk = !cr ? lf : !lf ? cr : (cr < lf ? cr : lf);
        const char *stop = brk ? brk : end;
        std::memcpy(d, s, size_t(stop - s));
        d += stop - s;
        s = stop + (brk ? 1 : 0);
    }
    out.truncate(d - out.constData());
    return out;
}

// A harvest that always runs, with one slot whose page is the file at hand.
class ToolHost : public AnalysisHost
{
public:
    bool isHarvesting() const override { return true; }
    void setStatusPanel(int, const QString &) override {}
    QByteArray strCurUrl() const override { return curUrl; }
    QByteArray strCurDir() const override { return curDir; }
    QByteArray slotAddress(int) const override { return address; }
    QString currentSearch() const override { return QString(); }
    bool allowInternational() const override { return intl; }
    bool soundOnFaxFound() const override { return false; }
    void playSound(const QString &) override {}
    void FetchNextSite(int) override {}

    QByteArray curUrl;
    QByteArray curDir;
    QByteArray address;
    bool intl = false;
};

// A store, counters and preview list that live in a fresh temporary data directory.
struct Session
{
    QTemporaryDir dir;
    Counters counters{nullptr};
    TextList list3;
    modDatabase db{dir.path(), &counters};
    ToolHost host;
    PageAnalysis analysis{&host, &db, &counters, &list3, dir.path()};
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

int runFaxes(const QStringList &args)
{
    bool intl = false;
    QStringList files;
    for (const QString &a : args) {
        if (a == QLatin1String("--intl"))
            intl = true;
        else if (a.startsWith(QLatin1String("--")))
            return Tool::usageError(faxesCmd);
        else
            files << a;
    }
    if (files.isEmpty())
        return Tool::usageError(faxesCmd);

    Session session;
    QString error;
    if (!session.usable(&error))
        return Tool::fileError(session.dir.path(), error);
    session.host.intl = intl;
    session.analysis.setObservers(nullptr, [&session](const QString &entry) {
        session.out += Cp1252::fromUnicode(entry);
        session.out += '\n';
    });
    const QString page2 = pageFile2(session.dir.path(), 0);
    for (const QString &file : qAsConst(files)) {
        QByteArray body;
        if (!readFile(file, &body, &error)) {
            flush(session.out);
            return Tool::fileError(file, error);
        }
        // The second page file of a finished download: the body without CR and LF.
        if (!writeTextFile(page2, withoutLineBreaks(body)))
            return Tool::fileError(page2, QStringLiteral("cannot be written"));
        session.host.address = QFile::encodeName(file);
        session.analysis.GetFaxes(0);
        if (session.out.size() > (1 << 16)) {
            if (flush(session.out))
                return 1;
            session.out.clear();
        }
    }
    return flush(session.out);
}

int runLinks(const QStringList &args)
{
    if (args.size() != 3 || args.at(0) != QLatin1String("--url") || args.at(2).startsWith(QLatin1String("--")))
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
    session.host.curUrl = target.strCurUrl;
    session.host.curDir = target.strCurDir;
    session.host.address = target.strHost + target.strPath;
    session.analysis.setObservers(
        [&session](const QString &site) {
            session.out += Cp1252::fromUnicode(site);
            session.out += '\n';
        },
        nullptr);
    const QString page1 = pageFile1(session.dir.path(), 0);
    if (!writeTextFile(page1, body))
        return Tool::fileError(page1, QStringLiteral("cannot be written"));
    session.analysis.GetLinks(0);
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
