#pragma once

#include <QString>
#include <QUrl>

// The address a result link leads to. Engines wrap their result links in redirects of
// their own so that they see the click; the target is taken out of the wrapper instead of
// following it: "/url?q=" and "/url?url=", "/RU=…/RK=", "u=a1" with the address in
// base64url, "uddg=", and addresses whose scheme is percent-encoded ("https%3A%2F%2F…").
namespace ResultLinks {

// The absolute http or https address of a link as written in a page (character
// references already decoded), resolved against the page's address, with any wrappers
// taken off; an invalid QUrl when it leads nowhere on the web.
QUrl target(const QString &href, const QUrl &pageAddress);

} // namespace ResultLinks
