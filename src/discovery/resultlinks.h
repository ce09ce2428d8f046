#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The address a result link leads to. Engines wrap their result links in redirects of
// their own so that they see the click; the target is taken out of the wrapper instead of
// following it. Each engine's definition says how its wrappers hold the address; addresses
// whose scheme is percent-encoded ("https%3A%2F%2F…") are read for every engine.
namespace ResultLinks {

// One kind of wrapper: a link whose path is `path` (any path when empty; a path ending in
// "*" is a prefix) holds the address in the first of the query fields `query` that has one,
// after `strip` is taken off its front and it is decoded (base64url when asked); or, with
// `pathBetween` ("/RU=", "/RK=", …), in the path between the first marker and the next of
// the others. An address is a value that starts with "http" or "/".
struct Wrapper
{
    QString path;
    QStringList query;
    QString strip;
    bool base64url = false;
    QStringList pathBetween;
};

// The absolute http or https address of a link as written in a page (character
// references already decoded), resolved against the page's address, with any wrappers
// taken off (a wrapper inside a wrapper too); an invalid QUrl when it leads nowhere on the
// web.
QUrl target(const QString &href, const QUrl &pageAddress, const QList<Wrapper> &wrappers);

} // namespace ResultLinks
