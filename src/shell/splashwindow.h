#pragma once

#include "skin.h"

#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// The splash window, the first window of a run. Loading it fills the product information and
// holds the skin (`skn`, published as objSkin) for the whole run; on the 75th tick of its
// timer "Timer2" (2 ms) it opens the main window and hides itself. It stays loaded, hidden,
// until the main window closes. The window owner loads it.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    // dataDir: where the skin is looked for first. openMainWindow runs once, when the timer
    // completes; without it the splash opens nothing.
    explicit SplashWindow(const QString &dataDir, std::function<void()> openMainWindow = {});
    ~SplashWindow() override;

    // Form_Load: product information, skin, and the timer started.
    void load();
    void centreOnScreen();
    // The timer stops for good: this splash opens nothing.
    void stopTimer();
    // intTemp: 2 for every tick so far.
    qint16 ticks() const { return m_ticks; }

    Skin skn;

private:
    void tick(); // Timer2_Timer

    QString m_dataDir;
    QTimer *m_timer = nullptr;
    QLabel *m_picture = nullptr; // Image1
    QLabel *m_line = nullptr;    // Label3
    qint16 m_ticks = 0;
    std::function<void()> m_openMainWindow;
};

// The product logo at a size in device-independent pixels.
QPixmap productLogo(int size);
// The program's window icon (QApplication::setWindowIcon).
QIcon productIcon();
