// The small windows and the skin: help, About, splash, SkinForm and its recovery, the colour
// rules, the label overlay, SetTopMost and the banner.
//
// Set VARNEL_GRAB_DIR to a folder to get a picture of every window the suite opens.

#include "aboutwindow.h"
#include "datadir.h"
#include "exportdialog.h"
#include "helpwindow.h"
#include "ontop.h"
#include "options.h"
#include "productinfo.h"
#include "rtfreader.h"
#include "settingsstore.h"
#include "skin.h"
#include "soundeffectplayer.h"
#include "splashwindow.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "varnel_version.h"
#include "windowcontrols.h"
#include "windowowner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtTest>

namespace {
void grab(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("VARNEL_GRAB_DIR");
    if (dir.isEmpty() || !w)
        return;
    w->show();
    QCoreApplication::processEvents();
    w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QList<SkinLabel *> copiesOf(QWidget *form)
{
    QList<SkinLabel *> out;
    const QList<SkinLabel *> all = form->findChildren<SkinLabel *>();
    for (SkinLabel *l : all) {
        if (l->source())
            out.append(l);
    }
    return out;
}

// Each copy matches its plain label: container, geometry, font, text, visibility.
void verifyCopies(const QList<SkinLabel *> &copies)
{
    for (SkinLabel *c : copies) {
        QLabel *src = c->source();
        QVERIFY(src);
        QCOMPARE(c->parentWidget(), src->parentWidget());
        QCOMPARE(c->geometry(), src->geometry());
        QCOMPARE(c->font(), src->font());
        QCOMPARE(c->text(), src->text());
        QCOMPARE(c->isHidden(), src->isHidden());
        // Drawn above the plain label, which stays in place.
        const QObjectList siblings = src->parentWidget()->children();
        QVERIFY(siblings.indexOf(c) > siblings.indexOf(src));
    }
}
} // namespace

class TestWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void help_startupRuleAndCheckBox_data();
    void help_startupRuleAndCheckBox();
    void help_clickingCheckBoxStoresIt();
    void help_showsOurDocumentAndStaysOnTop();
    void help_missingOrDamagedDocument();
    void help_coversEveryWindowAndOption();

    void about_showsProductInformation();
    void about_openedTwiceIsOneWindow();

    void splash_opensMainWindowOnceOnTheLastTick();
    void skinForm_withoutSplash_loadsItHiddenAndStopped();
    void skin_ownSkinLoads();
    void damagedSkin_data();
    void damagedSkin();
    void damagedSkin_runningSplashStillOpensMainWindow();

    void colourRules_data();
    void colourRules();
    void formControls_doNotLookInsideAControl();

    void labelOverlay_aboutAndExport();
    void labelOverlay_mainWindowContainers();
    void labelOverlay_followsThePlainLabel();

    void setTopMost_keepsGeometryAndVisibility();
    void soundPlayer_missingFilePlaysNothing();
    void setupBanner_placesTheBannerInAPictureBox_data();
    void setupBanner_placesTheBannerInAPictureBox();

private:
    TempDataDir *m_dir = nullptr;
    WindowOwner *m_windows = nullptr;
};

void TestWindows::initTestCase()
{
    TestEnv::enterTestMode();
}

void TestWindows::init()
{
    m_dir = new TempDataDir;
    m_windows = new WindowOwner(m_dir->path());
    LoadProductInfo();
}

void TestWindows::cleanup()
{
    delete m_windows; // closes every window it opened
    m_windows = nullptr;
    QVERIFY(!objSkin);
    delete m_dir;
    m_dir = nullptr;
}

void TestWindows::help_startupRuleAndCheckBox_data()
{
    QTest::addColumn<QString>("stored"); // null: the key is absent
    QTest::addColumn<bool>("atStartup");
    QTest::addColumn<bool>("checked");
    QTest::newRow("first start") << QString() << true << true;
    QTest::newRow("1") << QStringLiteral("1") << true << true;
    QTest::newRow("0") << QStringLiteral("0") << false << false;
    QTest::newRow("not exactly 1") << QStringLiteral(" 1") << false << true;
    QTest::newRow("not a number") << QStringLiteral("yes") << false << true;
}

void TestWindows::help_startupRuleAndCheckBox()
{
    QFETCH(QString, stored);
    QFETCH(bool, atStartup);
    QFETCH(bool, checked);
    SettingsStore settings(SettingsStore::iniPathForDataDir(m_dir->path()));
    if (!stored.isNull())
        settings.write(QString::fromLatin1(SettingKeys::showHelp), stored);
    QCOMPARE(HelpWindow::showAtStartup(settings), atStartup);
    // The menu item opens the window whatever is stored.
    HelpWindow *w = m_windows->openHelp(&settings);
    QVERIFY(w);
    QCOMPARE(control<QCheckBox>(w, QStringLiteral("Check1"))->isChecked(), checked);
    QCOMPARE(settings.read(QString::fromLatin1(SettingKeys::showHelp), QStringLiteral("<absent>")),
             stored.isNull() ? QStringLiteral("<absent>") : stored); // loading writes nothing
}

void TestWindows::help_clickingCheckBoxStoresIt()
{
    const QString ini = SettingsStore::iniPathForDataDir(m_dir->path());
    {
        SettingsStore settings(ini);
        HelpWindow *w = m_windows->openHelp(&settings);
        QVERIFY(w);
        QCOMPARE(control<QCheckBox>(w, QStringLiteral("Check1"))->text(),
                 QStringLiteral("Show at Startup"));
        control<QCheckBox>(w, QStringLiteral("Check1"))->click();
        QCOMPARE(settings.read(QStringLiteral("showHelp"), QString()), QStringLiteral("0"));
        m_windows->closeHelp();
    }
    {
        SettingsStore next(ini); // the next start
        QVERIFY(!HelpWindow::showAtStartup(next));
        HelpWindow *w = m_windows->openHelp(&next);
        QVERIFY(w);
        QVERIFY(!control<QCheckBox>(w, QStringLiteral("Check1"))->isChecked());
        control<QCheckBox>(w, QStringLiteral("Check1"))->click();
        QCOMPARE(next.read(QStringLiteral("showHelp"), QString()), QStringLiteral("1"));
    }
}

void TestWindows::help_showsOurDocumentAndStaysOnTop()
{
    SettingsStore settings(SettingsStore::iniPathForDataDir(m_dir->path()));
    HelpWindow *w = m_windows->openHelp(&settings);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Readme/Help"));
    QVERIFY(w->isVisible());
    QVERIFY(w->documentPath().endsWith(QLatin1String("Help.rtf")));
    QVERIFY(control<QTextBrowser>(w, QStringLiteral("rtf1"))
                ->toPlainText()
                .contains(QLatin1String("Follow redirects (HTTPS)")));
    QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w->property("varnelSkin").isValid()); // drawn in the skin
    QCOMPARE(m_windows->openHelp(&settings), w);
    grab(w, QStringLiteral("help"));

    // A copy of the document in the data directory is the one shown.
    m_windows->closeHelp();
    QVERIFY(writeFile(m_dir->file(QStringLiteral("Help.rtf")), "{\\rtf1 My own help.\\par}"));
    w = m_windows->openHelp(&settings);
    QVERIFY(w);
    QCOMPARE(control<QTextBrowser>(w, QStringLiteral("rtf1"))->toPlainText(),
             QStringLiteral("My own help."));
}

void TestWindows::help_missingOrDamagedDocument()
{
    SettingsStore settings(SettingsStore::iniPathForDataDir(m_dir->path()));
    QVERIFY(!m_windows->openHelp(&settings, m_dir->file(QStringLiteral("gone/Help.rtf"))));
    QVERIFY(!m_windows->help());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.rtf")));
    QVERIFY(!m_windows->openHelp(&settings, m_dir->file(QStringLiteral("folder.rtf"))));

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) & 0xFF));
    QVERIFY(writeFile(m_dir->file(QStringLiteral("damaged.rtf")),
                      QByteArray("{\\rtf1 {\\b ") + garbage));
    HelpWindow *w = m_windows->openHelp(&settings, m_dir->file(QStringLiteral("damaged.rtf")));
    QVERIFY(w);
    QVERIFY(w->isVisible());
}

// The help document that ships tells of every option (by the caption the window shows) and
// every window.
void TestWindows::help_coversEveryWindowAndOption()
{
    QFile file(DataDir::resource(m_dir->path(), QStringLiteral("Help.rtf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTextDocument doc;
    QVERIFY(readRtf(file.readAll(), &doc));
    // The document's typographic quotes read as the window's plain ones.
    const QString text = doc.toPlainText()
                             .replace(QChar(0x201C), QLatin1Char('"'))
                             .replace(QChar(0x201D), QLatin1Char('"'));
    QStringList missing;
    for (const OptionRow &row : optionTable()) {
        // Two lists show their own names until a pick: the labels beside them are their
        // captions (below).
        if (row.caption != row.key && !text.contains(row.caption))
            missing << row.caption;
    }
    for (const char *shown :
         {"Advancd after this many websites are scanned:", "After last search:",
          "Auto Search Advance:", "Audio:", "Other:", "Crawl Options", "Stop Immediately",
          "Continue Until Stopped",
          // the windows
          "Searches", "Emails", "Statistics", "List Builder - Finding matching websites...",
          "Fax Database", "Export Faxes", "Readme/Help", "About this software", "Database…",
          "Import Sites…", "Places…", "browser window",
          // the export's types
          "Semi-Colon Delimited (;)", "Tab Delimited (^t)", "Line Feed Delimited (one per line)",
          "CSV (all columns)", "CSV for spreadsheets", "Excel workbook (.xlsx)",
          "Only numbers new since the last export",
          // the numbers window's tab and its business columns
          "Businesses", "Organization", "Unit", "Postal Code", "State or Province",
          "Address Country", "Main Phone", "Business Site", "Delete all faxes when finished",
          "Put a space between each entry"}) {
        if (!text.contains(QString::fromUtf8(shown)))
            missing << QString::fromUtf8(shown);
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    // What the window no longer does is not told.
    QVERIFY(!text.contains(QStringLiteral("View Fax Database opens that folder")));
}

void TestWindows::about_showsProductInformation()
{
    AboutWindow *w = m_windows->openAbout();
    QCOMPARE(w->windowTitle(), QStringLiteral("About Quorvex Fax Varnel"));
    QCOMPARE(control<SkinLabel>(w, QStringLiteral("Label1"))->text(),
             QStringLiteral("Quorvex Fax Varnel"));
    QCOMPARE(control<QLabel>(w, QStringLiteral("Label2"))->text(), QStringLiteral("Version:"));
    QCOMPARE(control<SkinLabel>(w, QStringLiteral("lblVersion"))->text(),
             QStringLiteral("%1.%2").arg(VARNEL_VERSION_MAJOR).arg(VARNEL_VERSION_MINOR));
    QCOMPARE(control<QLabel>(w, QStringLiteral("Label3"))->text(), QStringLiteral("Owned By:"));
    QCOMPARE(control<SkinLabel>(w, QStringLiteral("lblCompany"))->text(),
             QStringLiteral(VARNEL_COMPANY_NAME));
    QCOMPARE(control<QLabel>(w, QStringLiteral("Label4"))->text(), QStringLiteral("Website:"));
    QCOMPARE(control<SkinLabel>(w, QStringLiteral("lblWebsite"))->text(),
             QStringLiteral(VARNEL_WEBSITE));
    QVERIFY(control<QLabel>(w, QStringLiteral("Label5"))
                ->text()
                .contains(QStringLiteral(VARNEL_COMPANY_NAME)));
    QCOMPARE(productVersionText(), control<SkinLabel>(w, QStringLiteral("lblVersion"))->text());
    QVERIFY(!control<PictureBox>(w, QStringLiteral("Picture1"))
                 ->pixmap()
                 .isNull()); // the logo is built in
    QVERIFY(!productIcon().isNull());
    grab(w, QStringLiteral("about"));
}

void TestWindows::about_openedTwiceIsOneWindow()
{
    AboutWindow *first = m_windows->openAbout();
    AboutWindow *second = m_windows->openAbout();
    QCOMPARE(first, second);
    int abouts = 0;
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget *t : tops)
        abouts += qobject_cast<AboutWindow *>(t) ? 1 : 0;
    QCOMPARE(abouts, 1);
    // Closed (its Close button, as its close box), it unloads; opened again, it is a new load.
    control<QPushButton>(first, QStringLiteral("cmdClose"))->click();
    QTRY_VERIFY(!m_windows->about());
    QVERIFY(m_windows->openAbout());
}

void TestWindows::splash_opensMainWindowOnceOnTheLastTick()
{
    int opened = 0;
    qint16 ticksAtOpen = 0;
    SplashWindow *s = nullptr;
    s = m_windows->startSplash([&] {
        ++opened;
        ticksAtOpen = s->ticks();
    });
    QVERIFY(!m_windows->isExitPending());
    QCOMPARE(control<QTimer>(s, QStringLiteral("Timer2"))->interval(), 2);
    QVERIFY(control<QTimer>(s, QStringLiteral("Timer2"))->isActive());
    QVERIFY(s->isVisible());
    QCOMPARE(objSkin, &s->skn);
    grab(s, QStringLiteral("splash"));
    QTRY_COMPARE_WITH_TIMEOUT(opened, 1, 10000);
    QCOMPARE(ticksAtOpen, qint16(150)); // the 75th tick
    QVERIFY(!control<QTimer>(s, QStringLiteral("Timer2"))->isActive());
    QVERIFY(!s->isVisible());
    QTest::qWait(60);
    QCOMPARE(opened, 1);
    QCOMPARE(m_windows->splash(), s); // stays loaded: the skin lives on it
    QCOMPARE(m_windows->loadSplash(), s);
}

void TestWindows::skinForm_withoutSplash_loadsItHiddenAndStopped()
{
    QVERIFY(!m_windows->splash());
    QWidget form;
    auto *button = new QPushButton(QStringLiteral("Go"), &form);
    QVERIFY(SkinForm(&form));
    SplashWindow *s = m_windows->splash();
    QVERIFY(s);
    QVERIFY(!s->isVisible());
    QVERIFY(!control<QTimer>(s, QStringLiteral("Timer2"))->isActive());
    QCOMPARE(objSkin, &s->skn);
    QColor back;
    QVERIFY(objSkin->color(Skin::BackColor, &back));
    QCOMPARE(button->palette().color(QPalette::Button), back);
    QVERIFY(!form.styleSheet().isEmpty());
    QTest::qWait(400); // far beyond 75 ticks: this splash opens nothing
    QCOMPARE(s->ticks(), qint16(0));
}

void TestWindows::skin_ownSkinLoads()
{
    Skin skin;
    QVERIFY2(skin.load(Skin::defaultSkinFile(m_dir->path())), qPrintable(skin.errorString()));
    QCOMPARE(skin.name(), QStringLiteral("Harbour"));
    QColor c;
    for (int id : {2, 3, 4, 5})
        QVERIFY(skin.color(id, &c) && c.isValid());
    QVERIFY(!skin.color(6, &c));
    QVERIFY(!skin.styleSheet().contains(QLatin1String("${"))); // every colour resolved
    // Text and its background differ enough to read (WCAG contrast of at least 4.5).
    auto luminance = [](const QColor &x) {
        auto ch = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(x.redF()) + 0.7152 * ch(x.greenF()) + 0.0722 * ch(x.blueF());
    };
    auto contrast = [&](const QColor &a, const QColor &b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    QColor back, fore, panel, panelText;
    skin.color(Skin::BackColor, &back);
    skin.color(Skin::ForeColor, &fore);
    skin.color(Skin::PanelColor, &panel);
    skin.color(Skin::PanelTextColor, &panelText);
    QVERIFY(contrast(back, fore) >= 4.5);
    QVERIFY(contrast(panel, panelText) >= 4.5);
    QVERIFY(contrast(skin.namedColor(QStringLiteral("window")), fore) >= 4.5);
}

void TestWindows::damagedSkin_data()
{
    QTest::addColumn<QByteArray>("skinFile");
    QTest::addColumn<QByteArray>("styleFile"); // null: no style file at all

    const QByteArray style("QPushButton { color: ${fore}; }");
    const QByteArray good(
        "Back=#ffffff\nFore=#000000\nPanel=#cccccc\nPanelText=#111111\nStyle=s.qss\n");
    QTest::newRow("a colour missing")
        << QByteArray("Back=#ffffff\nFore=#000000\nPanel=#cccccc\nStyle=s.qss\n") << style;
    QTest::newRow("not a colour") << QByteArray(good).replace("#cccccc", "#ccxxcc") << style;
    QTest::newRow("not key=value") << QByteArray(good) + "garbage line\n" << style;
    QTest::newRow("binary garbage") << QByteArray("\x00\x01\x02\xff\xfe=\x80\x81", 9) << style;
    QTest::newRow("empty file") << QByteArray("") << style;
    QTest::newRow("no style named") << QByteArray(good).replace("Style=s.qss\n", "") << style;
    QTest::newRow("style file missing") << good << QByteArray();
    QTest::newRow("style file empty") << good << QByteArray(" \n");
    QTest::newRow("style names an unknown colour")
        << good << QByteArray("QLabel { color: ${purple}; }");
    QTest::newRow("far too large") << QByteArray(good) + QByteArray(300 * 1024, ';') << style;
}

void TestWindows::damagedSkin()
{
    QFETCH(QByteArray, skinFile);
    QFETCH(QByteArray, styleFile);
    QVERIFY(writeFile(m_dir->file(QStringLiteral("skin/varnel.skin")), skinFile));
    if (!styleFile.isNull())
        QVERIFY(writeFile(m_dir->file(QStringLiteral("skin/s.qss")), styleFile));

    Skin skin;
    QVERIFY(!skin.load(m_dir->file(QStringLiteral("skin/varnel.skin"))));
    QVERIFY(!skin.errorString().isEmpty());
    QColor c;
    QVERIFY(!skin.color(Skin::BackColor, &c));

    // The windows open in their plain look.
    AboutWindow *about = m_windows->openAbout(); // the skin of the data directory is the one used
    QVERIFY(about->isVisible());
    QVERIFY(about->styleSheet().isEmpty());
    QVERIFY(!about->property("varnelSkin").isValid());
    SettingsStore settings(SettingsStore::iniPathForDataDir(m_dir->path()));
    HelpWindow *help = m_windows->openHelp(&settings);
    QVERIFY(help && help->isVisible() && help->styleSheet().isEmpty());
    QVERIFY(!SkinForm(help));
}

void TestWindows::damagedSkin_runningSplashStillOpensMainWindow()
{
    QVERIFY(writeFile(m_dir->file(QStringLiteral("skin/varnel.skin")), "Back=nonsense\n"));
    int opened = 0;
    m_windows->startSplash([&] { ++opened; });
    // A window that fails to skin while the splash is still counting must not stop it.
    QWidget form;
    QVERIFY(!SkinForm(&form));
    QTRY_COMPARE_WITH_TIMEOUT(opened, 1, 10000);
}

namespace {
QWidget *makeControl(const QString &kind, QWidget *parent)
{
    if (kind == QLatin1String("QPushButton"))
        return new QPushButton(QStringLiteral("b"), parent);
    if (kind == QLatin1String("QLineEdit"))
        return new QLineEdit(parent);
    if (kind == QLatin1String("QTextEdit"))
        return new QTextEdit(parent);
    if (kind == QLatin1String("QPlainTextEdit"))
        return new QPlainTextEdit(parent);
    if (kind == QLatin1String("QComboBox"))
        return new QComboBox(parent);
    if (kind == QLatin1String("editable QComboBox")) {
        auto *c = new QComboBox(parent);
        c->setEditable(true);
        return c;
    }
    if (kind == QLatin1String("QListWidget"))
        return new QListWidget(parent);
    if (kind == QLatin1String("QListView"))
        return new QListView(parent);
    if (kind == QLatin1String("QTreeView"))
        return new QTreeView(parent);
    if (kind == QLatin1String("QTableWidget"))
        return new QTableWidget(parent);
    if (kind == QLatin1String("PictureBox"))
        return new PictureBox(parent);
    if (kind == QLatin1String("QLabel with a picture")) {
        auto *l = new QLabel(parent);
        QPixmap pm(8, 8);
        pm.fill(Qt::red);
        l->setPixmap(pm);
        return l;
    }
    if (kind == QLatin1String("QLabel"))
        return new QLabel(QStringLiteral("text"), parent);
    if (kind == QLatin1String("QCheckBox"))
        return new QCheckBox(QStringLiteral("c"), parent);
    if (kind == QLatin1String("QGroupBox"))
        return new QGroupBox(QStringLiteral("g"), parent);
    if (kind == QLatin1String("QTextBrowser"))
        return new QTextBrowser(parent);
    if (kind == QLatin1String("QProgressBar"))
        return new QProgressBar(parent);
    return nullptr;
}
} // namespace

void TestWindows::colourRules_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<QString>("rule"); // "back", "back+fore", "panel" or "none"

    QTest::newRow("button") << "QPushButton"
                            << "CommandButton"
                            << "back";
    QTest::newRow("line edit") << "QLineEdit"
                               << "TextBox"
                               << "back+fore";
    QTest::newRow("text edit") << "QTextEdit"
                               << "TextBox"
                               << "back+fore";
    QTest::newRow("plain text edit") << "QPlainTextEdit"
                                     << "TextBox"
                                     << "back+fore";
    QTest::newRow("combo box") << "QComboBox"
                               << "ComboBox"
                               << "back+fore";
    QTest::newRow("editable combo box") << "editable QComboBox"
                                        << "ComboBox"
                                        << "back+fore";
    QTest::newRow("list widget") << "QListWidget"
                                 << "ListBox"
                                 << "back+fore";
    QTest::newRow("list view") << "QListView"
                               << "ListBox"
                               << "back+fore";
    QTest::newRow("tree view") << "QTreeView"
                               << "ListView"
                               << "back+fore";
    QTest::newRow("table widget") << "QTableWidget"
                                  << "ListView"
                                  << "back+fore";
    QTest::newRow("picture box") << "PictureBox"
                                 << "PictureBox"
                                 << "panel";
    QTest::newRow("label with a picture") << "QLabel with a picture"
                                          << "PictureBox"
                                          << "panel";
    QTest::newRow("label") << "QLabel"
                           << "Label"
                           << "none";
    QTest::newRow("check box") << "QCheckBox"
                               << "CheckBox"
                               << "none";
    QTest::newRow("group box") << "QGroupBox"
                               << "Frame"
                               << "none";
    QTest::newRow("rich text box") << "QTextBrowser"
                                   << "RichTextBox"
                                   << "none";
    QTest::newRow("progress bar") << "QProgressBar"
                                  << "ProgressBar"
                                  << "none";
}

void TestWindows::colourRules()
{
    QFETCH(QString, kind);
    QFETCH(QString, typeName);
    QFETCH(QString, rule);
    const QColor back(0x10, 0x20, 0x30), fore(0xA0, 0xB0, 0xC0), panel(0x40, 0x50, 0x60);
    Skin skin;
    QVERIFY(skin.load(Skin::defaultSkinFile(m_dir->path())));

    // The same control in two skinned windows, one of them coloured by the rules; controls
    // inside containers count too.
    QWidget form, plainForm;
    QWidget *w = makeControl(kind, new QGroupBox(QStringLiteral("Frame"), &form));
    QWidget *twin = makeControl(kind, new QGroupBox(QStringLiteral("Frame"), &plainForm));
    QVERIFY(w && twin);
    for (QWidget *c : {w, twin})
        c->setGeometry(10, 20, 120, 40);
    QCOMPARE(controlTypeName(w), typeName);

    ColorControls(&form, back, fore, panel);
    QVERIFY(skin.apply(&form));
    QVERIFY(skin.apply(&plainForm));
    form.resize(200, 100);
    plainForm.resize(200, 100);
    form.show();
    plainForm.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form) && QTest::qWaitForWindowExposed(&plainForm));

    // What the control shows: its palette once the window style has been applied, and for
    // the back colour the pixels drawn.
    const QPalette p = w->palette();
    const QPalette d = twin->palette();
    const QImage image = w->grab().toImage();
    auto drawsColour = [&](const QColor &c) {
        for (const QPoint &pt : {QPoint(6, image.height() / 2), QPoint(image.width() - 30, 6),
                                 QPoint(image.width() / 2, image.height() - 6)}) {
            if (image.pixelColor(pt) == c)
                return true;
        }
        return false;
    };
    if (rule == QLatin1String("back")) {
        QCOMPARE(p.color(QPalette::Button), back);
        QCOMPARE(p.color(QPalette::ButtonText), d.color(QPalette::ButtonText));
        QVERIFY(drawsColour(back));
    } else if (rule == QLatin1String("back+fore")) {
        QCOMPARE(p.color(QPalette::Base), back);
        QCOMPARE(p.color(QPalette::Text), fore);
        QVERIFY(drawsColour(back));
    } else if (rule == QLatin1String("panel")) {
        QCOMPARE(p.color(QPalette::Window), panel);
        QCOMPARE(p.color(QPalette::Text), d.color(QPalette::Text));
        QVERIFY(drawsColour(panel));
    } else {
        for (QPalette::ColorRole r : {QPalette::Base, QPalette::Text, QPalette::Button,
                                      QPalette::ButtonText, QPalette::Window, QPalette::WindowText})
            QCOMPARE(p.color(r), d.color(r));
        QVERIFY(w->styleSheet().isEmpty());
    }
}

void TestWindows::formControls_doNotLookInsideAControl()
{
    QWidget form;
    auto *frame = new QGroupBox(&form);
    auto *combo = new QComboBox(frame);
    combo->setEditable(true);
    auto *button = new QPushButton(&form);
    const QList<QWidget *> controls = formControls(&form);
    QCOMPARE(controls, (QList<QWidget *>{frame, combo, button}));
    QVERIFY(!controls.contains(combo->lineEdit()));
}

void TestWindows::labelOverlay_aboutAndExport()
{
    AboutWindow *about = m_windows->openAbout();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QList<SkinLabel *> copies = copiesOf(about);
    QStringList copied;
    for (SkinLabel *c : copies)
        copied << c->source()->objectName();
    copied.sort();
    // Every plain label, and only those: Label1 and the three values are skinned labels already.
    QCOMPARE(copied, (QStringList{"Label2", "Label3", "Label4", "Label5"}));
    verifyCopies(copies);

    SqliteStore db(m_dir->path());
    ExportDialog *exp = m_windows->openExport(&db);
    QVERIFY(QTest::qWaitForWindowExposed(exp));
    copies = copiesOf(exp);
    QCOMPARE(copies.size(), 1);
    QCOMPARE(copies.first()->source(), control<QLabel>(exp, QStringLiteral("Label1")));
    QCOMPARE(copies.first()->text(), QStringLiteral("Output Type:"));
    verifyCopies(copies);
    grab(exp, QStringLiteral("export"));

    // Without the skin there is no overlay.
    m_windows->closeAbout();
    bSkin = false;
    about = m_windows->openAbout();
    bSkin = true;
    QVERIFY(copiesOf(about).isEmpty());
    QVERIFY(about->styleSheet().isEmpty());
    grab(about, QStringLiteral("about-plain"));
}

void TestWindows::labelOverlay_mainWindowContainers()
{
    // The main window: four containers carry overlays; a label elsewhere keeps its plain look.
    QWidget form;
    auto *layout = new QVBoxLayout(&form);
    QList<QWidget *> frames;
    QList<QLabel *> labels;
    for (int i = 1; i <= 5; ++i) {
        auto *frame = new QGroupBox(QStringLiteral("Frame%1").arg(i), &form);
        layout->addWidget(frame);
        auto *inner = new QVBoxLayout(frame);
        auto *label = new QLabel(QStringLiteral("label %1").arg(i), frame);
        label->setObjectName(QStringLiteral("label%1").arg(i));
        inner->addWidget(label);
        frames << frame;
        labels << label;
    }
    auto *onForm = new QLabel(QStringLiteral("on the form itself"), &form);
    layout->addWidget(onForm);
    labels[2]->hide();
    auto *deep = new QLabel(QStringLiteral("in a frame inside frame 1"), new QFrame(frames[0]));

    const QList<SkinLabel *> made = applyLabelOverlay(&form, frames.mid(0, 4));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList sources;
    for (SkinLabel *c : made)
        sources << c->source()->objectName();
    QCOMPARE(sources, (QStringList{"label1", "label2", "label3", "label4"}));
    verifyCopies(made);
    QVERIFY(made[2]->isHidden());
    QVERIFY(copiesOf(&form).size() == 4);
    for (SkinLabel *c : made)
        QVERIFY(c->source() != onForm && c->source() != deep && c->source() != labels[4]);
}

void TestWindows::labelOverlay_followsThePlainLabel()
{
    QWidget form;
    auto *layout = new QVBoxLayout(&form);
    auto *label = new QLabel(QStringLiteral("Sites Scanned: 0"), &form);
    layout->addWidget(label);
    layout->addWidget(new QPushButton(QStringLiteral("x"), &form));
    const QList<SkinLabel *> made = applyLabelOverlay(&form);
    QCOMPARE(made.size(), 1);
    SkinLabel *copy = made.first();
    form.resize(300, 120);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    verifyCopies(made);

    label->setText(QStringLiteral("Sites Scanned: 12"));
    QTRY_COMPARE(copy->text(), QStringLiteral("Sites Scanned: 12"));
    form.resize(500, 200);
    QTRY_COMPARE(copy->geometry(), label->geometry());
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    QTRY_COMPARE(copy->font(), label->font());
    label->hide();
    QVERIFY(copy->isHidden());
    label->show();
    QVERIFY(!copy->isHidden());
    // The plain label's own text is no longer drawn, so the two never show doubled.
    QCOMPARE(label->palette().color(QPalette::WindowText).alpha(), 0);
}

void TestWindows::setTopMost_keepsGeometryAndVisibility()
{
    QWidget w;
    w.setGeometry(100, 120, 320, 200);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect before = w.geometry();
    SetTopMost(&w, true);
    QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w.isVisible());
    QCOMPARE(w.geometry(), before);
    SetTopMost(&w, false);
    QVERIFY(!w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w.isVisible());
    QCOMPARE(w.geometry(), before);

    QWidget hidden; // not shown yet: it takes the state when it is
    SetTopMost(&hidden, true);
    QVERIFY(hidden.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    SetTopMost(nullptr, true); // nothing happens
}

void TestWindows::setupBanner_placesTheBannerInAPictureBox_data()
{
    QTest::addColumn<bool>("pixels");
    QTest::addColumn<int>("margin");
    QTest::newRow("pixel design") << true << 20;
    QTest::newRow("twips design") << false << 19; // 280 twips at 96 dpi
}

void TestWindows::setupBanner_placesTheBannerInAPictureBox()
{
    QFETCH(bool, pixels);
    QFETCH(int, margin);
    QWidget main;
    main.resize(800, 600);
    auto *wbBanner = new QWidget(&main);
    wbBanner->setGeometry(12, 8, 468, 60);
    wbBanner->hide();
    auto *wbPicture = new PictureBox(&main);
    wbPicture->setGeometry(12, 8, 468, 60);
    QList<QWidget *> frames;
    for (int i = 0; i < 4; ++i) {
        auto *f = new QGroupBox(&main);
        f->move(10 + 200 * i, 30);
        frames << f;
    }
    moveFramesForBanner(frames, wbBanner->height());
    for (QWidget *f : frames)
        QCOMPARE(f->y(), 60 + 30 + 7); // banner height + old top + 100 twips

    QUrl navigated;
    PictureBox *picBox =
        SetupBanner(&main, wbBanner, wbPicture, pixels, [&](const QUrl &u) { navigated = u; });
    QVERIFY(picBox);
    QCOMPARE(picBox->objectName(), QStringLiteral("picBox"));
    QCOMPARE(picBox->parentWidget(), &main);
    QCOMPARE(picBox->geometry(), QRect(12, 8, 468 - margin, 60));
    QCOMPARE(picBox->frameShape(), QFrame::NoFrame);
    QCOMPARE(wbBanner->parentWidget(), picBox);
    QCOMPARE(wbBanner->pos(), QPoint(0, 0));
    QVERIFY(!picBox->isHidden());
    QVERIFY(!wbBanner->isHidden());
    QVERIFY(wbPicture->isHidden());
    QCOMPARE(navigated, QUrl(QStringLiteral("http://")));
}

void TestWindows::soundPlayer_missingFilePlaysNothing()
{
    SoundEffectPlayer player;
    player.play(QStringLiteral("/nonexistent/sounds/finished.wav"));
    player.play(QString());
    QVERIFY(player.children().isEmpty());
    // Without the file in any resource folder the harvest does not call the player.
    QVERIFY(DataDir::resource(m_dir->path(), QStringLiteral("sounds/no-such-sound.wav")).isEmpty());
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
