#include "pageanalysis.h"

#include "analysishost.h"
#include "bytetext.h"
#include "cp1252.h"
#include "faxscan.h"
#include "globals.h"
#include "htmltotext.h"
#include "links.h"
#include "moddatabase.h"
#include "textlist.h"
#include "workingfile.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstring>

namespace {

// The list keeps the newest numbers: at most 21 entries.
constexpr int kPreviewKeep = 20;

QString pageFile(const QString &dataDir, const char *stem, int slot)
{
    return QDir(dataDir).filePath(QLatin1String(stem) + QString::number(slot) + QLatin1String(".txt"));
}

// A page file that cannot be read is an empty page.
QByteArray readPageFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

} // namespace

bool writePageFile(const QString &path, QByteArrayView text, QByteArrayView suffix)
{
    const int fd = WorkingFile::openForWriting(path);
    if (fd < 0)
        return false;
    bool ok = WorkingFile::writeAll(fd, text) && WorkingFile::writeAll(fd, suffix);
    ok = ok && ::ftruncate(fd, off_t(text.size() + suffix.size())) == 0;
    return ::close(fd) == 0 && ok;
}

void PageAnalysis::setWrittenPage(int slot, QByteArray page1, QByteArray page2)
{
    if (slot < 0 || slot >= kSlots)
        return;
    m_written1[slot] = std::move(page1);
    m_written2[slot] = std::move(page2);
    m_hasWritten1[slot] = m_hasWritten2[slot] = true;
}

QString pageFile1(const QString &dataDir, int slot)
{
    return pageFile(dataDir, "html", slot);
}

QString pageFile2(const QString &dataDir, int slot)
{
    return pageFile(dataDir, "html2", slot);
}

ConnectTarget connectTargetOf(const QByteArray &strURL)
{
    ConnectTarget t;
    QByteArray url = strURL;
    if (url.endsWith('/'))
        url.chop(1);
    // Both schemes go; a secure one is noted for the connect.
    if (ByteText::containsCaseless(url, "https://")) {
        url = ByteText::removeAll(url, "https://", true);
        t.https = true;
    }
    url = ByteText::removeAll(url, "http://", true);
    t.strCurUrl = url;
    if (url.endsWith('/'))
        t.strCurDir = url + '/';
    else if (!url.contains('/'))
        t.strCurDir = url + '/'; // a bare host is its own directory
    else
        t.strCurDir = ParentPath(url);

    const qsizetype slash = url.indexOf('/');
    if (slash < 0) {
        t.strHost = url;
        t.strPath = "/";
    } else {
        const QByteArray h = url.left(slash + 1);
        t.strPath = ByteText::removeAll(url, h, false);
        t.strHost = h;
        t.strHost.replace("/", "");
    }
    if (t.strPath.isEmpty())
        t.strPath = "/";
    else if (!t.strPath.startsWith('/'))
        t.strPath.prepend('/');
    return t;
}

PageAnalysis::PageAnalysis(AnalysisHost *host, modDatabase *db, Counters *counters, TextList *list3,
                           const QString &dataDir)
    : m_host(host), m_db(db), m_counters(counters), m_list3(list3), m_dataDir(dataDir)
{
}

void PageAnalysis::GetLinks(int slot)
{
    if (!m_host->isHarvesting())
        return;
    m_host->setStatusPanel(2, QStringLiteral("Getting Links"));

    QByteArray page;
    if (slot >= 0 && slot < kSlots && m_hasWritten1[slot]) {
        page = std::move(m_written1[slot]);
        m_written1[slot] = QByteArray();
        m_hasWritten1[slot] = false;
    } else {
        page = readPageFile(pageFile1(m_dataDir, slot));
    }
    const QByteArray curUrl = m_host->strCurUrl();
    const QByteArray curDir = m_host->strCurDir();
    const char *s = page.constData();
    const qsizetype n = page.size();
    ByteText::CaselessFinder href(page, "href=");
    qsizetype at = href.next(0);
    if (m_db)
        m_db->beginBatch();
    while (at >= 0) {
        // The line around this "href=": it ends at CR, LF or CR LF.
        qsizetype end = at;
        while (end < n && s[end] != '\r' && s[end] != '\n')
            ++end;
        const QList<QByteArray> texts = linkTextsOfLine(QByteArrayView(s + at, end - at));
        for (QByteArray link : texts) {
            if (isSkippedLink(link))
                continue;
            NormalizeUrl(link, curUrl, curDir);
            QString site = Cp1252::toUnicode(link);
            if (!m_db || m_db->WebsiteExists(site))
                continue;
            if (m_counters)
                m_counters->AddStat(Counters::SiteFound);
            m_db->AddWebsite(site);
            if (m_siteQueued)
                m_siteQueued(site);
        }
        if (!m_host->isHarvesting())
            break;
        at = end < n ? href.next(end + 1) : -1;
    }
    if (m_db)
        m_db->endBatch();

    m_host->setStatusPanel(2, QString());
    if (m_host->isHarvesting())
        GetFaxes(slot);
}

void PageAnalysis::GetFaxes(int slot)
{
    m_host->setStatusPanel(2, QStringLiteral("Getting Faxes"));
    if (!m_host->isHarvesting())
        return;

    const QString path = pageFile2(m_dataDir, slot);
    QByteArray bytes;
    bool readable = false;
    if (slot >= 0 && slot < kSlots && m_hasWritten2[slot]) {
        bytes = std::move(m_written2[slot]);
        m_written2[slot] = QByteArray();
        m_hasWritten2[slot] = false;
        readable = true;
    } else {
        QFile file(path);
        readable = file.open(QIODevice::ReadOnly);
        if (readable)
            bytes = file.readAll();
    }
    if (readable) {
        // The file as a download leaves it is one line; copies are made only when needed.
        QByteArray joined;
        QByteArrayView page = bytes;
        const qsizetype cr = bytes.indexOf('\r');
        if (cr >= 0 && cr == bytes.size() - 2 && bytes.endsWith('\n')) {
            page = page.first(cr);
        } else if (cr >= 0) {
            joined = joinLines(bytes);
            page = joined;
        }
        QByteArray marked;
        if (ByteText::containsCaseless(page, "fax")) {
            marked = markFaxWords(page);
            page = marked;
        }
        // The text is scanned as written to the file (the file then ends with CR LF).
        const QByteArray text = HtmlToText(page, path);
        const bool intl = m_host->allowInternational();
        forEachFaxLine(text, [&](QByteArrayView line) {
            const FaxFinding f = scanFaxLine(line, intl);
            if (f.found)
                storeNumber(slot, f.number, f.label);
        });
    }

    m_host->setStatusPanel(2, QString());
    if (m_host->isHarvesting())
        m_host->FetchNextSite(slot);
}

void PageAnalysis::storeNumber(int slot, const QByteArray &numberBytes, const QByteArray &labelBytes)
{
    if (!m_db)
        return;
    QString number = Cp1252::toUnicode(numberBytes);
    if (m_db->FaxExists(number))
        return;
    const QString label = Cp1252::toUnicode(labelBytes);
    const QString entry = number + QStringLiteral(" | ") + label;
    if (m_lFaxCount < 2147483647)
        ++m_lFaxCount;
    if (m_list3) {
        if (m_list3->count() > kPreviewKeep)
            m_list3->removeItem(0);
        m_list3->addItem(entry);
    }
    QString search = m_host->currentSearch();
    m_db->AddFax(number, Cp1252::toUnicode(m_host->slotAddress(slot)), search, label);
    if (m_host->soundOnFaxFound())
        m_host->playSound(QStringLiteral("sounds/foundfax.wav"));
    if (m_counters)
        m_counters->AddStat(Counters::NumberFound);
    m_host->setStatusPanel(3, QStringLiteral("Found ") + QString::number(m_lFaxCount) + QStringLiteral(" faxes"));
    if (m_numberStored)
        m_numberStored(entry);
}
