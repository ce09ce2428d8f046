#pragma once

#include <QDialog>

class QLabel;
class PictureBox;
class SkinLabel;

// The About window: product name, version, company and web site. Opened without modality
// from the main window's "About this software"; one window however often it is opened. It has
// no buttons and unloads when closed.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    // Loads the window if needed, shows it and brings it to the front.
    static frmAbout *openWindow();
    static frmAbout *instance();
    static void unload();

    PictureBox *Picture1 = nullptr;
    SkinLabel *Label1 = nullptr;     // product name
    QLabel *Label2 = nullptr;        // "Version:"
    SkinLabel *lblVersion = nullptr; // major.minor
    QLabel *Label3 = nullptr;        // "Owned By:"
    SkinLabel *lblCompany = nullptr;
    QLabel *Label4 = nullptr; // "Website:"
    SkinLabel *lblWebsite = nullptr;
    QLabel *Label5 = nullptr; // rights notice

private:
    frmAbout();
    void Form_Load();
};
