#pragma once

// The page as a reader sees it, for the fax finder: one pass over the markup that keeps
// the visible text in lines (a line per block: paragraph, break, cell, list item, heading,
// term, form label), remembers where each line stands (table row and column, definition
// list, heading, footer), and collects what marks a number as a fax outside the text:
// icons and classes, microdata and RDFa, JSON-LD, fax: and tel: links, meta tags. Script
// and style contents are skipped to their end tag, so code holding "<" swallows nothing.
// Cost grows linearly with the page; nothing is ever looked up twice.

#include "faxlabels.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>

#include <utility>

enum class LineKind : unsigned char
{
    Plain,
    Cell,       // td
    HeaderCell, // th
    Term,       // dt
    Definition, // dd
    Heading,    // h1 .. h6
    FormLabel,  // label
    ListItem,   // li
};

struct TextLine
{
    qsizetype begin = 0; // into PageText::text; the line ends before its '\n'
    qsizetype end = 0;
    LineKind kind = LineKind::Plain;
    int table = -1; // for cells: which table, row and column (counted from 0)
    int row = -1;
    int column = -1;
    bool cellStart = false;  // the first line of its cell
    bool footer = false;     // inside <footer> or an element whose id or class says footer
    unsigned char level = 0; // of a heading: 1 for h1 .. 6 for h6
};

// A label given by markup instead of words: a fax icon, a class, an image's alternative
// text, itemprop or property. It stands before the element's text.
struct LabelMark
{
    enum Source : unsigned char
    {
        Icon,
        Microdata,
        Rdfa
    };
    qsizetype at = 0;
    LabelKind kind = LabelKind::Fax;
    Source source = Icon;
    QByteArray text; // what said so, e.g. "fa-fax" or "itemprop=faxNumber"
};

// A number given in an attribute or structured data rather than in the text.
struct MarkedNumber
{
    enum Source : unsigned char
    {
        JsonLd,
        Microdata,
        Rdfa,
        Meta,
        FaxLink,
        TelLink
    };
    QByteArray value; // as written there (UTF-8)
    Source source = JsonLd;
    QByteArray label; // "faxNumber", "fax:", ...
    qsizetype at = 0; // the text offset when it was met
};

// An element that groups what it holds as one thing: a microdata item (itemscope), an
// RDFa resource (typeof), an hCard (class vcard or h-card) or its address (adr, h-adr).
struct DataScope
{
    enum Kind : unsigned char
    {
        Microdata,
        Rdfa,
        HCard
    };
    Kind kind = Microdata;
    QByteArray type;     // the local name: "Organization", "PostalAddress", "vcard", "adr"
    QByteArray viaProp;  // the property of the outer item it is the value of ("address")
    qsizetype begin = 0; // the text it holds
    qsizetype end = -1;
    int parent = -1; // the scope it stands in
};

// A property of a scope: itemprop, property or an hCard class, and its value.
struct DataProp
{
    int scope = -1;      // -1 outside every scope
    QByteArray name;     // local name, as written: "telephone", "fn", "street-address"
    QByteArray value;    // the content attribute (decoded); else empty and the text counts
    qsizetype begin = 0; // the element's text
    qsizetype end = -1;
    bool hasContent = false;
};

// A link's target that is no page: tel: and mailto:.
struct LinkedValue
{
    QByteArray value; // after the scheme (UTF-8, entities decoded)
    qsizetype at = 0; // the text offset when it was met
};

struct PageText
{
    QByteArray text; // UTF-8; digits, dashes and spaces in ASCII form; each line ends in '\n'
    QList<TextLine> lines;
    QList<LabelMark> marks; // in text order
    QList<MarkedNumber> numbers;
    QByteArray lang;                     // lang of <html>, lower case
    QByteArray canonicalHost;            // from rel=canonical, og:url or <base>
    QMap<QByteArray, int> linkTopLevels; // last label of every linked host and mail domain

    // Who the page speaks for: read only when a number is found.
    QByteArray title;         // the <title> text (entities decoded, spaces collapsed)
    QByteArray siteName;      // og:site_name, else application-name
    QByteArray logoAlt;       // the alternative text of the first logo image
    QList<QByteArray> jsonLd; // each JSON-LD script as written (at most 256 KiB in all)
    QList<DataScope> scopes;  // in document order
    QList<DataProp> props;    // in document order
    QList<std::pair<qsizetype, qsizetype>> addresses; // the text of each <address>
    QList<LinkedValue> telLinks;                      // tel: links that say nothing of fax
    QList<LinkedValue> mailLinks;                     // mailto: links
};

PageText readPageText(QByteArrayView html);

// Appends text (UTF-8; a byte that starts no valid UTF-8 sequence is read as Windows-1252)
// as UTF-8, with full-width digits and signs, dashes and the many spaces reduced to their
// ASCII forms and invisible characters dropped. Line breaks and tabs become spaces.
void appendNumberText(QByteArray &out, QByteArrayView text);
