#include "productinfo.h"

#include "varnel_version.h"

QString strProductName;
QString strCompanyName;
QString strWebsite;
bool bSkin = true;
bool bBanner = false;
QString strBannerUrl;

VersionInfo versionInfo()
{
    VersionInfo v;
    v.productName = QStringLiteral(VARNEL_PRODUCT_NAME);
    v.companyName = QStringLiteral(VARNEL_COMPANY_NAME);
    v.comments = QStringLiteral(VARNEL_WEBSITE);
    v.major = VARNEL_VERSION_MAJOR;
    v.minor = VARNEL_VERSION_MINOR;
    return v;
}

void LoadProductInfo()
{
    const VersionInfo v = versionInfo();
    strProductName = v.productName;
    strCompanyName = v.companyName;
    strWebsite = v.comments;
    bSkin = true;
    bBanner = false;
    strBannerUrl = QStringLiteral("http://");
}

QString productVersionText()
{
    const VersionInfo v = versionInfo();
    return QStringLiteral("%1.%2").arg(v.major).arg(v.minor);
}
