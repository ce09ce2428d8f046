#include "frmexport.h"

#include "export.h"
#include "filedialogs.h"
#include "productinfo.h"
#include "skin.h"
#include "store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {
QPointer<frmExport> g_export;
} // namespace

frmExport *frmExport::openWindow(Store *store, const QString &dataDir,
                                 std::function<void()> deleteAllNumbers)
{
    if (!g_export) {
        g_export = new frmExport(store, dataDir, std::move(deleteAllNumbers));
        g_export->Form_Load();
    }
    if (g_export->isVisible()) {
        g_export->raise();
        g_export->activateWindow();
    } else {
        g_export->show();
    }
    return g_export;
}

frmExport *frmExport::instance()
{
    return g_export;
}

void frmExport::unload()
{
    delete g_export.data();
}

frmExport::frmExport(Store *store, const QString &dataDir, std::function<void()> deleteAllNumbers)
    : m_db(store), m_deleteAllNumbers(std::move(deleteAllNumbers)), m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("frmExport"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Export Faxes"));

    Label1 = new QLabel(QStringLiteral("Output Type:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->addItems({QStringLiteral("Semi-Colon Delimited (;)"),
                      QStringLiteral("Tab Delimited (^t)"),
                      QStringLiteral("Line Feed Delimited (one per line)"),
                      QStringLiteral("CSV (all columns)")});
    Combo1->setPlaceholderText(QStringLiteral("Semi-Colon delimited (;)"));
    Combo1->setCurrentIndex(-1);
    Combo1->setMinimumWidth(260);
    Check2 = new QCheckBox(QStringLiteral("Put a space between each entry"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check1 = new QCheckBox(QStringLiteral("Delete all faxes when finished"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    // Off, every number not on the do-not-fax list is written, as always.
    Check3 = new QCheckBox(QStringLiteral("Only numbers new since the last export"), this);
    Check3->setObjectName(QStringLiteral("Check3"));
    connect(Check3, &QCheckBox::toggled, this, &frmExport::updateCounts);
    // Skinned by itself: its text changes after the label overlay copies plain labels.
    lblCounts = new SkinLabel(this);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    lblCounts->setWordWrap(true);
    Command1 = new QPushButton(QStringLiteral("Export"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command1->setMinimumWidth(96);
    connect(Command1, &QPushButton::clicked, this, &frmExport::Command1_Click);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Combo1, 0, 1);
    grid->addWidget(Check2, 1, 1);
    grid->addWidget(Check1, 2, 1);
    grid->addWidget(Check3, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    grid->addWidget(lblCounts, 4, 0, 1, 2);
    grid->setRowMinimumHeight(5, 4);
    grid->addLayout(buttons, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    askSaveFileName = [this](const QString &presetPath) {
        return FileDialogs::saveFileName(this, QString(), presetPath,
                                         FaxExport::fileFilter(Combo1->currentIndex()));
    };
    askYesNo = [this](const QString &text) {
        return QMessageBox::question(this, strProductName, text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    showError = [this](const QString &text) { QMessageBox::warning(this, strProductName, text); };
    // Not modal: the dialog closes after an export while the line stays to be read.
    showInfo = [](const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Information, strProductName, text);
        box->setObjectName(QStringLiteral("exportInfo"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    };
}

void frmExport::Form_Load()
{
    if (bSkin) {
        applyLabelOverlay(this);
        SkinForm(this);
    }
    setFixedSize(sizeHint());
}

void frmExport::Command1_Click()
{
    if (!m_db) {
        showError(QStringLiteral("The fax database is not open, so nothing was exported."));
        return;
    }
    const bool onlyNew = Check3->isChecked();
    // Nothing to write: said before a file is chosen, and no deletion is offered.
    const std::optional<ExportCounts> counts = m_db->exportCounts(onlyNew);
    if (counts && counts->toWrite == 0) {
        const QString leftOut = FaxExport::leftOutText(*counts);
        showInfo(leftOut.isEmpty()
                     ? QStringLiteral("There are no fax numbers to export, so no file was written.")
                     : QStringLiteral("There are no fax numbers to export (%1), so no file was "
                                      "written.")
                           .arg(leftOut));
        updateCounts();
        return;
    }
    const int type = Combo1->currentIndex();
    const QString path =
        askSaveFileName(QDir(m_dataDir).filePath(FaxExport::defaultFileName(type)));
    if (path.isEmpty())
        return; // cancelled: nothing written, nothing deleted
    const FaxExport::Result result =
        FaxExport::exportFaxes(*m_db, path, type, Check2->isChecked(), onlyNew);
    if (result.nothingToWrite) {
        showInfo(result.error);
        updateCounts();
        return;
    }
    if (!result.ok) {
        // The dialog stays open so that another file can be chosen; nothing is deleted.
        showError(result.error);
        return;
    }
    QString written = FaxExport::writtenLine(result, path);
    const QString leftOut = FaxExport::leftOutText(result.counts);
    if (!leftOut.isEmpty())
        written += QLatin1Char(' ') + leftOut + QLatin1Char('.');
    if (!result.warning.isEmpty())
        showError(result.warning);
    if (Check1->isChecked()) {
        const qint32 stored = m_db->countFaxes().value_or(result.count);
        const QString question =
            stored == 1
                ? QStringLiteral("Are you sure you want to delete the 1 fax?")
                : QStringLiteral("Are you sure you want to delete all %1 faxes?").arg(stored);
        if (askYesNo(written + QStringLiteral("\n\n") + question)) {
            if (m_deleteAllNumbers)
                m_deleteAllNumbers();
            else
                (void)m_db->deleteAllFaxes();
        }
    } else {
        showInfo(written);
    }
    close();
}

void frmExport::updateCounts()
{
    const std::optional<ExportCounts> counts =
        m_db ? m_db->exportCounts(Check3->isChecked()) : std::nullopt;
    if (!counts) {
        lblCounts->setText(QStringLiteral("The fax numbers cannot be read."));
        return;
    }
    QString text = counts->toWrite == 0 ? QStringLiteral("There are no fax numbers to export.")
                   : counts->toWrite == 1
                       ? QStringLiteral("1 fax number will be written.")
                       : QStringLiteral("%1 fax numbers will be written.").arg(counts->toWrite);
    const QString leftOut = FaxExport::leftOutText(*counts);
    if (!leftOut.isEmpty())
        text += QLatin1Char(' ') + leftOut + QLatin1Char('.');
    lblCounts->setText(text);
}

void frmExport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    updateCounts();
}
