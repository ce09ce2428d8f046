#pragma once

#include <QColor>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

// The skin: our own stand-in for the skinning control the windows are drawn with. A skin is
// a small text file ("skin/varnel.skin" among the resources) with the four skin colours
// (back, fore, panel, panel text), a few more for the window style, and the name of a Qt
// style sheet next to it that draws the windows. The splash window owns the one Skin of a
// run (`skn`) and publishes it as objSkin.
class Skin : public QObject
{
    Q_OBJECT
public:
    // Identifiers of the colour properties.
    enum ColorId
    {
        BackColor = 2,
        ForeColor = 3,
        PanelColor = 4,
        PanelTextColor = 5
    };

    explicit Skin(QObject *parent = nullptr);

    // The skin file of a run: the data directory first, then the installed resources.
    static QString defaultSkinFile(const QString &dataDir);

    // Reads a skin file and its style sheet. False when either is missing or damaged (a
    // colour missing or not a colour, the style sheet empty or naming a colour the file does
    // not have); the skin is then unusable and errorString() says why.
    bool load(const QString &skinFile);
    bool isLoaded() const { return m_loaded; }
    QString errorString() const { return m_error; }
    QString name() const { return m_name; }

    // A colour property; false when the skin is not loaded.
    bool color(int id, QColor *out) const;
    // A named colour of the file ("window", "accent" ...); invalid when absent.
    QColor namedColor(const QString &key) const { return m_colors.value(key.toLower()); }

    // Draws a window in the skin: its palette and the window style. False when the skin is
    // not loaded (the window is left as it was).
    bool apply(QWidget *form) const;
    QString styleSheet() const { return m_styleSheet; }

private:
    bool fail(const QString &why);

    bool m_loaded = false;
    QString m_error;
    QString m_name;
    QHash<QString, QColor> m_colors;
    QString m_styleSheet;
};

// The skin control of the splash window while it is loaded; null before and after.
extern Skin *objSkin;

// SkinForm: colours the window's controls with the skin colours and draws it in the skin.
// When the skin is not available (the splash window is not loaded), runs the skin fallback
// (the window owner's: it loads the splash window hidden, with its timer stopped) and tries
// once more. Returns false when the window stays in its plain look (a missing or damaged
// skin never stops a window from opening).
bool SkinForm(QWidget *form);
// What SkinForm runs to make the skin available; empty: nothing.
void setSkinFallback(std::function<void()> fallback);

// The control type name the colour rules go by: "CommandButton" (QPushButton), "TextBox"
// (QLineEdit, QTextEdit, QPlainTextEdit), "ComboBox", "ListBox" (QListView, QListWidget),
// "ListView" (QTreeView, QTableView and their item widgets), "PictureBox" (PictureBox, or a
// QLabel showing a picture), "Label" (a plain text QLabel), "SkinLabel"; other widgets get
// names of their own ("CheckBox", "Frame", "RichTextBox" ...) or their class name.
QString controlTypeName(const QWidget *w);

// The window's controls in the window's control order: every child widget that is not a
// window, depth first, without looking inside a control (a combo box's own editor is part of
// the combo box, not a control of the window).
QList<QWidget *> formControls(QWidget *form);

// ColorControls: for each control, the skin back colour behind command buttons; back and
// fore colours for text boxes, combo boxes, list boxes and list views; the panel colour
// behind picture boxes. Other controls keep their colours.
void ColorControls(QWidget *form, const QColor &back, const QColor &fore, const QColor &panel);

// A label drawn by the skin. As a skinned copy of a plain label it is placed over that label
// in the same container and follows its geometry, font, text and visibility; the plain label
// stays in place underneath, its own text no longer drawn.
class SkinLabel : public QLabel
{
    Q_OBJECT
public:
    explicit SkinLabel(QWidget *parent = nullptr);
    explicit SkinLabel(const QString &text, QWidget *parent = nullptr);

    void follow(QLabel *source);
    QLabel *source() const { return m_source; }
    // Copies the plain label's top, left, height, width, font, caption and visibility.
    void copyFromSource();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_source = nullptr; // cleared (and this copy deleted) when the label goes
};

// The label overlay: a skinned copy of each plain label of the window ("Label": a QLabel with
// text, not a SkinLabel and not a picture). With containers empty every label gets one (the
// About and export windows); otherwise only the labels whose container is one of containers
// (the main window's four, the browser window's frame). Returns the copies made.
QList<SkinLabel *> applyLabelOverlay(QWidget *form, const QList<QWidget *> &containers = {});

// A frame that shows a picture, scaled to fit and centred; its back colour shows around it.
class PictureBox : public QFrame
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);
    void setPixmap(const QPixmap &pixmap);
    QPixmap pixmap() const { return m_pixmap; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_pixmap;
};

// The banner of the main window (used only when bBanner is true). Before the call the main
// window moves its frames down with moveFramesForBanner. SetupBanner adds the picture box
// "picBox" at the banner browser's place (its width less a margin of 20 pixels, or 280 twips
// when the window's design is in twips), moves the banner browser into it at 0, 0, shows
// both, hides wbPicture and navigates the banner to strBannerUrl (by navigate, or setUrl when
// the banner is a QWebEngineView). Returns the picture box.
PictureBox *SetupBanner(QWidget *mainWindow, QWidget *wbBanner, QWidget *wbPicture,
                        bool scaleModePixels = false,
                        const std::function<void(const QUrl &)> &navigate = {});
// New top of each frame = banner height + old top + 100 twips.
void moveFramesForBanner(const QList<QWidget *> &frames, int bannerHeight);
