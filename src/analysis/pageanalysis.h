#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class AnalysisHost;
class Counters;
class TextList;
class modDatabase;

// The two page files of fetch slot N in the data directory: "html" N ".txt" (the body as
// received, then CR LF) and "html2" N ".txt" (the body without CR and LF, then CR LF; later
// the page's text).
QString pageFile1(const QString &dataDir, int slot);
QString pageFile2(const QString &dataDir, int slot);

// Writes text and then suffix over a page file's old content and cuts the file to length.
// Emptying the file first makes common file systems write it out at once, and a new file
// costs a fresh inode for every page; plain system calls keep it to four per file. A link,
// pipe or device in the file's place is replaced by a file, never written through.
bool writePageFile(const QString &path, QByteArrayView text, QByteArrayView suffix = "\r\n");

// What a connect derives from the site text the scheduler hands it (strURL): the current
// URL and directory that relative links resolve against, and the host and path to request.
// Shared by the fetch slots and `varnel-tool links`.
struct ConnectTarget
{
    QByteArray strCurUrl; // strURL without its scheme and without one trailing "/"
    QByteArray strCurDir; // its directory, ending in "/" (a bare host gives "host/")
    QByteArray strHost;   // no scheme, no "/"
    QByteArray strPath;   // always begins with "/"
    bool https = false;   // the site text carried "https://"
};
ConnectTarget connectTargetOf(const QByteArray &strURL);

// GetLinks and GetFaxes: the analysis of one finished download of a slot. They read and
// write the slot's page files, call the store and the counters, write the status panels
// and List3, and hand the slot on (GetLinks -> GetFaxes -> host.FetchNextSite) as long as
// the harvest runs. Not re-entrant for the same slot; never re-enters the event loop.
class PageAnalysis
{
public:
    PageAnalysis(AnalysisHost *host, modDatabase *db, Counters *counters, TextList *list3,
                 const QString &dataDir);

    void GetLinks(int slot);
    void GetFaxes(int slot);

    // The contents the engine has just written to the slot's two page files: the next
    // GetLinks and GetFaxes of the slot take them from here instead of reading the files
    // back. Used once, then forgotten.
    void setWrittenPage(int slot, QByteArray page1, QByteArray page2);

    // Numbers stored since the program started (the "Found N faxes" status text).
    qint32 lFaxCount() const { return m_lFaxCount; }
    void setLFaxCount(qint32 n) { m_lFaxCount = n; }

    // Optional, for batch use: told of every site queued (as stored) and every number
    // stored (its preview entry "number | label").
    void setObservers(std::function<void(const QString &site)> siteQueued,
                      std::function<void(const QString &previewEntry)> numberStored)
    {
        m_siteQueued = std::move(siteQueued);
        m_numberStored = std::move(numberStored);
    }

private:
    void storeNumber(int slot, const QByteArray &number, const QByteArray &label);

    AnalysisHost *m_host;
    modDatabase *m_db;
    Counters *m_counters;
    TextList *m_list3;
    QString m_dataDir;
    qint32 m_lFaxCount = 0;
    static constexpr int kSlots = 10;
    QByteArray m_written1[kSlots];
    QByteArray m_written2[kSlots];
    bool m_hasWritten1[kSlots] = {};
    bool m_hasWritten2[kSlots] = {};
    std::function<void(const QString &)> m_siteQueued;
    std::function<void(const QString &)> m_numberStored;
};
