#pragma once

#include "skin.h"

#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// The splash window, the first window of a run. Loading it fills the product information and
// holds the skin (`skn`, published as objSkin) for the whole run; on the 75th tick of Timer2
// (2 ms) it opens the main window and hides itself. It stays loaded, hidden, until the main
// window unloads it at shutdown.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    // Loads the window (Form_Load) unless it is loaded already, and returns it. openMainWindow
    // runs once, when the timer completes; without it the splash opens nothing.
    static frmSplash *load(std::function<void()> openMainWindow = {});
    // Start-up: load and show.
    static frmSplash *start(std::function<void()> openMainWindow);
    static frmSplash *instance();
    static void unload();

    ~frmSplash() override;

    Skin skn;
    QTimer *Timer2 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label3 = nullptr;
    qint16 intTemp = 0;

    void Timer2_Timer();

private:
    explicit frmSplash(std::function<void()> openMainWindow);
    void Form_Load();

    std::function<void()> m_openMainWindow;
};

// The product logo at a size in device-independent pixels.
QPixmap productLogo(int size);
// The program's window icon (QApplication::setWindowIcon).
QIcon productIcon();
