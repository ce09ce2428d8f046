#pragma once

#include "htmlscan.h"

#include <QList>
#include <QString>

#include <optional>

// Where a result link stands, written as in a style sheet: "div.g", "ol.results div.title",
// ".snippet[data-type=web]", "[class*=w-gl__result]". A selector of several parts separated
// by spaces encloses a link when elements matching its parts enclose it in that order,
// outermost first (the descendant rule of style sheets). A part is a tag (or "*", or
// nothing for any tag) followed by any number of ".class", "#id", "[attribute]",
// "[attribute=value]" and "[attribute*=text]" tests. Tags and attribute names ignore letter
// case; classes, ids and values keep it, as browsers compare them.
class LinkSelector
{
public:
    // The selector of a text, or nothing with *error saying what is wrong.
    static std::optional<LinkSelector> parse(const QString &text, QString *error);

    bool encloses(const HtmlScan::Path &enclosing) const;
    const QString &text() const { return m_text; }

private:
    struct Test
    {
        enum class Kind
        {
            Class,    // .name: a whole class token
            Id,       // #name
            Present,  // [name]
            Equals,   // [name=value]
            Contains, // [name*=value]
        };
        Kind kind = Kind::Class;
        QByteArray name; // attribute name, lower case
        QString value;
    };
    struct Step
    {
        QString tag; // empty: any
        QList<Test> tests;
    };

    static bool matches(const Step &step, const HtmlScan::Element &element);

    QString m_text;
    QList<Step> m_steps;
};
