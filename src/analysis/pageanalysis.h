#pragma once

#include "faxfinder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Page analysis without side effects: the bytes of a downloaded page and its address in,
// what the page offers out. What is new, and what is stored or queued, the harvest decides.

// Everything one page yields, in page order (repeats included).
struct PageFindings
{
    QStringList links; // the page's links in website form (host/path, no scheme)
    // With the finder off: at most one per text line, repeats included, only the first
    // three fields set (the reference scan). With it on: each number once, with its
    // E.164 form and evidence (findFaxNumbers).
    QList<FoundNumber> numbers;
    QByteArray text; // the page as text lines, as the second page file keeps it
    // With AnalysisOptions::markContactLinks: for each of links, whether its text or its
    // address names a contact page (contactpages.h). Empty otherwise.
    QList<bool> contactLinks;
};

// Where a page was fetched from, as its relative links resolve against it.
struct PageAddress
{
    QByteArray url;       // the site without scheme and without one trailing "/"
    QByteArray directory; // its directory, ending in "/" (a bare host gives "host/")
};

struct AnalysisOptions
{
    bool allowInternational = true; // numbers outside North America are kept
    // The fax finder beside the fax line scan. Off unless asked for, so that a caller that
    // says nothing gets the reference scan.
    bool findBeyondFaxLine = false;
    // Links of other schemes than http and https (tel:, fax:, file:, ...) are left out
    // instead of read as paths of the page's site, as the original read them.
    bool webLinksOnly = false;
    // Tell which links name a contact page (PageFindings::contactLinks).
    bool markContactLinks = false;
    // The numbers whose owners the finder need not read (FinderInput::isStored).
    std::function<bool(const QString &e164)> isStored;
};

// The links and numbers of a page body (as received, without the HTTP header).
// flatBody, when given, is the body without CR and LF (withoutLineBreaks(body)), which the
// caller may have made already for the second page file.
PageFindings analysePage(QByteArrayView body, const PageAddress &address,
                         const AnalysisOptions &options = {}, QByteArrayView flatBody = {});

// The two halves of analysePage. findNumbers fills the numbers and the text; the finder
// reads the body as downloaded (it may be left out when the finder is off).
// contactLinks, when given, gets for each link whether it names a contact page.
QStringList findLinks(QByteArrayView body, const PageAddress &address, bool webLinksOnly = false,
                      QList<bool> *contactLinks = nullptr);
void findNumbers(QByteArrayView flatBody, const AnalysisOptions &options, PageFindings *out,
                 QByteArrayView body = {}, const PageAddress &address = {});

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

    PageAddress address() const { return {strCurUrl, strCurDir}; }
};
ConnectTarget connectTargetOf(const QByteArray &strURL);
