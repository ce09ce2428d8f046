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
    bool cellStart = false; // the first line of its cell
    bool footer = false;    // inside <footer> or an element whose id or class says footer
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

struct PageText
{
    QByteArray text; // UTF-8; digits, dashes and spaces in ASCII form; each line ends in '\n'
    QList<TextLine> lines;
    QList<LabelMark> marks; // in text order
    QList<MarkedNumber> numbers;
    QByteArray lang;                     // lang of <html>, lower case
    QByteArray canonicalHost;            // from rel=canonical, og:url or <base>
    QMap<QByteArray, int> linkTopLevels; // last label of every linked host and mail domain
};

PageText readPageText(QByteArrayView html);

// Appends text (UTF-8; a byte that starts no valid UTF-8 sequence is read as Windows-1252)
// as UTF-8, with full-width digits and signs, dashes and the many spaces reduced to their
// ASCII forms and invisible characters dropped. Line breaks and tabs become spaces.
void appendNumberText(QByteArray &out, QByteArrayView text);
