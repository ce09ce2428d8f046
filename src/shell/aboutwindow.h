#pragma once

#include <QDialog>

class QLabel;
class PictureBox;
class SkinLabel;

// The About window: product name, version, company and web site, and a Close button (Esc
// too). Opened without modality from the main window's "About this software" through the
// window owner; one window however often it is opened. It unloads when closed.
class AboutWindow : public QDialog
{
    Q_OBJECT
public:
    AboutWindow();

    // Form_Load: the caption and the four labels from the program's version information.
    void load();

private:
    PictureBox *m_logo = nullptr;       // Picture1
    SkinLabel *m_product = nullptr;     // Label1
    QLabel *m_versionCaption = nullptr; // Label2 "Version:"
    SkinLabel *m_version = nullptr;     // lblVersion, major.minor
    QLabel *m_companyCaption = nullptr; // Label3 "Owned By:"
    SkinLabel *m_company = nullptr;     // lblCompany
    QLabel *m_websiteCaption = nullptr; // Label4 "Website:"
    SkinLabel *m_website = nullptr;     // lblWebsite
    QLabel *m_rights = nullptr;         // Label5, the rights notice
};
