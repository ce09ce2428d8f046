#include "skin.h"

#include "datadir.h"
#include "productinfo.h"
#include "splashwindow.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QWebEngineView>

Skin *objSkin = nullptr;

namespace {

constexpr qint64 kMaxSkinFileSize = 256 * 1024;

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QByteArray readSmallFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 cannot be read: %2")
                     .arg(QDir::toNativeSeparators(path), f.errorString());
        return QByteArray();
    }
    if (f.size() > kMaxSkinFileSize) {
        *error =
            QStringLiteral("%1 is too large for a skin file").arg(QDir::toNativeSeparators(path));
        return QByteArray();
    }
    return f.read(kMaxSkinFileSize);
}

} // namespace

Skin::Skin(QObject *parent) : QObject(parent) {}

QString Skin::defaultSkinFile(const QString &dataDir)
{
    return DataDir::resource(dataDir, QStringLiteral("skin/varnel.skin"));
}

bool Skin::fail(const QString &why)
{
    m_loaded = false;
    m_error = why;
    m_colors.clear();
    m_styleSheet.clear();
    return false;
}

bool Skin::load(const QString &skinFile)
{
    m_loaded = false;
    m_colors.clear();
    m_styleSheet.clear();
    if (skinFile.isEmpty())
        return fail(QStringLiteral("no skin file was found"));
    QString error;
    const QByteArray bytes = readSmallFile(skinFile, &error);
    if (!error.isEmpty())
        return fail(error);

    // "key=value" lines; "[section]" lines and comments (";" or "#") are ignored.
    QHash<QString, QString> values;
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('[')))
            continue;
        const int eq = int(line.indexOf(QLatin1Char('=')));
        if (eq <= 0)
            return fail(QStringLiteral("%1: a line is not \"key=value\"")
                            .arg(QDir::toNativeSeparators(skinFile)));
        values.insert(line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed());
    }

    QHash<QString, QColor> colors;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key() == QLatin1String("name") || it.key() == QLatin1String("style"))
            continue;
        const QColor c = QColor::fromString(it.value());
        if (!c.isValid())
            return fail(QStringLiteral("%1: \"%2\" is not a colour")
                            .arg(QDir::toNativeSeparators(skinFile), it.value()));
        colors.insert(it.key(), c);
    }
    for (const char *required : {"back", "fore", "panel", "paneltext"}) {
        if (!colors.contains(QLatin1String(required)))
            return fail(QStringLiteral("%1: the colour %2 is missing")
                            .arg(QDir::toNativeSeparators(skinFile), QLatin1String(required)));
    }
    // The window style's further colours default to ones derived from the four.
    const QColor back = colors.value(QStringLiteral("back"));
    const QColor fore = colors.value(QStringLiteral("fore"));
    const QColor panel = colors.value(QStringLiteral("panel"));
    if (!colors.contains(QStringLiteral("window")))
        colors.insert(QStringLiteral("window"), mix(back, panel, 0.5));
    if (!colors.contains(QStringLiteral("accent")))
        colors.insert(QStringLiteral("accent"), fore);
    if (!colors.contains(QStringLiteral("border")))
        colors.insert(QStringLiteral("border"), mix(panel, fore, 0.2));
    const QColor accent = colors.value(QStringLiteral("accent"));
    const QColor window = colors.value(QStringLiteral("window"));
    if (!colors.contains(QStringLiteral("hover")))
        colors.insert(QStringLiteral("hover"), mix(back, accent, 0.12));
    if (!colors.contains(QStringLiteral("pressed")))
        colors.insert(QStringLiteral("pressed"), mix(back, accent, 0.25));
    if (!colors.contains(QStringLiteral("disabledtext")))
        colors.insert(QStringLiteral("disabledtext"), mix(fore, window, 0.55));
    if (!colors.contains(QStringLiteral("accenttext")))
        colors.insert(QStringLiteral("accenttext"), QColor(Qt::white));

    const QString styleName = values.value(QStringLiteral("style"));
    if (styleName.isEmpty())
        return fail(
            QStringLiteral("%1: no window style is named").arg(QDir::toNativeSeparators(skinFile)));
    const QString stylePath = QFileInfo(skinFile).dir().filePath(styleName);
    const QByteArray qss = readSmallFile(stylePath, &error);
    if (!error.isEmpty())
        return fail(error);
    QString sheet = QString::fromUtf8(qss);
    if (sheet.trimmed().isEmpty())
        return fail(QStringLiteral("%1 is empty").arg(QDir::toNativeSeparators(stylePath)));

    // Comments go first: they may mention placeholders.
    static const QRegularExpression comment(QStringLiteral("/\\*.*?\\*/"),
                                            QRegularExpression::DotMatchesEverythingOption);
    sheet.remove(comment);
    // "${name}" in the style sheet stands for a colour of the skin file.
    static const QRegularExpression placeholder(QStringLiteral("\\$\\{([A-Za-z]+)\\}"));
    QString resolved;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = placeholder.globalMatch(sheet);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString key = m.captured(1).toLower();
        if (!colors.contains(key))
            return fail(QStringLiteral("%1 names the colour %2, which the skin does not have")
                            .arg(QDir::toNativeSeparators(stylePath), m.captured(1)));
        resolved += QStringView(sheet).mid(last, m.capturedStart() - last);
        resolved += colors.value(key).name(QColor::HexRgb);
        last = m.capturedEnd();
    }
    resolved += QStringView(sheet).mid(last);

    m_name = values.value(QStringLiteral("name"));
    m_colors = colors;
    m_styleSheet = resolved;
    m_error.clear();
    m_loaded = true;
    return true;
}

bool Skin::color(int id, QColor *out) const
{
    if (!m_loaded)
        return false;
    const char *key = nullptr;
    switch (id) {
    case BackColor:
        key = "back";
        break;
    case ForeColor:
        key = "fore";
        break;
    case PanelColor:
        key = "panel";
        break;
    case PanelTextColor:
        key = "paneltext";
        break;
    default:
        return false;
    }
    *out = m_colors.value(QLatin1String(key));
    return out->isValid();
}

bool Skin::apply(QWidget *form) const
{
    if (!m_loaded || !form)
        return false;
    const QColor back = m_colors.value(QStringLiteral("back"));
    const QColor fore = m_colors.value(QStringLiteral("fore"));
    const QColor window = m_colors.value(QStringLiteral("window"));
    const QColor accent = m_colors.value(QStringLiteral("accent"));
    const QColor disabled = m_colors.value(QStringLiteral("disabledtext"));

    // Controls the colour rules leave alone take the skin's colours from the window.
    QPalette p = form->palette();
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, fore);
    p.setColor(QPalette::Base, back);
    p.setColor(QPalette::AlternateBase, mix(back, window, 0.5));
    p.setColor(QPalette::Text, fore);
    p.setColor(QPalette::Button, back);
    p.setColor(QPalette::ButtonText, fore);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, m_colors.value(QStringLiteral("accenttext")));
    p.setColor(QPalette::Link, accent);
    p.setColor(QPalette::ToolTipBase, fore);
    p.setColor(QPalette::ToolTipText, back);
    p.setColor(QPalette::PlaceholderText, disabled);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    form->setPalette(p);
    form->setAttribute(Qt::WA_StyledBackground, true);
    form->setProperty("varnelSkin", QStringLiteral("window"));
    form->setStyleSheet(m_styleSheet);
    return true;
}

// ---------------------------------------------------------------------------------------

static std::function<void()> &skinFallback()
{
    static std::function<void()> fallback;
    return fallback;
}

static bool trySkin(QWidget *form)
{
    if (!objSkin)
        return false;
    QColor back, fore, panel, panelText;
    if (!objSkin->color(Skin::BackColor, &back) || !objSkin->color(Skin::ForeColor, &fore) ||
        !objSkin->color(Skin::PanelColor, &panel) ||
        !objSkin->color(Skin::PanelTextColor, &panelText))
        return false;
    ColorControls(form, back, fore, panel);
    return objSkin->apply(form);
}

bool SkinForm(QWidget *form)
{
    if (!form)
        return false;
    if (trySkin(form))
        return true;
    // The splash window skinning itself has nowhere to recover from.
    if (qobject_cast<SplashWindow *>(form))
        return false;
    if (skinFallback())
        skinFallback()();
    return trySkin(form);
}

void setSkinFallback(std::function<void()> fallback)
{
    skinFallback() = std::move(fallback);
}

QString controlTypeName(const QWidget *w)
{
    if (!w)
        return QString();
    if (qobject_cast<const SkinLabel *>(w))
        return QStringLiteral("SkinLabel");
    if (qobject_cast<const PictureBox *>(w))
        return QStringLiteral("PictureBox");
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (!label->pixmap().isNull() || !label->picture().isNull())
            return QStringLiteral("PictureBox");
        return QStringLiteral("Label");
    }
    if (qobject_cast<const QPushButton *>(w))
        return QStringLiteral("CommandButton");
    if (qobject_cast<const QCheckBox *>(w))
        return QStringLiteral("CheckBox");
    if (qobject_cast<const QRadioButton *>(w))
        return QStringLiteral("OptionButton");
    if (qobject_cast<const QTextBrowser *>(w))
        return QStringLiteral("RichTextBox");
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QTextEdit *>(w) ||
        qobject_cast<const QPlainTextEdit *>(w))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QComboBox *>(w))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QListView *>(w))
        return QStringLiteral("ListBox");
    if (qobject_cast<const QTreeView *>(w) || qobject_cast<const QTableView *>(w))
        return QStringLiteral("ListView");
    if (qobject_cast<const QGroupBox *>(w))
        return QStringLiteral("Frame");
    if (qobject_cast<const QStatusBar *>(w))
        return QStringLiteral("StatusBar");
    if (qobject_cast<const QProgressBar *>(w))
        return QStringLiteral("ProgressBar");
    if (qobject_cast<const QWebEngineView *>(w))
        return QStringLiteral("WebBrowser");
    return QString::fromLatin1(w->metaObject()->className());
}

// Controls whose insides are their own business, not controls of the window.
static bool isLeafControl(const QWidget *w)
{
    if (qobject_cast<const QScrollArea *>(w) || qobject_cast<const PictureBox *>(w))
        return false;
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLineEdit *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QLabel *>(w) ||
           qobject_cast<const QAbstractScrollArea *>(w) ||
           qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QAbstractSlider *>(w) ||
           qobject_cast<const QProgressBar *>(w) || qobject_cast<const QMenuBar *>(w) ||
           qobject_cast<const QMenu *>(w) || qobject_cast<const QWebEngineView *>(w);
}

static void collectControls(QWidget *parent, QList<QWidget *> &out)
{
    const QObjectList kids = parent->children();
    for (QObject *o : kids) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->isWindow())
            continue;
        out.append(w);
        if (!isLeafControl(w))
            collectControls(w, out);
    }
}

QList<QWidget *> formControls(QWidget *form)
{
    QList<QWidget *> out;
    if (form)
        collectControls(form, out);
    return out;
}

// A style sheet of the control's own: the window style cannot override it, and the palette
// alone would be ignored wherever a style sheet draws the control.
static void setOwnColours(QWidget *w, const QString &rules)
{
    w->setStyleSheet(rules);
}

void ColorControls(QWidget *form, const QColor &back, const QColor &fore, const QColor &panel)
{
    const QList<QWidget *> controls = formControls(form);
    for (QWidget *w : controls) {
        const QString type = controlTypeName(w);
        const QString cls = QString::fromLatin1(w->metaObject()->className());
        QPalette p = w->palette();
        if (type == QLatin1String("CommandButton")) {
            p.setColor(QPalette::Button, back);
            w->setPalette(p);
            setOwnColours(
                w, QStringLiteral("%1 { background-color: %2; } %1:hover { background-color: %3; } "
                                  "%1:pressed { background-color: %4; }")
                       .arg(cls, back.name(), back.darker(104).name(), back.darker(112).name()));
        } else if (type == QLatin1String("TextBox") || type == QLatin1String("ComboBox") ||
                   type == QLatin1String("FileListBox") || type == QLatin1String("DirListBox") ||
                   type == QLatin1String("DriveListBox") || type == QLatin1String("ListBox") ||
                   type == QLatin1String("ListView")) {
            // A combo box without an edit field draws with the button roles.
            for (QPalette::ColorRole r : {QPalette::Base, QPalette::Button})
                p.setColor(r, back);
            for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
                p.setColor(g, QPalette::Text, fore);
                p.setColor(g, QPalette::ButtonText, fore);
            }
            w->setPalette(p);
            // Disabled controls keep the style's greyed text.
            setOwnColours(w,
                          QStringLiteral("%1 { background-color: %2; } %1:enabled { color: %3; }")
                              .arg(cls, back.name(), fore.name()));
        } else if (type == QLatin1String("PictureBox")) {
            p.setColor(QPalette::Window, panel);
            w->setPalette(p);
            // A PictureBox paints its own (rounded) background; a label needs filling.
            if (!qobject_cast<PictureBox *>(w))
                w->setAutoFillBackground(true);
        }
    }
}

// ---------------------------------------------------------------------------------------

SkinLabel::SkinLabel(QWidget *parent) : QLabel(parent) {}

SkinLabel::SkinLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void SkinLabel::follow(QLabel *source)
{
    if (m_source) {
        m_source->removeEventFilter(this);
        disconnect(m_source, &QObject::destroyed, this, nullptr);
    }
    m_source = source;
    if (!source)
        return;
    connect(source, &QObject::destroyed, this, [this] {
        m_source = nullptr;
        deleteLater();
    });
    // The plain label stays underneath; only its text is no longer drawn, so the two never
    // show doubled.
    QPalette p = source->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(g, QPalette::WindowText, Qt::transparent);
    source->setPalette(p);
    source->installEventFilter(this);
    copyFromSource();
    raise();
}

void SkinLabel::copyFromSource()
{
    if (!m_source)
        return;
    // Every setter is guarded: an update here repaints the plain label underneath, whose
    // paint event brings us back.
    if (geometry() != m_source->geometry())
        setGeometry(m_source->geometry());
    if (font() != m_source->font())
        setFont(m_source->font());
    if (alignment() != m_source->alignment())
        setAlignment(m_source->alignment());
    if (wordWrap() != m_source->wordWrap())
        setWordWrap(m_source->wordWrap());
    if (indent() != m_source->indent())
        setIndent(m_source->indent());
    if (margin() != m_source->margin())
        setMargin(m_source->margin());
    if (textFormat() != m_source->textFormat())
        setTextFormat(m_source->textFormat());
    if (text() != m_source->text())
        setText(m_source->text());
    if (isHidden() != m_source->isHidden())
        setVisible(!m_source->isHidden());
}

bool SkinLabel::eventFilter(QObject *watched, QEvent *event)
{
    // While the label is being destroyed it is no longer a QLabel; its last events are not ours.
    if (watched == m_source && qobject_cast<QLabel *>(watched)) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        case QEvent::FontChange:
        case QEvent::Paint: // the plain label repaints after its text changed
            copyFromSource();
            break;
        default:
            break;
        }
    }
    return QLabel::eventFilter(watched, event);
}

QList<SkinLabel *> applyLabelOverlay(QWidget *form, const QList<QWidget *> &containers)
{
    QList<SkinLabel *> made;
    if (!form)
        return made;
    const QList<QWidget *> controls = formControls(form);
    for (QWidget *w : controls) {
        if (controlTypeName(w) != QLatin1String("Label"))
            continue;
        auto *label = static_cast<QLabel *>(w);
        QWidget *container = label->parentWidget();
        if (!containers.isEmpty() && !containers.contains(container))
            continue;
        auto *copy = new SkinLabel(container);
        copy->setObjectName(QStringLiteral("SkinLabel1_") + (label->objectName().isEmpty()
                                                                 ? QString::number(made.size() + 1)
                                                                 : label->objectName()));
        copy->follow(label);
        made.append(copy);
    }
    return made;
}

// ---------------------------------------------------------------------------------------

PictureBox::PictureBox(QWidget *parent) : QFrame(parent) {}

void PictureBox::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    update();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The back colour, unless it is the window's own (then there is nothing to show).
    const QColor back = palette().color(QPalette::Window);
    const QWidget *parent = parentWidget();
    if (!parent || parent->palette().color(QPalette::Window) != back) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(back);
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
    }
    painter.end();
    QFrame::paintEvent(event);
    if (m_pixmap.isNull())
        return;
    painter.begin(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect area = contentsRect();
    const qreal dpr = m_pixmap.devicePixelRatio();
    QSize size = (QSizeF(m_pixmap.size()) / dpr).toSize();
    if (size.width() > area.width() || size.height() > area.height())
        size.scale(area.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(area.center());
    painter.drawPixmap(target, m_pixmap);
}

// ---------------------------------------------------------------------------------------

void moveFramesForBanner(const QList<QWidget *> &frames, int bannerHeight)
{
    for (QWidget *f : frames) {
        if (f)
            f->move(f->x(), bannerHeight + f->y() + Twips::toPixelsY(f, 100));
    }
}

PictureBox *SetupBanner(QWidget *mainWindow, QWidget *wbBanner, QWidget *wbPicture,
                        bool scaleModePixels, const std::function<void(const QUrl &)> &navigate)
{
    if (!mainWindow || !wbBanner)
        return nullptr;
    auto *picBox = new PictureBox(mainWindow);
    picBox->setObjectName(QStringLiteral("picBox"));
    picBox->setFrameShape(QFrame::NoFrame);
    const int margin = scaleModePixels ? 20 : Twips::toPixelsX(mainWindow, 280);
    const QPoint at = wbBanner->parentWidget() && wbBanner->parentWidget() != mainWindow
                          ? wbBanner->parentWidget()->mapTo(mainWindow, wbBanner->pos())
                          : wbBanner->pos();
    picBox->setGeometry(at.x(), at.y(), std::max(0, wbBanner->width() - margin),
                        wbBanner->height());
    wbBanner->setParent(picBox);
    wbBanner->move(0, 0);
    picBox->show();
    picBox->update();
    wbBanner->show();
    if (wbPicture)
        wbPicture->hide();
    const QUrl url(strBannerUrl);
    if (navigate)
        navigate(url);
    else if (auto *view = qobject_cast<QWebEngineView *>(wbBanner))
        view->setUrl(url);
    return picBox;
}
