#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <functional>

// A tag-aware pass over a page, just enough to tell where a link stands: which elements
// (tag, id, class, other attributes) enclose it. It is not a full HTML parser: scripts,
// styles and comments are skipped, unclosed elements stay open until an end tag of an
// outer element closes them, and a sibling li, p, dt, dd, tr, td or option closes the one
// before it. A result page of a megabyte is read in a few milliseconds, several times
// faster than a full HTML5 tree builder, and the readers need no more than this.
namespace HtmlScan {

// One open element. The views point into the page text and live as long as it.
struct Element
{
    QStringView tag; // as written; compare with is()
    QStringView id;
    QStringView classes;    // the class attribute, tokens separated by white space
    QStringView attributes; // the whole attribute text, for data-* and other tests

    bool is(QLatin1String name) const { return tag.compare(name, Qt::CaseInsensitive) == 0; }
    // A whole token of the class attribute, letter case kept.
    bool hasClass(QStringView token) const;
    bool hasClass(QLatin1String token) const;
    // The first attribute of that name (letter case ignored), entities decoded; a null
    // text when it is absent.
    QString attribute(QLatin1String name) const;
};

// The open elements around a link, outermost first.
using Path = QVarLengthArray<Element, 48>;

// Calls visit for every <a> with an href outside scripts, styles and comments, in page
// order: the enclosing elements (the link itself not included), the link's own element,
// and its href with character references decoded.
using LinkVisitor =
    std::function<void(const Path &enclosing, const Element &link, const QString &href)>;
void forEachLink(QStringView html, const LinkVisitor &visit);

// Whether any enclosing element is a tag (empty: any tag) with that class token.
bool within(const Path &path, QLatin1String tag, QLatin1String classToken);

// The value of the first <input type="hidden" name=NAME> of the page (a form keeps its
// token so); a null text when there is none.
QString hiddenInputValue(QStringView html, QLatin1String name);

// The page less the content of its scripts and styles, which hold every text a page might
// show (a block page's words in a result page's script among them).
QString withoutScripts(QStringView html);

// Character references of an attribute value: &amp; &quot; &apos; &lt; &gt; and numeric
// ones; others stay as written.
QString decodeReferences(QStringView text);

} // namespace HtmlScan
