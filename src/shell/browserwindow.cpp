#include "browserwindow.h"

#include "ontop.h"
#include "productinfo.h"
#include "skin.h"
#include "twips.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cmath>

namespace {
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

BrowserWindow::BrowserWindow()
{
    setObjectName(QStringLiteral("frmWebsite"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_frame = new QGroupBox(QStringLiteral("Browser"), this);
    m_frame->setObjectName(QStringLiteral("frmBrowser"));
    m_addressCaption = new QLabel(QStringLiteral("URL:"), m_frame);
    m_addressCaption->setObjectName(QStringLiteral("Label5"));
    m_addressCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_address = new QLineEdit(m_frame);
    m_address->setObjectName(QStringLiteral("Text1"));
    m_goButton =
        pictureButton("Command3", QStringLiteral("browse the entered url"), Glyph::Go, m_frame);
    m_backButton = pictureButton("Command4", QStringLiteral("back"), Glyph::Back, m_frame);
    m_forwardButton = pictureButton("Command5", QStringLiteral("forward"), Glyph::Forward, m_frame);
    m_stopButton = pictureButton("Command6", QStringLiteral("stop"), Glyph::Stop, m_frame);
    m_refreshButton = pictureButton("Command7", QStringLiteral("refresh"), Glyph::Refresh, m_frame);
    m_view = new QWebEngineView(m_frame);
    m_view->setObjectName(QStringLiteral("WebBrowser1"));

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    auto *panel1 = new QLabel(m_statusBar);
    panel1->setObjectName(QStringLiteral("Panel1"));
    m_statusBar->addWidget(panel1);
    m_panels.append(panel1);

    connect(m_goButton, &QPushButton::clicked, this, &BrowserWindow::goClicked);
    connect(m_backButton, &QPushButton::clicked, this, &BrowserWindow::backClicked);
    connect(m_forwardButton, &QPushButton::clicked, this, &BrowserWindow::forwardClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &BrowserWindow::stopClicked);
    connect(m_refreshButton, &QPushButton::clicked, this, &BrowserWindow::refreshClicked);
    connect(m_address, &QLineEdit::returnPressed, this, &BrowserWindow::goClicked);
    connect(m_view, &QWebEngineView::loadStarted, this, &BrowserWindow::downloadBegan);
    connect(m_view, &QWebEngineView::loadFinished, this, &BrowserWindow::downloadFinished);
    connect(m_view->page(), &QWebEnginePage::linkHovered, this, &BrowserWindow::showStatusText);

    // The fixed parts of the design; LayoutBrowser sets the rest.
    auto px = [this](int twips) { return Twips::toPixelsX(this, twips); };
    auto py = [this](int twips) { return Twips::toPixelsY(this, twips); };
    int left = m_design.webLeft;
    for (QPushButton *b : {m_backButton, m_forwardButton, m_stopButton, m_refreshButton}) {
        b->setGeometry(px(left), py(kRowTop), px(kButtonWidth), py(kRowHeight));
        left += kButtonWidth + 30;
    }
    m_addressCaption->setGeometry(px(kLabel5Left), py(kRowTop), px(kLabel5Width), py(kRowHeight));
    m_address->move(px(m_design.text1Left), py(kRowTop));
    m_address->resize(m_address->width(), py(kRowHeight));
    m_goButton->setGeometry(0, py(kRowTop), px(m_design.command3Width), py(kRowHeight));
    m_view->move(px(m_design.webLeft), py(m_design.webTop));
    m_frame->move(px(kFrameLeft), py(kFrameTop));
    resize(1000, 700);
}

void BrowserWindow::load(const QUrl &address)
{
    LoadProductInfo();
    auto *panel2 = new QLabel(m_statusBar);
    panel2->setObjectName(QStringLiteral("Panel2"));
    m_statusBar->addWidget(panel2);
    m_panels.append(panel2);
    setWindowTitle(strWebsite);
    SetTopMost(this, true);
    if (bSkin) {
        applyLabelOverlay(this, {m_frame});
        SkinForm(this);
    }
    m_view->setUrl(address.isEmpty() ? QUrl::fromUserInput(strWebsite) : address);
    showMaximized();
    // Released once the window has come to the front.
    QTimer::singleShot(0, this, [this] { SetTopMost(this, false); });
}

QString BrowserWindow::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->text() : QString();
}

int BrowserWindow::panelWidth(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->width() : 0;
}

void BrowserWindow::go(const QUrl &page)
{
    m_address->setText(page.toString());
    goClicked();
}

// Command3_Click, Text1_KeyPress
void BrowserWindow::goClicked()
{
    m_view->setUrl(QUrl::fromUserInput(m_address->text()));
}

// Command4_Click
void BrowserWindow::backClicked()
{
    m_view->back();
}

// Command5_Click
void BrowserWindow::forwardClicked()
{
    m_view->forward();
}

// Command6_Click
void BrowserWindow::stopClicked()
{
    m_view->stop();
}

// Command7_Click
void BrowserWindow::refreshClicked()
{
    m_view->reload();
}

// WebBrowser1_StatusTextChange
void BrowserWindow::showStatusText(const QString &text)
{
    if (!m_panels.isEmpty())
        m_panels.at(0)->setText(text);
}

// WebBrowser1_DownloadBegin
void BrowserWindow::downloadBegan()
{
    if (m_panels.size() > 1)
        m_panels.at(1)->setText(QStringLiteral("Opening ") + m_view->url().toString());
}

// WebBrowser1_DownloadComplete
void BrowserWindow::downloadFinished(bool ok)
{
    const QString url = m_view->url().toString();
    // The browser's own page about an address it could not open is no completed download.
    if (m_panels.size() > 1)
        m_panels.at(1)->setText(
            (ok ? QStringLiteral("Completed ") : QStringLiteral("Could not open ")) + url);
    m_address->setText(url);
    setWindowTitle(m_view->title());
}

// LayoutBrowser
void BrowserWindow::layoutControls()
{
    const QRect outer = frameGeometry();
    const int sbPx = m_statusBar->sizeHint().height();
    const double tx = Twips::perPixelX(this);
    const double ty = Twips::perPixelY(this);
    const BrowserLayout l =
        ::LayoutBrowser(int(std::lround(outer.width() * tx)), int(std::lround(outer.height() * ty)),
                        int(std::lround(sbPx * ty)), m_design);
    auto px = [tx](int twips) { return int(std::lround(twips / tx)); };
    auto py = [ty](int twips) { return int(std::lround(twips / ty)); };

    // The status bar sits along the bottom of the window.
    m_statusBar->setGeometry(0, height() - sbPx, width(), sbPx);
    if (!m_panels.isEmpty())
        m_panels.at(0)->setFixedWidth(px(l.panel1Width));
    if (m_panels.size() > 1)
        m_panels.at(1)->setFixedWidth(px(l.panel2Width));

    m_frame->resize(px(l.frameWidth), py(l.frameHeight));
    m_address->resize(px(l.text1Width), m_address->height());
    m_goButton->move(px(l.command3Left), m_goButton->y());
    m_view->resize(px(l.webWidth), py(l.webHeight));
}

void BrowserWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void BrowserWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    layoutControls();
}

void BrowserWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        layoutControls();
}

void BrowserWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    Q_EMIT closed(); // Form_Unload
}
