#include "frmwebsite.h"

#include "ontop.h"
#include "productinfo.h"
#include "shellglobals.h"
#include "skin.h"
#include "twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cmath>

std::function<void()> frmWebsite::quitApplication = [] { QCoreApplication::quit(); };

namespace {
QPointer<frmWebsite> g_browser;

// Design values of the controls that LayoutBrowser does not move, in twips.
constexpr int kFrameLeft = 150;
constexpr int kFrameTop = 60;
constexpr int kRowTop = 330;
constexpr int kRowHeight = 390;
constexpr int kButtonWidth = 420;
constexpr int kLabel5Left = 2010;
constexpr int kLabel5Width = 500;

enum class Glyph
{
    Back,
    Forward,
    Stop,
    Refresh,
    Go
};

// The pictures of the five buttons, drawn so that they stay sharp at any resolution.
QIcon glyphIcon(Glyph glyph, const QColor &color)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 24.0, size / 24.0);
        QPen pen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        switch (glyph) {
        case Glyph::Back:
            p.drawLine(QPointF(19, 12), QPointF(5, 12));
            p.drawPolyline(QPolygonF({QPointF(11, 6), QPointF(5, 12), QPointF(11, 18)}));
            break;
        case Glyph::Forward:
            p.drawLine(QPointF(5, 12), QPointF(19, 12));
            p.drawPolyline(QPolygonF({QPointF(13, 6), QPointF(19, 12), QPointF(13, 18)}));
            break;
        case Glyph::Stop:
            p.drawLine(QPointF(6.5, 6.5), QPointF(17.5, 17.5));
            p.drawLine(QPointF(17.5, 6.5), QPointF(6.5, 17.5));
            break;
        case Glyph::Refresh: {
            p.drawArc(QRectF(5, 5, 14, 14), 60 * 16, 290 * 16);
            const double a = 60 * M_PI / 180.0;
            const QPointF tip(12 + 7 * std::cos(a), 12 - 7 * std::sin(a));
            p.setBrush(color);
            p.setPen(Qt::NoPen);
            p.drawPolygon(QPolygonF(
                {tip + QPointF(-5, -2.2), tip + QPointF(1.8, -3.6), tip + QPointF(0.6, 3.2)}));
            break;
        }
        case Glyph::Go:
            p.setBrush(color);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
            p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(7.5, 12), QPointF(16, 12));
            p.drawPolyline(QPolygonF({QPointF(12.5, 8), QPointF(16.5, 12), QPointF(12.5, 16)}));
            break;
        }
        icon.addPixmap(pm);
    }
    return icon;
}

QPushButton *pictureButton(const char *name, const QString &tooltip, Glyph glyph, QWidget *parent)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tooltip);
    b->setIcon(glyphIcon(glyph, QColor(0x2E, 0x6A, 0x8E)));
    b->setIconSize(QSize(16, 16));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}
} // namespace

frmWebsite *frmWebsite::openWindow(const QUrl &address)
{
    if (g_browser) {
        g_browser->raise();
        g_browser->activateWindow();
        return g_browser;
    }
    g_browser = new frmWebsite();
    g_browser->Form_Load(address);
    return g_browser;
}

frmWebsite *frmWebsite::instance()
{
    return g_browser;
}

bool frmWebsite::isShown()
{
    return g_browser && g_browser->isVisible();
}

void frmWebsite::unload()
{
    delete g_browser.data();
}

frmWebsite::frmWebsite()
{
    setObjectName(QStringLiteral("frmWebsite"));
    setAttribute(Qt::WA_DeleteOnClose);

    frmBrowser = new QGroupBox(QStringLiteral("Browser"), this);
    frmBrowser->setObjectName(QStringLiteral("frmBrowser"));
    Label5 = new QLabel(QStringLiteral("URL:"), frmBrowser);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Text1 = new QLineEdit(frmBrowser);
    Text1->setObjectName(QStringLiteral("Text1"));
    Command3 =
        pictureButton("Command3", QStringLiteral("browse the entered url"), Glyph::Go, frmBrowser);
    Command4 = pictureButton("Command4", QStringLiteral("back"), Glyph::Back, frmBrowser);
    Command5 = pictureButton("Command5", QStringLiteral("forward"), Glyph::Forward, frmBrowser);
    Command6 = pictureButton("Command6", QStringLiteral("stop"), Glyph::Stop, frmBrowser);
    Command7 = pictureButton("Command7", QStringLiteral("refresh"), Glyph::Refresh, frmBrowser);
    WebBrowser1 = new QWebEngineView(frmBrowser);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    auto *panel1 = new QLabel(StatusBar1);
    panel1->setObjectName(QStringLiteral("Panel1"));
    StatusBar1->addWidget(panel1);
    m_panels.append(panel1);

    connect(Command3, &QPushButton::clicked, this, &frmWebsite::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmWebsite::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmWebsite::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &frmWebsite::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &frmWebsite::Command7_Click);
    connect(Text1, &QLineEdit::returnPressed, this, &frmWebsite::Command3_Click);
    connect(WebBrowser1, &QWebEngineView::loadStarted, this,
            &frmWebsite::WebBrowser1_DownloadBegin);
    connect(WebBrowser1, &QWebEngineView::loadFinished, this,
            [this](bool) { WebBrowser1_DownloadComplete(); });
    connect(WebBrowser1->page(), &QWebEnginePage::linkHovered, this,
            &frmWebsite::WebBrowser1_StatusTextChange);

    // The fixed parts of the design; LayoutBrowser sets the rest.
    auto px = [this](int twips) { return Twips::toPixelsX(this, twips); };
    auto py = [this](int twips) { return Twips::toPixelsY(this, twips); };
    int left = m_design.webLeft;
    for (QPushButton *b : {Command4, Command5, Command6, Command7}) {
        b->setGeometry(px(left), py(kRowTop), px(kButtonWidth), py(kRowHeight));
        left += kButtonWidth + 30;
    }
    Label5->setGeometry(px(kLabel5Left), py(kRowTop), px(kLabel5Width), py(kRowHeight));
    Text1->move(px(m_design.text1Left), py(kRowTop));
    Text1->resize(Text1->width(), py(kRowHeight));
    Command3->setGeometry(0, py(kRowTop), px(m_design.command3Width), py(kRowHeight));
    WebBrowser1->move(px(m_design.webLeft), py(m_design.webTop));
    frmBrowser->move(px(kFrameLeft), py(kFrameTop));
    resize(1000, 700);
}

void frmWebsite::Form_Load(const QUrl &address)
{
    LoadProductInfo();
    auto *panel2 = new QLabel(StatusBar1);
    panel2->setObjectName(QStringLiteral("Panel2"));
    StatusBar1->addWidget(panel2);
    m_panels.append(panel2);
    setWindowTitle(strWebsite);
    SetTopMost(this, true);
    if (bSkin) {
        applyLabelOverlay(this, {frmBrowser});
        SkinForm(this);
    }
    WebBrowser1->setUrl(address.isEmpty() ? QUrl::fromUserInput(strWebsite) : address);
    showMaximized();
    // Released once the window has come to the front.
    QTimer::singleShot(0, this, [this] { SetTopMost(this, false); });
}

QString frmWebsite::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->text() : QString();
}

int frmWebsite::panelWidth(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->width() : 0;
}

void frmWebsite::Command3_Click()
{
    WebBrowser1->setUrl(QUrl::fromUserInput(Text1->text()));
}

void frmWebsite::Command4_Click()
{
    WebBrowser1->back();
}

void frmWebsite::Command5_Click()
{
    WebBrowser1->forward();
}

void frmWebsite::Command6_Click()
{
    WebBrowser1->stop();
}

void frmWebsite::Command7_Click()
{
    WebBrowser1->reload();
}

void frmWebsite::WebBrowser1_StatusTextChange(const QString &text)
{
    if (!m_panels.isEmpty())
        m_panels.at(0)->setText(text);
}

void frmWebsite::WebBrowser1_DownloadBegin()
{
    if (m_panels.size() > 1)
        m_panels.at(1)->setText(QStringLiteral("Opening ") + WebBrowser1->url().toString());
}

void frmWebsite::WebBrowser1_DownloadComplete()
{
    const QString url = WebBrowser1->url().toString();
    if (m_panels.size() > 1)
        m_panels.at(1)->setText(QStringLiteral("Completed ") + url);
    Text1->setText(url);
    setWindowTitle(WebBrowser1->title());
}

void frmWebsite::LayoutBrowser()
{
    const QRect outer = frameGeometry();
    const int sbPx = StatusBar1->sizeHint().height();
    const double tx = Twips::perPixelX(this);
    const double ty = Twips::perPixelY(this);
    const BrowserLayout l =
        ::LayoutBrowser(int(std::lround(outer.width() * tx)), int(std::lround(outer.height() * ty)),
                        int(std::lround(sbPx * ty)), m_design);
    auto px = [tx](int twips) { return int(std::lround(twips / tx)); };
    auto py = [ty](int twips) { return int(std::lround(twips / ty)); };

    // The status bar sits along the bottom of the window.
    StatusBar1->setGeometry(0, height() - sbPx, width(), sbPx);
    if (!m_panels.isEmpty())
        m_panels.at(0)->setFixedWidth(px(l.panel1Width));
    if (m_panels.size() > 1)
        m_panels.at(1)->setFixedWidth(px(l.panel2Width));

    frmBrowser->resize(px(l.frameWidth), py(l.frameHeight));
    Text1->resize(px(l.text1Width), Text1->height());
    Command3->move(px(l.command3Left), Command3->y());
    WebBrowser1->resize(px(l.webWidth), py(l.webHeight));
}

void frmWebsite::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayoutBrowser();
}

void frmWebsite::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    LayoutBrowser();
}

void frmWebsite::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        LayoutBrowser();
}

void frmWebsite::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmWebsite::Form_Unload()
{
    if (bQuitPending && quitApplication)
        quitApplication();
}
