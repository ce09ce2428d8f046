#pragma once

#include "browserlayout.h"

#include <QUrl>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QWebEngineView;

// The browser window: a small web browser that opens at the product's web site, maximised.
// It comes to the front once but does not stay above other windows. The window owner opens
// it once and brings it to the front when it is asked for again; its closing may end the
// program (closed()).
class BrowserWindow : public QWidget
{
    Q_OBJECT
public:
    BrowserWindow();

    // Form_Load: shows the window at address (the web site address when empty), maximised.
    void load(const QUrl &address = QUrl());
    // Shows a page: the address box gets it and the browser goes there, as the go button does.
    void go(const QUrl &page);

    // Status panels 1 and 2 (1-based); empty for any other.
    QString panelText(int panel) const;
    int panelWidth(int panel) const;

    void goClicked();      // Command3_Click, and Enter in the address box (Text1_KeyPress)
    void backClicked();    // Command4_Click
    void forwardClicked(); // Command5_Click
    void stopClicked();    // Command6_Click
    void refreshClicked(); // Command7_Click
    // The browser's events: a status text (StatusTextChange), a download begun
    // (DownloadBegin) and finished (DownloadComplete).
    void showStatusText(const QString &text);
    void downloadBegan();
    void downloadFinished(bool ok);

    // LayoutBrowser: fits the frame, the address box, the go button, the browser and the
    // status panels to the window's size.
    void layoutControls();
    BrowserDesign design() const { return m_design; }

Q_SIGNALS:
    // The window was closed by the user (Form_Unload).
    void closed();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    BrowserDesign m_design;
    QList<QLabel *> m_panels;
    QGroupBox *m_frame = nullptr;           // frmBrowser
    QLabel *m_addressCaption = nullptr;     // Label5 "URL:"
    QLineEdit *m_address = nullptr;         // Text1
    QPushButton *m_goButton = nullptr;      // Command3
    QPushButton *m_backButton = nullptr;    // Command4
    QPushButton *m_forwardButton = nullptr; // Command5
    QPushButton *m_stopButton = nullptr;    // Command6
    QPushButton *m_refreshButton = nullptr; // Command7
    QWebEngineView *m_view = nullptr;       // WebBrowser1
    QStatusBar *m_statusBar = nullptr;      // StatusBar1
};
