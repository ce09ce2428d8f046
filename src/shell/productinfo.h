#pragma once

#include <QString>

// Product information: names, switches and addresses shown in captions and labels. Filled
// by LoadProductInfo from the program's version information (set by the build); the splash
// window fills it at start-up and the browser window again when it loads.
extern QString strProductName; // ProductName: "Quorvex Fax Varnel"
extern QString strCompanyName; // CompanyName
extern QString strWebsite;     // Comments: the product's web site address
extern bool bSkin;             // true: the windows are drawn in the skin
extern bool bBanner;           // false: no banner on the main window
extern QString strBannerUrl;   // "http://"

void LoadProductInfo();

// The program's version information as the build sets it.
struct VersionInfo
{
    QString productName;
    QString companyName;
    QString comments; // the web site address
    int major = 0;
    int minor = 0;
};
VersionInfo versionInfo();

// The version as the About window shows it: major "." minor, e.g. "2.0".
QString productVersionText();
