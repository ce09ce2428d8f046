#include "frmexport.h"

#include "export.h"
#include "store.h"
#include "productinfo.h"
#include "skin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
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
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    grid->addWidget(lblCounts, 3, 0, 1, 2);
    grid->setRowMinimumHeight(4, 4);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    askSaveFileName = [this](const QString &presetPath) {
        return QFileDialog::getSaveFileName(this, QString(), presetPath,
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
    // Nothing to write: said before a file is chosen, and no deletion is offered.
    if (m_db->countFaxes().value_or(-1) == 0) {
        showInfo(QStringLiteral("There are no fax numbers to export, so no file was written."));
        updateCounts();
        return;
    }
    const int type = Combo1->currentIndex();
    const QString path =
        askSaveFileName(QDir(m_dataDir).filePath(FaxExport::defaultFileName(type)));
    if (path.isEmpty())
        return; // cancelled: nothing written, nothing deleted
    const FaxExport::Result result = FaxExport::exportFaxes(*m_db, path, type, Check2->isChecked());
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
    const QString written = FaxExport::writtenLine(result, path);
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
    const std::optional<qint32> stored = m_db ? m_db->countFaxes() : std::nullopt;
    if (!stored)
        lblCounts->setText(QStringLiteral("The fax numbers cannot be read."));
    else if (*stored == 0)
        lblCounts->setText(QStringLiteral("There are no fax numbers to export."));
    else if (*stored == 1)
        lblCounts->setText(QStringLiteral("1 fax number will be written."));
    else
        lblCounts->setText(QStringLiteral("%1 fax numbers will be written.").arg(*stored));
}

void frmExport::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    updateCounts();
}
