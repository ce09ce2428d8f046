#include "fetchrequest.h"

#include "httpresponse.h"
#include "pageanalysis.h"

FetchRequest FetchRequest::forSite(const QByteArray &site, bool modern, const QByteArray &userAgent)
{
    const ConnectTarget t = connectTargetOf(site);
    FetchRequest r;
    r.pageUrl = t.strCurUrl;
    r.pageDirectory = t.strCurDir;
    r.host = t.strHost;
    r.path = t.strPath;
    r.https = t.https && modern;
    r.connectName = t.strHost;
    r.connectPort = r.https ? 443 : 80;
    if (modern) {
        r.userAgent = userAgent;
        r.keepAlive = true;
    }
    return r;
}

FetchRequest FetchRequest::redirected(const FetchRequest &from, const HttpResponse::Target &to)
{
    FetchRequest r = from;
    r.host = to.host;
    r.path = to.path;
    r.https = to.https;
    r.connectName = to.hostName;
    r.connectPort = to.port;
    // The page's links resolve against where it really is.
    const ConnectTarget where = connectTargetOf(to.host + to.path);
    r.pageUrl = where.strCurUrl;
    r.pageDirectory = where.strCurDir;
    return r;
}

void FetchRequest::preferTls()
{
    https = true;
    connectPort = 443;
}
