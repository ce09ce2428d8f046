#include "frmsplash.h"

#include "productinfo.h"
#include "shellglobals.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace {
QPointer<frmSplash> g_splash;

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

frmSplash *frmSplash::load(std::function<void()> openMainWindow)
{
    if (g_splash)
        return g_splash;
    auto *s = new frmSplash(std::move(openMainWindow));
    g_splash = s; // before Form_Load: skinning the splash must find it loaded
    s->Form_Load();
    return s;
}

frmSplash *frmSplash::start(std::function<void()> openMainWindow)
{
    frmSplash *s = load(std::move(openMainWindow));
    if (s->screen()) {
        const QRect avail = s->screen()->availableGeometry();
        s->move(avail.center() - s->rect().center());
    }
    s->show();
    return s;
}

frmSplash *frmSplash::instance()
{
    return g_splash;
}

void frmSplash::unload()
{
    delete g_splash.data();
}

frmSplash::frmSplash(std::function<void()> openMainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_openMainWindow(std::move(openMainWindow))
{
    setObjectName(QStringLiteral("frmSplash"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(2);
    Timer2->setTimerType(Qt::PreciseTimer);
    connect(Timer2, &QTimer::timeout, this, &frmSplash::Timer2_Timer);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setText(QStringLiteral("Collecting fax numbers from the web"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 10);
    layout->setSpacing(8);
    layout->addWidget(Image1);
    layout->addWidget(Label3);
}

frmSplash::~frmSplash()
{
    if (objSkin == &skn)
        objSkin = nullptr;
}

void frmSplash::Form_Load()
{
    bQuitPending = false;
    LoadProductInfo();
    setWindowTitle(strProductName);
    Image1->setPixmap(splashPicture(QSize(440, 180), devicePixelRatioF()));
    if (bSkin) {
        skn.load(Skin::defaultSkinFile(ShellGlobals::dataDir()));
        objSkin = &skn;
        SkinForm(this);
    }
    Timer2->start();
}

void frmSplash::Timer2_Timer()
{
    intTemp = qint16(intTemp + 2);
    if (intTemp < 150)
        return;
    Timer2->stop();
    if (m_openMainWindow) {
        // The callback may take a while (the main window loads); the splash is done either way.
        const auto open = std::move(m_openMainWindow);
        m_openMainWindow = nullptr;
        open();
    }
    hide();
}
