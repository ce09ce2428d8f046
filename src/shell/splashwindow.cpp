#include "splashwindow.h"

#include "productinfo.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// The splash picture: the logo, the product name and the version on a band in the skin's
// accent colours.
QPixmap splashPicture(const QSize &size, qreal dpr)
{
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(0x2E, 0x6A, 0x8E));
    g.setColorAt(1, QColor(0x1B, 0x3F, 0x5A));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 10, 10);

    const int logo = size.height() - 56;
    p.drawPixmap(QRect(28, 28, logo, logo), productLogo(logo));

    QFont title = p.font();
    title.setPointSizeF(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const QRect text(logo + 52, 28, size.width() - logo - 72, logo);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, strProductName);

    QFont small = p.font();
    small.setPointSizeF(9.5);
    small.setBold(false);
    p.setFont(small);
    p.setPen(QColor(0xD6, 0xE6, 0xF2));
    p.drawText(text.adjusted(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("Version %1").arg(productVersionText()));
    return pm;
}
} // namespace

QPixmap productLogo(int size)
{
    const QPixmap big(QStringLiteral(":/varnel/icon-256.png"));
    if (big.isNull())
        return QPixmap();
    return big.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QIcon productIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/varnel/icon-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/varnel/icon-256.png"), QSize(256, 256));
    return icon;
}

SplashWindow::SplashWindow(const QString &dataDir, std::function<void()> openMainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), m_dataDir(dataDir),
      m_openMainWindow(std::move(openMainWindow))
{
    setObjectName(QStringLiteral("frmSplash"));
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer2"));
    m_timer->setInterval(2);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SplashWindow::tick);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("Image1"));
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("Label3"));
    m_line->setAlignment(Qt::AlignCenter);
    m_line->setText(QStringLiteral("Collecting fax numbers from the web"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 10);
    layout->setSpacing(8);
    layout->addWidget(m_picture);
    layout->addWidget(m_line);
}

SplashWindow::~SplashWindow()
{
    if (objSkin == &skn)
        objSkin = nullptr;
}

void SplashWindow::load()
{
    LoadProductInfo();
    setWindowTitle(strProductName);
    m_picture->setPixmap(splashPicture(QSize(440, 180), devicePixelRatioF()));
    if (bSkin) {
        skn.load(Skin::defaultSkinFile(m_dataDir));
        objSkin = &skn;
        SkinForm(this);
    }
    m_timer->start();
}

void SplashWindow::centreOnScreen()
{
    if (screen()) {
        const QRect avail = screen()->availableGeometry();
        move(avail.center() - rect().center());
    }
}

void SplashWindow::stopTimer()
{
    m_timer->stop();
}

void SplashWindow::tick()
{
    m_ticks = qint16(m_ticks + 2);
    if (m_ticks < 150)
        return;
    m_timer->stop();
    if (m_openMainWindow) {
        // The callback may take a while (the main window loads); the splash is done either way.
        const auto open = std::move(m_openMainWindow);
        m_openMainWindow = nullptr;
        open();
    }
    hide();
}
