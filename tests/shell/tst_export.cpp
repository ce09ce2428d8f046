// The export: the dialog's cases, the file helpers, CSV quoting and varnel-tool export.

#include "clock.h"
#include "export.h"
#include "exportdialog.h"
#include "harvestsession.h"
#include "productinfo.h"
#include "sqlitestore.h"
#include "storetestkit.h"
#include "testenv.h"
#include "textlist.h"
#include "windowcontrols.h"
#include "windowowner.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The CSV's columns of the business, after those of the number, and their cells for a
// number without one.
const QByteArray kBusinessTitles = ",Organization,Unit,Street,Postal Code,City,State or "
                                   "Province,Address Country,Main Phone,Email,Business Site\r\n";
const QByteArray kNoBusiness = ",,,,,,,,,,\r\n";

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The locks this process holds on a file, as the system lists them.
int locksHeldOn(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    QFile f(QStringLiteral("/proc/locks"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pid = " " + QByteArray::number(QCoreApplication::applicationPid()) + " ";
    const QByteArray inode = ":" + QByteArray::number(qulonglong(st.st_ino)) + " ";
    int n = 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        n += line.contains(pid) && line.contains(inode) ? 1 : 0;
    return n;
}

// The numbers of a harvest, in its store and its preview, as the main window has them; the
// export window deletes through the harvest.
struct Harvest
{
    explicit Harvest(const QString &dir)
        : session(std::make_unique<SqliteStore>(dir), dir, nullptr), windows(dir)
    {
        session.store()->setClock(&clock);
    }
    void add(const QStringList &numbers, const QString &search = QStringLiteral("dentists chicago"))
    {
        for (const QString &n : numbers) {
            addFax(*session.store(), n, QStringLiteral("www.example.com/contact.htm"), search,
                   QStringLiteral("Illinois"));
            session.numberPreview()->addItem(n + QStringLiteral(" | Illinois"));
            clock.advance(60);
        }
    }
    ExportDialog *openWindow()
    {
        return windows.openExport(session.store(), [this] { session.deleteAllNumbers(); });
    }
    ManualClock clock;
    HarvestSession session;
    WindowOwner windows;
};
} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void dialog_hasItsControls();
    void dialog_showsItsSentenceWhole();
    void dialog_spaceOnlyWhereItApplies();
    void dialog_deleteQuestionDefaultsToNo();
    void dialog_deletesNothingWhileAHarvestRuns();
    void fileDialog_leavesTheStoresLocks();
    void exportCases_data();
    void exportCases();
    void csv_quotesCommasQuotesAndLineBreaks_data();
    void csv_quotesCommasQuotesAndLineBreaks();
    void csv_cellsThatReadAsFormulasAreText_data();
    void csv_cellsThatReadAsFormulasAreText();
    void csv_fromTheDialog_hasHeaderAndIsoDates();
    void csv_telephoneCellsAsTheyAre_data();
    void csv_telephoneCellsAsTheyAre();
    void csv_forSpreadsheets_markedAsUtf8();
    void csv_readByPythonsCsvModule();
    void unreadableStore_writesAndDeletesNothing();
    void fileExists_data();
    void fileExists();
    void fileNamePart_data();
    void fileNamePart();
    void tool_data();
    void tool();
    void tool_doNotFaxListAndOnlyNew();
    void xlsx_everyCellIsText();
    void tool_numbersWithTheirBusinesses();
};

void TestExport::initTestCase()
{
    TestEnv::enterTestMode();
    LoadProductInfo();
    bSkin = false;
}

void TestExport::dialog_hasItsControls()
{
    TempDataDir dir;
    Harvest store(dir.path());
    ExportDialog *w = store.openWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("Export Faxes"));
    QCOMPARE(control<QLabel>(w, QStringLiteral("Label1"))->text(), QStringLiteral("Output Type:"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->currentIndex(), -1);
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->placeholderText(),
             QStringLiteral("Semi-Colon delimited (;)"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->count(), 6);
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(0),
             QStringLiteral("Semi-Colon Delimited (;)"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(1),
             QStringLiteral("Tab Delimited (^t)"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(2),
             QStringLiteral("Line Feed Delimited (one per line)"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(3),
             QStringLiteral("CSV (all columns)"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(4),
             QStringLiteral("CSV for spreadsheets"));
    QCOMPARE(control<QComboBox>(w, QStringLiteral("Combo1"))->itemText(FaxExport::Xlsx),
             QStringLiteral("Excel workbook (.xlsx)"));
    QCOMPARE(control<QCheckBox>(w, QStringLiteral("Check2"))->text(),
             QStringLiteral("Put a space between each entry"));
    QCOMPARE(control<QCheckBox>(w, QStringLiteral("Check1"))->text(),
             QStringLiteral("Delete all faxes when finished"));
    QVERIFY(!control<QCheckBox>(w, QStringLiteral("Check1"))->isChecked() &&
            !control<QCheckBox>(w, QStringLiteral("Check2"))->isChecked());
    QCOMPARE(control<QPushButton>(w, QStringLiteral("Command1"))->text(), QStringLiteral("Export"));
    // Opening it again while it is open gives the same window.
    QCOMPARE(store.openWindow(), w);
    // What an export would write.
    QCOMPARE(control<QLabel>(w, QStringLiteral("lblCounts"))->text(),
             QStringLiteral("There are no fax numbers to export."));
    store.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102")});
    w->updateCounts();
    QCOMPARE(control<QLabel>(w, QStringLiteral("lblCounts"))->text(),
             QStringLiteral("2 fax numbers will be written."));
    // Off by default, so that an export writes what it always wrote.
    QCOMPARE(control<QCheckBox>(w, QStringLiteral("Check3"))->text(),
             QStringLiteral("Only numbers new since the last export"));
    QVERIFY(!control<QCheckBox>(w, QStringLiteral("Check3"))->isChecked());
    QVERIFY(store.session.store()->addDoNotFax(
        QStringLiteral("312.555.0102"), QStringLiteral("+13125550102"), Store::reasonOptOut));
    QVERIFY(store.session.store()->recordExport(QStringLiteral("x"), {"+13125550101"}));
    w->updateCounts();
    QCOMPARE(control<QLabel>(w, QStringLiteral("lblCounts"))->text(),
             QStringLiteral("1 fax number will be written. 1 left out: 1 on the do-not-fax list."));
    control<QCheckBox>(w, QStringLiteral("Check3"))->setChecked(true); // the label follows at once
    QCOMPARE(control<QLabel>(w, QStringLiteral("lblCounts"))->text(),
             QStringLiteral("There are no fax numbers to export. 2 left out: 1 on the do-not-fax "
                            "list, 1 exported before."));
}

// What an export writes and leaves out is shown whole, however long it grows.
void TestExport::dialog_showsItsSentenceWhole()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102"),
               QStringLiteral("1-312-555-0103")});
    Store *db = store.session.store();
    QVERIFY(db->addDoNotFax(QStringLiteral("312-555-0101"), QStringLiteral("+13125550101"),
                            Store::reasonOptOut));
    QVERIFY(db->addDoNotFax(QStringLiteral("312-555-0102"), QStringLiteral("+13125550102"),
                            Store::reasonNoticeSays));
    QVERIFY(db->recordExport(QStringLiteral("x"), {"+13125550103"}));
    ExportDialog *w = store.openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto *counts = control<QLabel>(w, QStringLiteral("lblCounts"));
    control<QCheckBox>(w, QStringLiteral("Check3"))->setChecked(true);
    QCOMPARE(counts->text(),
             QStringLiteral("There are no fax numbers to export. 3 left out: 1 on the do-not-fax "
                            "list, 1 whose page says it takes no unsolicited faxes, 1 exported "
                            "before."));
    QTRY_VERIFY(w->rect().contains(counts->geometry()));
    QVERIFY(counts->height() >= counts->heightForWidth(counts->width()));
    QVERIFY(w->rect().contains(control<QPushButton>(w, QStringLiteral("Command1"))->geometry()));
}

void TestExport::dialog_spaceOnlyWhereItApplies()
{
    TempDataDir dir;
    Harvest store(dir.path());
    ExportDialog *w = store.openWindow();
    auto *type = control<QComboBox>(w, QStringLiteral("Combo1"));
    auto *space = control<QCheckBox>(w, QStringLiteral("Check2"));
    QVERIFY(space->isEnabled()); // nothing picked: the semicolon type
    for (int t = FaxExport::Semicolon; t <= FaxExport::CsvSpreadsheet; ++t) {
        type->setCurrentIndex(t);
        QCOMPARE(space->isEnabled(), t == FaxExport::Semicolon);
    }
}

// The question after an export takes Enter as No: the numbers stay.
void TestExport::dialog_deleteQuestionDefaultsToNo()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102")});
    ExportDialog *w = store.openWindow();
    w->askSaveFileName = [&](const QString &) { return dir.file(QStringLiteral("out.txt")); };
    control<QCheckBox>(w, QStringLiteral("Check1"))->setChecked(true);
    QString asked;
    bool defaultNo = false;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked = box->text();
        defaultNo = box->defaultButton() == box->button(QMessageBox::No);
        QTest::keyClick(box, Qt::Key_Return);
    });
    w->exportClicked();
    QVERIFY2(asked.endsWith(QStringLiteral("Are you sure you want to delete all 2 faxes?")),
             qPrintable(asked));
    QVERIFY(defaultNo);
    QCOMPARE(store.session.store()->countFaxes().value_or(-1), 2);
}

// While a harvest runs an export writes its file and deletes nothing: the numbers the
// harvest stores meanwhile would be deleted unexported.
void TestExport::dialog_deletesNothingWhileAHarvestRuns()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101")});
    bool harvesting = true;
    ExportDialog *w = store.windows.openExport(
        store.session.store(), [&] { store.session.deleteAllNumbers(); },
        [&] { return !harvesting; });
    auto *deleteAfter = control<QCheckBox>(w, QStringLiteral("Check1"));
    QVERIFY(!deleteAfter->isEnabled());
    QVERIFY(!deleteAfter->toolTip().isEmpty());
    deleteAfter->setChecked(true);
    w->askSaveFileName = [&](const QString &) { return dir.file(QStringLiteral("out.txt")); };
    bool asked = false;
    w->askYesNo = [&](const QString &) { return asked = true; };
    w->showInfo = [](const QString &) {};
    w->exportClicked();
    QVERIFY(!asked);
    QCOMPARE(readFile(dir.file(QStringLiteral("out.txt"))), QByteArray("1-312-555-0101;\r\n"));
    QCOMPARE(store.session.store()->countFaxes().value_or(-1), 1);
    // Once the harvest has stopped, the deletion is offered again.
    ExportDialog *again =
        store.windows.openExport(store.session.store(), {}, [&] { return !harvesting; });
    harvesting = false;
    again->updateDeletion();
    QVERIFY(control<QCheckBox>(again, QStringLiteral("Check1"))->isEnabled());
}

// The dialog that names the export file opens in the data folder, beside the database and
// its working files, while the harvest holds the store open: listing them takes none of the
// locks that keep other programs from deleting the write-ahead log under the store.
void TestExport::fileDialog_leavesTheStoresLocks()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101")});
    const QString db = dir.file(QStringLiteral("varnel.mdb"));
    const QString shm = db + QStringLiteral("-shm");
    const int before = locksHeldOn(db) + locksHeldOn(shm);
    QVERIFY2(locksHeldOn(db) > 0 && locksHeldOn(shm) > 0, "the open store holds its locks");
    ExportDialog *w = store.openWindow();
    int during = -1;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        const auto close = qScopeGuard([] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        QVERIFY(dialog);
        // Until the dialog has listed the folder and looked at every file in it.
        auto *model = dialog->findChild<QFileSystemModel *>();
        QVERIFY(model);
        QTRY_VERIFY(model->index(shm).isValid() && model->index(db + "-wal").isValid());
        for (const QString &f : {db, db + QStringLiteral("-wal"), shm}) {
            const QModelIndex i = model->index(f);
            (void)model->data(i, Qt::DecorationRole);
            (void)model->data(i.siblingAtColumn(2), Qt::DisplayRole);
        }
        QTest::qWait(1000);
        during = locksHeldOn(db) + locksHeldOn(shm);
    });
    QCOMPARE(w->askSaveFileName(dir.file(QStringLiteral("export.txt"))), QString());
    QCOMPARE(during, before);
}

void TestExport::exportCases_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("space");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QByteArray>("existing"); // content of a file already there; null: none
    QTest::addColumn<QString>("target");      // relative to the data dir; empty: cancel
    QTest::addColumn<bool>("deleteTicked");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QByteArray>("expected"); // the file afterwards
    QTest::addColumn<bool>("asked");          // the deletion question was shown
    QTest::addColumn<bool>("errorShown");
    QTest::addColumn<int>("numbersLeft");

    const QStringList three{QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102"),
                            QStringLiteral("+44-20-7946-0958")};
    const QString out = QStringLiteral("export.txt");

    QTest::newRow("no pick, three numbers")
        << -1 << false << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101;1-312-555-0102;+44-20-7946-0958;\r\n") << false << false << 3;
    QTest::newRow("no pick, with space")
        << -1 << true << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101; 1-312-555-0102; +44-20-7946-0958; \r\n") << false << false
        << 3;
    QTest::newRow("semicolon picked, with space")
        << 0 << true << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101; 1-312-555-0102; +44-20-7946-0958; \r\n") << false << false
        << 3;
    QTest::newRow("tab ignores the space")
        << 1 << true << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101\t1-312-555-0102\t+44-20-7946-0958\t\r\n") << false << false
        << 3;
    QTest::newRow("one per line")
        << 2 << false << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101\r\n1-312-555-0102\r\n+44-20-7946-0958\r\n\r\n") << false
        << false << 3;
    QTest::newRow("one per line ignores the space")
        << 2 << true << three << QByteArray() << out << false << false
        << QByteArray("1-312-555-0101\r\n1-312-555-0102\r\n+44-20-7946-0958\r\n\r\n") << false
        << false << 3;
    // Nothing to write: said, no file, and no question about deleting.
    QTest::newRow("no numbers: nothing written")
        << -1 << false << QStringList() << QByteArray() << out << true << true
        << QByteArray("<absent>") << false << false << 0;
    QTest::newRow("existing file replaced, not extended")
        << 0 << false << three
        << QByteArray("an older and much longer export that must not survive;\r\n") << out << false
        << false << QByteArray("1-312-555-0101;1-312-555-0102;+44-20-7946-0958;\r\n") << false
        << false << 3;
    QTest::newRow("delete, Yes") << -1 << false << three << QByteArray() << out << true << true
                                 << QByteArray(
                                        "1-312-555-0101;1-312-555-0102;+44-20-7946-0958;\r\n")
                                 << true << false << 0;
    QTest::newRow("delete, No") << -1 << false << three << QByteArray() << out << true << false
                                << QByteArray("1-312-555-0101;1-312-555-0102;+44-20-7946-0958;\r\n")
                                << true << false << 3;
    QTest::newRow("cancel writes and deletes nothing")
        << -1 << false << three << QByteArray() << QString() << true << true
        << QByteArray("<absent>") << false << false << 3;
    QTest::newRow("cancel leaves an existing file")
        << -1 << false << three << QByteArray("old\r\n") << QString() << true << true
        << QByteArray("old\r\n") << false << false << 3;
    QTest::newRow("missing folder: reported, no deletion offered")
        << -1 << false << three << QByteArray() << QStringLiteral("no/such/folder/export.txt")
        << true << true << QByteArray("<absent>") << false << true << 3;
    QTest::newRow("path is a folder: reported, no deletion offered")
        << -1 << false << three << QByteArray() << QStringLiteral("afolder") << true << true
        << QByteArray("<absent>") << false << true << 3;
    QTest::newRow("the store itself: refused, no deletion offered")
        << 3 << false << three << QByteArray() << QStringLiteral("varnel.mdb") << true << true
        << QByteArray("<absent>") << false << true << 3;
    QTest::newRow("path below a file: reported")
        << -1 << false << three << QByteArray() << QStringLiteral("afile/inner.txt") << true << true
        << QByteArray("<absent>") << false << true << 3;
}

void TestExport::exportCases()
{
    QFETCH(int, type);
    QFETCH(bool, space);
    QFETCH(QStringList, numbers);
    QFETCH(QByteArray, existing);
    QFETCH(QString, target);
    QFETCH(bool, deleteTicked);
    QFETCH(bool, answerYes);
    QFETCH(QByteArray, expected);
    QFETCH(bool, asked);
    QFETCH(bool, errorShown);
    QFETCH(int, numbersLeft);

    TempDataDir dir;
    Harvest store(dir.path());
    store.add(numbers);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("afolder")));
    QVERIFY(writeFile(dir.file(QStringLiteral("afile")), "a file, not a folder"));
    const QString presetFile = dir.file(QStringLiteral("export.txt"));
    if (!existing.isNull())
        QVERIFY(writeFile(presetFile, existing));

    ExportDialog *w = store.openWindow();
    QPointer<ExportDialog> guard(w);
    QString preset;
    QStringList questions;
    QStringList errors;
    w->askSaveFileName = [&](const QString &p) {
        preset = p;
        return target.isEmpty() ? QString() : dir.file(target);
    };
    w->askYesNo = [&](const QString &text) {
        questions << text;
        return answerYes;
    };
    w->showError = [&](const QString &text) { errors << text; };
    QStringList infos;
    w->showInfo = [&](const QString &text) { infos << text; };
    if (type >= 0)
        control<QComboBox>(w, QStringLiteral("Combo1"))->setCurrentIndex(type);
    control<QCheckBox>(w, QStringLiteral("Check2"))->setChecked(space);
    control<QCheckBox>(w, QStringLiteral("Check1"))->setChecked(deleteTicked);

    w->exportClicked();

    // The file dialog starts in the data directory with a name of the chosen type; with no
    // number to write it is not shown.
    const QString presetName =
        type == FaxExport::Csv ? QStringLiteral("export.csv") : QStringLiteral("export.txt");
    QCOMPARE(preset, numbers.isEmpty() ? QString() : dir.file(presetName));
    const QString written = target.isEmpty() || errorShown ? presetFile : dir.file(target);
    QCOMPARE(readFile(written), expected);
    QCOMPARE(!questions.isEmpty(), asked);
    // One line says how many numbers went to which file; the question names the count.
    const QString line = QStringLiteral("%1 fax numbers were written to %2.")
                             .arg(numbers.size())
                             .arg(QDir::toNativeSeparators(written));
    if (asked)
        QCOMPARE(questions, QStringList{line + QStringLiteral("\n\nAre you sure you want to "
                                                              "delete all %1 faxes?")
                                                   .arg(numbers.size())});
    const bool finished = !target.isEmpty() && !errorShown && !numbers.isEmpty();
    if (numbers.isEmpty())
        QCOMPARE(infos, QStringList{QStringLiteral(
                            "There are no fax numbers to export, so no file was written.")});
    else
        QCOMPARE(infos, finished && !asked ? QStringList{line} : QStringList());
    QCOMPARE(!errors.isEmpty(), errorShown);
    if (errorShown) // the message names the file
        QVERIFY2(errors.first().contains(QDir::toNativeSeparators(dir.file(target))),
                 qPrintable(errors.first()));
    QCOMPARE(store.session.store()->countFaxes().value_or(-1), numbersLeft);
    QCOMPARE(store.session.numberPreview()->count(), numbersLeft); // the preview follows the store

    // A finished export unloads the dialog; a cancelled, failed or empty one leaves it open.
    if (!finished) {
        QVERIFY(guard && guard->isVisible());
    } else {
        QTRY_VERIFY(!guard);
    }
}

void TestExport::csv_quotesCommasQuotesAndLineBreaks_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("plain") << QStringLiteral("dentists chicago") << QByteArray("dentists chicago");
    QTest::newRow("comma") << QStringLiteral("dentists, chicago")
                           << QByteArray("\"dentists, chicago\"");
    QTest::newRow("quotes doubled")
        << QStringLiteral("the \"best\" dentists") << QByteArray("\"the \"\"best\"\" dentists\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
    QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QByteArray("\"a\r\nb\"");
    QTest::newRow("UTF-8") << QStringLiteral("z\u00FCrich caf\u00E9")
                           << QByteArray("z\xC3\xBCrich caf\xC3\xA9");
}

void TestExport::csv_quotesCommasQuotesAndLineBreaks()
{
    QFETCH(QString, search);
    QFETCH(QByteArray, field);
    FaxRow r;
    r.fax = QStringLiteral("1-312-555-0101");
    r.date = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    r.website = QStringLiteral("www.example.com/a,b.htm");
    r.search = search;
    r.location = QStringLiteral("Illinois");
    // The evidence: text from the page, quoted by the same rules.
    r.e164 = QStringLiteral("+13125550101");
    r.country = QStringLiteral("US");
    r.label = QStringLiteral("Fax:");
    r.how = QStringLiteral("previous-cell");
    r.context = search;
    const QByteArray csv = FaxExport::formatCsv({r});
    QCOMPARE(
        csv,
        QByteArray(
            "Number,Date,Page,Search String,Region,E.164,Country,Label,How Found,Text Around It" +
            kBusinessTitles + "1-312-555-0101,2026-03-04T05:06:07,\"www.example.com/a,b.htm\",") +
            field + ",Illinois,+13125550101,US,Fax:,previous-cell," + field + kNoBusiness);
}

void TestExport::csv_cellsThatReadAsFormulasAreText_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("=") << QStringLiteral("=HYPERLINK(\"http://x.example\")")
                       << QByteArray("\"'=HYPERLINK(\"\"http://x.example\"\")\"");
    QTest::newRow("+") << QStringLiteral("+1+1") << QByteArray("'+1+1");
    QTest::newRow("-") << QStringLiteral("-2+3") << QByteArray("'-2+3");
    QTest::newRow("@") << QStringLiteral("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("tab") << QStringLiteral("\t=1") << QByteArray("'\t=1");
    QTest::newRow("carriage return") << QStringLiteral("\r=1") << QByteArray("\"'\r=1\"");
    QTest::newRow("line feed") << QStringLiteral("\n=1") << QByteArray("\"'\n=1\"");
    QTest::newRow("inside, harmless") << QStringLiteral("a=b") << QByteArray("a=b");
    QTest::newRow("after a space, harmless") << QStringLiteral(" =1") << QByteArray(" =1");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestExport::csv_cellsThatReadAsFormulasAreText()
{
    QFETCH(QString, search);
    QFETCH(QByteArray, field);
    FaxRow r;
    r.fax = QStringLiteral("+44-20-7946-0958"); // a telephone number carries no formula
    r.website = QStringLiteral("=cmd|' /C calc'!A0");
    r.search = search;
    QCOMPARE(
        FaxExport::formatCsv({r}),
        QByteArray(
            "Number,Date,Page,Search String,Region,E.164,Country,Label,How Found,Text Around It" +
            kBusinessTitles + "+44-20-7946-0958,,'=cmd|' /C calc'!A0,") +
            field + ",,,,,," + kNoBusiness);
}

void TestExport::csv_fromTheDialog_hasHeaderAndIsoDates()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102")},
              QStringLiteral("dentists, \"downtown\""));
    ExportDialog *w = store.openWindow();
    w->askSaveFileName = [&](const QString &) { return dir.file(QStringLiteral("faxes.csv")); };
    control<QComboBox>(w, QStringLiteral("Combo1"))->setCurrentIndex(FaxExport::Csv);
    control<QCheckBox>(w, QStringLiteral("Check2"))->setChecked(true); // no effect on CSV
    w->exportClicked();
    QCOMPARE(
        readFile(dir.file(QStringLiteral("faxes.csv"))),
        QByteArray(
            "Number,Date,Page,Search String,Region,E.164,Country,Label,How Found,Text Around It" +
            kBusinessTitles +
            "1-312-555-0101,2026-01-01T12:00:00,www.example.com/"
            "contact.htm,\"dentists, \"\"downtown\"\"\",Illinois,,,,," +
            kNoBusiness +
            "1-312-555-0102,2026-01-01T12:01:00,www.example.com/"
            "contact.htm,\"dentists, \"\"downtown\"\"\",Illinois,,,,," +
            kNoBusiness));
}

void TestExport::csv_telephoneCellsAsTheyAre_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("E.164") << QStringLiteral("+13125550101") << QByteArray("+13125550101");
    QTest::newRow("North American")
        << QStringLiteral("1-312-555-0101") << QByteArray("1-312-555-0101");
    QTest::newRow("international")
        << QStringLiteral("+44-20-7946-0958") << QByteArray("+44-20-7946-0958");
    QTest::newRow("brackets and spaces")
        << QStringLiteral("(312) 555 0101") << QByteArray("(312) 555 0101");
    // Anything else in a number's place is text, as every other cell.
    QTest::newRow("a sum") << QStringLiteral("+1+1") << QByteArray("'+1+1");
    QTest::newRow("minus first") << QStringLiteral("-2-3") << QByteArray("'-2-3");
    QTest::newRow("a formula") << QStringLiteral("=1+1") << QByteArray("'=1+1");
    QTest::newRow("dashes alone") << QStringLiteral("+--") << QByteArray("'+--");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestExport::csv_telephoneCellsAsTheyAre()
{
    QFETCH(QString, number);
    QFETCH(QByteArray, field);
    FaxRow r;
    r.fax = number;
    r.e164 = number;
    r.location = QStringLiteral("  IL Chicago   "); // the area code table pads its regions
    const QByteArray csv = FaxExport::formatCsv({r});
    QCOMPARE(csv.mid(csv.indexOf('\n') + 1),
             field + ",,,,IL Chicago," + field + ",,,," + kNoBusiness);
}

void TestExport::csv_forSpreadsheets_markedAsUtf8()
{
    TempDataDir dir;
    Harvest store(dir.path());
    store.add({QStringLiteral("1-312-555-0101")}, QStringLiteral("z\u00FCrich dentists"));
    ExportDialog *w = store.openWindow();
    auto *type = control<QComboBox>(w, QStringLiteral("Combo1"));
    QCOMPARE(type->itemText(FaxExport::CsvSpreadsheet), QStringLiteral("CSV for spreadsheets"));
    QString preset;
    w->askSaveFileName = [&](const QString &p) {
        preset = p;
        return dir.file(QStringLiteral("sheet.csv"));
    };
    w->showInfo = [](const QString &) {};
    type->setCurrentIndex(FaxExport::CsvSpreadsheet);
    w->exportClicked();
    QCOMPARE(QFileInfo(preset).fileName(), QStringLiteral("export.csv"));
    const QByteArray programs =
        FaxExport::formatCsv(store.session.store()->exportPlan(false).value_or(ExportPlan()).rows);
    QCOMPARE(readFile(dir.file(QStringLiteral("sheet.csv"))), "\xEF\xBB\xBF" + programs);
    QVERIFY(programs.startsWith("Number,"));
    QVERIFY(programs.contains("z\xC3\xBCrich dentists"));
}

// A script reading the CSV for programs gets the numbers as they are.
void TestExport::csv_readByPythonsCsvModule()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    TempDataDir dir;
    FaxRow us;
    us.fax = QStringLiteral("1-312-555-0101");
    us.e164 = QStringLiteral("+13125550101");
    us.website = QStringLiteral("www.example.com/a,b.htm");
    us.context = QStringLiteral("=Fax: \"312\" 555 0101");
    FaxRow uk;
    uk.fax = QStringLiteral("+44-20-7946-0958");
    uk.e164 = QStringLiteral("+442079460958");
    QVERIFY(writeFile(dir.file(QStringLiteral("n.csv")), FaxExport::formatCsv({us, uk})));
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral("import csv, sys\n"
                                    "for r in csv.DictReader(open(sys.argv[1], newline='', "
                                    "encoding='utf-8')):\n"
                                    "    print(r['Number'], r['E.164'], r['Page'], r['Text Around "
                                    "It'], sep='|')\n"),
                     dir.file(QStringLiteral("n.csv"))});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QStringLiteral("1-312-555-0101|+13125550101|www.example.com/a,b.htm|'=Fax: \"312\" "
                            "555 0101\n"
                            "+44-20-7946-0958|+442079460958||\n"));
}

void TestExport::unreadableStore_writesAndDeletesNothing()
{
    TempDataDir dir;
    QVERIFY(writeFile(dir.file(QStringLiteral("varnel.mdb")),
                      QByteArray("this is not a database\n").repeated(100)));
    SqliteStore db(dir.path());
    WindowOwner windows(dir.path());
    ExportDialog *w = windows.openExport(&db);
    QStringList errors;
    bool asked = false;
    w->askSaveFileName = [&](const QString &p) { return p; };
    w->askYesNo = [&](const QString &) { return asked = true; };
    w->showError = [&](const QString &text) { errors << text; };
    control<QCheckBox>(w, QStringLiteral("Check1"))->setChecked(true);
    w->exportClicked();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains(QStringLiteral("varnel.mdb")));
    QVERIFY(!asked);
    QVERIFY(!QFile::exists(dir.file(QStringLiteral("export.txt"))));
    QCOMPARE(readFile(dir.file(QStringLiteral("varnel.mdb"))),
             QByteArray("this is not a database\n").repeated(100));
}

void TestExport::fileExists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("normal file") << QStringLiteral("Help.rtf") << true;
    QTest::newRow("folder") << QStringLiteral("afolder") << false;
    QTest::newRow("missing") << QStringLiteral("nothing.txt") << false;
    QTest::newRow("hidden file") << QStringLiteral(".hidden") << false;
    QTest::newRow("empty path") << QString() << false;
}

void TestExport::fileExists()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    TempDataDir dir;
    QVERIFY(writeFile(dir.file(QStringLiteral("Help.rtf")), "x"));
    QVERIFY(writeFile(dir.file(QStringLiteral(".hidden")), "x"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("afolder")));
    QCOMPARE(FileExists(name.isEmpty() ? QString() : dir.file(name)), exists);
}

void TestExport::fileNamePart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("part");
    QTest::newRow("backslashes") << QStringLiteral("C:\\Program Files\\Varnel\\Help.rtf")
                                 << QStringLiteral("Help.rtf");
    QTest::newRow("slashes") << QStringLiteral("/usr/share/varnel/Help.rtf")
                             << QStringLiteral("Help.rtf");
    QTest::newRow("mixed") << QStringLiteral("a/b\\c/d.txt") << QStringLiteral("d.txt");
    QTest::newRow("no separator") << QStringLiteral("export.txt") << QStringLiteral("export.txt");
    QTest::newRow("trailing separator") << QStringLiteral("folder\\") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestExport::fileNamePart()
{
    QFETCH(QString, path);
    QFETCH(QString, part);
    QCOMPARE(FileNamePart(path), part);
}

void TestExport::tool_data()
{
    QTest::addColumn<QStringList>("args"); // "%D" is the data dir, "%F" the output file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("numbersLeft");

    QTest::newRow("semicolon by default") << QStringList{"--data-dir", "%D", "%F"} << 0
                                          << QByteArray("1-312-555-0101;1-312-555-0102;\r\n") << 2;
    QTest::newRow("semicolon with space")
        << QStringList{"--data-dir", "%D", "--space", "%F"} << 0
        << QByteArray("1-312-555-0101; 1-312-555-0102; \r\n") << 2;
    QTest::newRow("tab") << QStringList{"--data-dir", "%D", "--type", "tab", "%F"} << 0
                         << QByteArray("1-312-555-0101\t1-312-555-0102\t\r\n") << 2;
    QTest::newRow("lines and delete")
        << QStringList{"--data-dir", "%D", "--type", "lines", "--delete", "%F"} << 0
        << QByteArray("1-312-555-0101\r\n1-312-555-0102\r\n\r\n") << 0;
    QTest::newRow("csv") << QStringList{"--type", "csv", "--data-dir", "%D", "%F"} << 0
                         << QByteArray("Number,Date,Page,Search String,Region,E.164,Country,"
                                       "Label,How Found,Text Around It") +
                                kBusinessTitles +
                                "1-312-555-0101,2026-01-01T12:00:00,www.example.com/"
                                "contact.htm,dentists chicago,Illinois,,,,," +
                                kNoBusiness +
                                "1-312-555-0102,2026-01-01T12:01:00,www.example.com/"
                                "contact.htm,dentists chicago,Illinois,,,,," +
                                kNoBusiness
                         << 2;
    QTest::newRow("unknown type") << QStringList{"--data-dir", "%D", "--type", "xml", "%F"} << 2
                                  << QByteArray("<absent>") << 2;
    QTest::newRow("no file") << QStringList{"--data-dir", "%D"} << 2 << QByteArray("<absent>") << 2;
    QTest::newRow("unwritable file keeps the numbers")
        << QStringList{"--data-dir", "%D", "--delete", "%D/missing/out.txt"} << 1
        << QByteArray("<absent>") << 2;
    QTest::newRow("no numbers: nothing written, status 4")
        << QStringList{"--data-dir", "%D/nonumbers", "--delete", "%F"} << 4
        << QByteArray("<absent>") << 2;
    QTest::newRow("no database in the folder")
        << QStringList{"--data-dir", "%D/empty", "%F"} << 1 << QByteArray("<absent>") << 2;
}

void TestExport::tool()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, file);
    QFETCH(int, numbersLeft);

    TempDataDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("empty")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("nonumbers")));
    (void)SqliteStore(dir.file(QStringLiteral("nonumbers"))).countFaxes(); // an empty store
    {
        Harvest store(dir.path());
        store.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102")});
    }
    const QString out = dir.file(QStringLiteral("out.txt"));
    for (QString &a : args)
        a.replace(QLatin1String("%D"), dir.path()).replace(QLatin1String("%F"), out);

    QProcess p;
    p.start(QStringLiteral(VARNEL_TOOL_PATH), QStringList{QStringLiteral("export")} + args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), exitCode);
    if (exitCode == 1 || exitCode == 4) // the message names what failed
        QVERIFY(!p.readAllStandardError().trimmed().isEmpty());
    QCOMPARE(readFile(out), file);
    SqliteStore db(dir.path());
    QCOMPARE(db.countFaxes().value_or(-1), numbersLeft);
}

namespace {
struct ToolRun
{
    int code = -1;
    QString out;
    QString err;
};
ToolRun runTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VARNEL_TOOL_PATH), args);
    ToolRun r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
} // namespace

// The list imported with its bad lines, an opt-out added in another form, a flagged number;
// the export leaves them out and says so; a second export of only the new numbers writes
// just the one stored since, and a third has nothing to write.
void TestExport::tool_doNotFaxListAndOnlyNew()
{
    TempDataDir dir;
    {
        Harvest h(dir.path());
        h.add({QStringLiteral("1-312-555-0101"), QStringLiteral("1-312-555-0102"),
               QStringLiteral("1-212-555-0187"), QStringLiteral("1-617-555-0100"),
               QStringLiteral("+44-20-7946-0958")});
        QVERIFY(h.session.store()->addDoNotFax(QStringLiteral("617-555-0100"),
                                               QStringLiteral("+16175550100"),
                                               Store::reasonNoticeSays));
    }
    const QString list = dir.file(QStringLiteral("optout.csv"));
    QFile f(list);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("name,Fax Number\nA,(312) 555-0101\nB,call us\nC,+44 20 7946 0958\nD,312.555.0101\n");
    f.close();
    const QStringList at{QStringLiteral("--data-dir"), dir.path()};

    ToolRun r = runTool(QStringList{"donotfax", "import", list} + at);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith(
                 "Added 2 numbers to the do-not-fax list (1 listed already)\n1 lines are no "
                 "telephone numbers:\n  line 3: call us"),
             qPrintable(r.out));
    r = runTool(QStringList{"donotfax", "add", "+1 (212) 555-0187"} + at);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("+12125550187 is on the do-not-fax list\n"));
    QCOMPARE(runTool(QStringList{"donotfax", "add", "no number"} + at).code, 2);
    r = runTool(QStringList{"donotfax", "list"} + at);
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(1).startsWith("(312) 555-0101\t+13125550101\t"));
    QVERIFY(lines.at(1).endsWith("\timported from a file"));
    QVERIFY(lines.at(3).startsWith("+1 (212) 555-0187\t+12125550187\t"));
    QVERIFY(lines.at(3).endsWith("\topt-out request"));
    r = runTool(QStringList{"donotfax", "remove", "(212) 555-0187"} + at);
    QCOMPARE(r.code, 0);
    QVERIFY(runTool(QStringList{"donotfax", "add", "212-555-0187"} + at).code == 0);

    const QString out = dir.file(QStringLiteral("out.txt"));
    r = runTool(QStringList{"export", "--type", "lines", "--only-new", out} + at);
    QCOMPARE(r.code, 0);
    QCOMPARE(readFile(out), QByteArray("1-312-555-0102\r\n\r\n"));
    QVERIFY2(r.out.contains("4 left out: 3 on the do-not-fax list, 1 whose page says it takes no "
                            "unsolicited faxes"),
             qPrintable(r.out));

    {
        Harvest h(dir.path());
        h.add({QStringLiteral("1-415-555-0142")});
    }
    r = runTool(QStringList{"export", "--type", "lines", "--only-new", out} + at);
    QCOMPARE(r.code, 0);
    QCOMPARE(readFile(out), QByteArray("1-415-555-0142\r\n\r\n"));
    QVERIFY(r.out.contains("1 exported before"));
    r = runTool(QStringList{"export", "--only-new", dir.file(QStringLiteral("none.txt"))} + at);
    QCOMPARE(r.code, 4);
    QVERIFY(!QFile::exists(dir.file(QStringLiteral("none.txt"))));
    // Without --only-new every number not listed is written again.
    r = runTool(QStringList{"export", "--type", "lines", out} + at);
    QCOMPARE(r.code, 0);
    QCOMPARE(readFile(out), QByteArray("1-312-555-0102\r\n1-415-555-0142\r\n\r\n"));
}

namespace {

// Two numbers of one business (found by two search strings), one without a business.
void storeBusinessNumbers(const QString &dir)
{
    Harvest h(dir);
    Store &db = *h.session.store();
    for (const char *n : {"+44-20-7946-0958", "1-212-555-0187", "1-312-555-0101"}) {
        FaxRow row;
        row.fax = QLatin1String(n);
        row.website = QStringLiteral("www.acme.co.uk/contact.htm");
        row.search = QStringLiteral("plumbers");
        if (row.fax != QLatin1String("1-312-555-0101"))
            row.e164 = QLatin1Char('+') +
                       QString(row.fax).remove(QLatin1Char('-')).remove(QLatin1Char('+'));
        QVERIFY(db.addFax(row));
        if (row.e164.isEmpty())
            continue;
        for (const char *search : {"plumbers", "=cmd|' /C calc'!A0"}) {
            BusinessFax b;
            b.fax = row.e164;
            b.page = row.website;
            b.search = QLatin1String(search);
            b.business.site = QStringLiteral("acme.co.uk");
            b.business.organization = QStringLiteral("Acme, \"Pipes\" Ltd");
            b.business.city = QStringLiteral("London");
            b.business.postalCode = QStringLiteral("0123");
            b.business.phone = QStringLiteral("+442079460000");
            b.business.sources = QStringLiteral("organization=json-ld");
            QVERIFY(db.addBusinessFax(b));
        }
    }
}

// A file inside a zip archive (an XLSX workbook).
QByteArray unzipped(const QString &archive, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    return p.waitForFinished(30000) ? p.readAllStandardOutput() : QByteArray();
}

} // namespace

// The workbook holds the columns of the CSV export, and every cell is a text cell: "+44…",
// "0123" and a search string that reads as a formula stay as written, never a sum, a float
// or a formula.
void TestExport::xlsx_everyCellIsText()
{
    TempDataDir dir;
    storeBusinessNumbers(dir.path());
    const QString out = dir.file(QStringLiteral("numbers.xlsx"));
    const ToolRun r = runTool({QStringLiteral("export"), QStringLiteral("--data-dir"), dir.path(),
                               QStringLiteral("--type"), QStringLiteral("xlsx"), out});
    QCOMPARE(r.code, 0);
    QVERIFY(readFile(out).startsWith("PK"));
    const QByteArray sheet = unzipped(out, QStringLiteral("xl/worksheets/sheet1.xml"));
    const QByteArray strings = unzipped(out, QStringLiteral("xl/sharedStrings.xml"));
    QVERIFY2(!sheet.isEmpty() && !strings.isEmpty(), "unzip could not read the workbook");
    QVERIFY(!sheet.contains("<f>"));
    // Header and three numbers; every cell a shared string.
    const int cells = int(sheet.count("<c "));
    QVERIFY2(cells > 4 * 10, sheet.constData());
    QCOMPARE(int(sheet.count(" t=\"s\"")), cells);
    for (const char *text :
         {"+44-20-7946-0958", "+442079460958", "Organization", "Main Phone", "+442079460000",
          "0123", "Acme, &quot;Pipes&quot; Ltd", "1-312-555-0101"}) {
        const QByteArray escaped = QByteArray(text).replace("&quot;", "\"");
        QVERIFY2(strings.contains(text) || strings.contains(escaped), text);
    }

    // The dialog offers it under its own name.
    Harvest h(dir.path());
    ExportDialog *w = h.openWindow();
    QString preset;
    w->askSaveFileName = [&](const QString &p) {
        preset = p;
        return dir.file(QStringLiteral("dialog.xlsx"));
    };
    w->showInfo = [](const QString &) {};
    control<QComboBox>(w, QStringLiteral("Combo1"))->setCurrentIndex(FaxExport::Xlsx);
    w->exportClicked();
    QCOMPARE(QFileInfo(preset).fileName(), QStringLiteral("export.xlsx"));
    QVERIFY(readFile(dir.file(QStringLiteral("dialog.xlsx"))).startsWith("PK"));
}

// varnel-tool numbers: every number with its business under the keys of faxes --json, as
// JSON lines, as CSV with those keys, and as a table to read; the CSV export has the
// window's titles.
void TestExport::tool_numbersWithTheirBusinesses()
{
    TempDataDir dir;
    storeBusinessNumbers(dir.path());
    const QStringList at{QStringLiteral("--data-dir"), dir.path()};
    ToolRun r = runTool(QStringList{"numbers", "--json"} + at);
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QJsonParseError error;
    const QJsonObject first = QJsonDocument::fromJson(lines.at(0).toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    for (const char *key : {"number", "e164", "label", "how", "context", "organization", "unit",
                            "street", "postal_code", "city", "region", "country", "phone", "email",
                            "page", "date", "search", "business"})
        QVERIFY2(first.contains(QLatin1String(key)), key);
    QCOMPARE(first.value("number").toString(), QStringLiteral("+44-20-7946-0958"));
    QCOMPARE(first.value("organization").toString(), QStringLiteral("Acme, \"Pipes\" Ltd"));
    QCOMPARE(first.value("city").toString(), QStringLiteral("London"));
    QCOMPARE(first.value("phone").toString(), QStringLiteral("+442079460000"));
    QCOMPARE(first.value("site").toString(), QStringLiteral("acme.co.uk"));
    QCOMPARE(first.value("search").toString(), QStringLiteral("plumbers"));
    QCOMPARE(first.value("business").toInt(), 1);
    const QJsonObject none = QJsonDocument::fromJson(lines.at(2).toUtf8()).object();
    QVERIFY(none.value("business").isNull());
    QCOMPARE(none.value("organization").toString(), QString());

    r = runTool(QStringList{"numbers", "--csv"} + at);
    QCOMPARE(r.code, 0);
    const QStringList records = r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(records.size(), 4);
    QVERIFY2(records.at(0).startsWith("number,date,page,search,location,e164,"),
             qPrintable(records.at(0)));
    QVERIFY(records.at(0).contains(",organization,unit,street,postal_code,city,region,country,"
                                   "phone,email,site,business,"));
    QVERIFY(records.at(1).contains(",\"Acme, \"\"Pipes\"\" Ltd\","));

    r = runTool(QStringList{"numbers"} + at);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("Number"), qPrintable(r.out));
    QVERIFY(r.out.contains("Organization") && r.out.contains("London"));
    QCOMPARE(runTool(QStringList{"numbers", "--json", "--csv"} + at).code, 2);
    QCOMPARE(runTool({"numbers", "--data-dir", dir.file(QStringLiteral("none"))}).code, 1);

    const QString csv = dir.file(QStringLiteral("out.csv"));
    r = runTool(QStringList{"export", "--type", "csv", csv} + at);
    QCOMPARE(r.code, 0);
    QVERIFY(readFile(csv).startsWith(
        "Number,Date,Page,Search String,Region,E.164,Country,Label,How Found,Text Around It,"
        "Organization,Unit,Street,Postal Code,City,State or Province,Address Country,Main Phone,"
        "Email,Business Site\r\n"));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
