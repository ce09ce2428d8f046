#pragma once

#include <QString>
#include <QStringList>

// Reading domain names out of a search engine's result page. Pure text functions: the
// run of the list builder adds the page file around them, the harvest the store.
namespace DomainExtractor {

// The names accepted so far in a run, concatenated with no separator (strSeen). A
// candidate counts as known when it occurs anywhere inside, letter case ignored, so once
// example.com is known, ample.com and EXAMPLE.COM are known too.
class SeenNames
{
public:
    bool contains(const QString &name) const;
    void append(const QString &name);
    void clear();
    const QString &text() const { return m_text; }

private:
    QString m_text;
    QString m_folded; // m_text case-folded, searched instead of folding at every test
};

// Encoded and secure schemes ("https%3a//", "http%3a//", "https://", any letter case)
// become "http://", and a CR LF goes before every "http://", written in lower case, so
// that every link starts a line of its own.
QString prepareResultText(const QString &pageText);

// The lines of a page file: a line ends at CR or at CR LF; a lone LF stays in its line.
QStringList splitLines(const QString &text);

// The suffix test: exact and case-sensitive (com, Com, COM pass; cOm does not).
bool isAcceptedSuffix(const QString &suffix);

// The candidate test for one line of a prepared page and the host it names: the text after
// "http://" less quotes, spaces and apostrophes, up to the first ">" or "/". Empty when
// the line is no candidate, or mentions one of skip (letter case ignored: the engines' own
// domains, which the engine's definition names). With anyEnding the line need not mention
// .com, .net or .org.
QString candidateHost(const QString &line, const QStringList &skip, bool anyEnding = false);

// The name derivation for a host: the host less its first label (a two-label host stays
// whole), kept only when what follows its first "." is an accepted suffix. Empty otherwise.
QString nameOfHost(const QString &host);

// The candidate test and the name derivation for one line of a prepared page: the name
// (label.suffix, in the case of the link), or an empty text when the line gives none.
// Does not consult the names already found.
QString candidateName(const QString &line, const QStringList &skip);

// The whole of one result page: every name that is new against seen, in order; each is
// appended to seen as it is accepted.
QStringList extractDomainNames(const QString &pageText, SeenNames &seen, const QStringList &skip);

// A page by which the engine refuses the search (a check that the user is human).
bool looksLikeBlockPage(const QString &pageText);
// An answer by which the engine refuses the search: HTTP 429 or 503, or a block page.
bool isBlockedAnswer(int httpStatus, const QString &pageText);

} // namespace DomainExtractor
