#pragma once

// Links to the pages where a business says how to reach it: contact, imprint, about us,
// locations and offices, in the languages of the fax label table. A crawl that reads these
// pages of a site first finds its fax after a few pages instead of after all of them.
// Plain tables, as the label words are: a new language is a few more rows.

#include <QByteArrayView>
#include <QStringView>

// The text of a link as the page has it between "<a ...>" and "</a>" (tags and entities
// left in) names a contact page: "Contact us", "Impressum", "Nous contacter", "联系我们".
// Long texts are sentences, not the names of pages, and never do.
bool linkTextNamesContactPage(QByteArrayView anchorHtml);

// The path of a link in website form (host/path; the host is not looked at) names a
// contact page: "/contact-us.html", "/de/impressum", "/index.php?page=kontakt".
bool addressNamesContactPage(QStringView site);

// The text of the anchor whose "href=" starts at hrefAt in page: what follows the tag up to
// "</a" (bounded), or nothing when the "href=" is not in an "<a" tag (a <link>, an <area>).
QByteArrayView anchorHtmlAt(QByteArrayView page, qsizetype hrefAt);
