#pragma once

#include "browserlayout.h"

#include <QUrl>
#include <QWidget>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QWebEngineView;

// The browser window: a small web browser that opens at the product's web site, maximised.
// It comes to the front once but does not stay above other windows. While it is open, opening
// it again only brings it to the front. When the main window has closed while this window was
// open (bQuitPending), closing this window ends the program.
class frmWebsite : public QWidget
{
    Q_OBJECT
public:
    // Loads the window if needed and shows it; address empty means the web site address.
    static frmWebsite *openWindow(const QUrl &address = QUrl());
    static frmWebsite *instance();
    // Loaded and visible: the main window's shutdown test.
    static bool isShown();
    static void unload();

    // Ends the program when this window closes with bQuitPending set. QCoreApplication::quit
    // unless replaced (tests).
    static std::function<void()> quitApplication;

    QGroupBox *frmBrowser = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *Command3 = nullptr; // go
    QPushButton *Command4 = nullptr; // back
    QPushButton *Command5 = nullptr; // forward
    QPushButton *Command6 = nullptr; // stop
    QPushButton *Command7 = nullptr; // refresh
    QWebEngineView *WebBrowser1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    // Status panels 1 and 2 (1-based); empty for any other.
    QString panelText(int panel) const;
    int panelWidth(int panel) const;

    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void WebBrowser1_StatusTextChange(const QString &text);
    void WebBrowser1_DownloadBegin();
    void WebBrowser1_DownloadComplete();

    // Fits the frame, the address box, the go button, the browser and the status panels to
    // the window's size.
    void LayoutBrowser();
    BrowserDesign design() const { return m_design; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    frmWebsite();
    void Form_Load(const QUrl &address);
    void Form_Unload();

    BrowserDesign m_design;
    QList<QLabel *> m_panels;
};
