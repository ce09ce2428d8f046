#include "exportdialog.h"

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
// The sentence of what an export writes and leaves out wraps within this width; the dialog
// grows in height to show it whole.
constexpr int kCountsWidth = 440;
} // namespace

ExportDialog::ExportDialog(Store *store, const QString &dataDir,
                           std::function<void()> deleteAllNumbers, std::function<bool()> mayDelete)
    : m_db(store), m_deleteAllNumbers(std::move(deleteAllNumbers)),
      m_mayDelete(std::move(mayDelete)), m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("frmExport"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Export Faxes"));

    m_typeCaption = new QLabel(QStringLiteral("Output Type:"), this);
    m_typeCaption->setObjectName(QStringLiteral("Label1"));
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("Combo1"));
    m_type->addItems(
        {QStringLiteral("Semi-Colon Delimited (;)"), QStringLiteral("Tab Delimited (^t)"),
         QStringLiteral("Line Feed Delimited (one per line)"), QStringLiteral("CSV (all columns)"),
         QStringLiteral("CSV for spreadsheets"), QStringLiteral("Excel workbook (.xlsx)")});
    m_type->setPlaceholderText(QStringLiteral("Semi-Colon delimited (;)"));
    m_type->setCurrentIndex(-1);
    m_type->setMinimumWidth(260);
    m_space = new QCheckBox(QStringLiteral("Put a space between each entry"), this);
    m_space->setObjectName(QStringLiteral("Check2"));
    // The space goes after a semicolon only; for the other types it does not apply.
    connect(m_type, &QComboBox::currentIndexChanged, this, [this](int type) {
        m_space->setEnabled(type == FaxExport::Unpicked || type == FaxExport::Semicolon);
    });
    m_deleteAfter = new QCheckBox(QStringLiteral("Delete all faxes when finished"), this);
    m_deleteAfter->setObjectName(QStringLiteral("Check1"));
    // Off, every number not on the do-not-fax list is written, as always.
    m_onlyNew = new QCheckBox(QStringLiteral("Only numbers new since the last export"), this);
    m_onlyNew->setObjectName(QStringLiteral("Check3"));
    connect(m_onlyNew, &QCheckBox::toggled, this, &ExportDialog::updateCounts);
    // Skinned by itself: its text changes after the label overlay copies plain labels.
    m_counts = new SkinLabel(this);
    m_counts->setObjectName(QStringLiteral("lblCounts"));
    m_counts->setWordWrap(true);
    m_counts->setFixedWidth(kCountsWidth);
    m_exportButton = new QPushButton(QStringLiteral("Export"), this);
    m_exportButton->setObjectName(QStringLiteral("Command1"));
    m_exportButton->setDefault(true);
    m_exportButton->setMinimumWidth(96);
    connect(m_exportButton, &QPushButton::clicked, this, &ExportDialog::exportClicked);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(m_typeCaption, 0, 0);
    grid->addWidget(m_type, 0, 1);
    grid->addWidget(m_space, 1, 1);
    grid->addWidget(m_deleteAfter, 2, 1);
    grid->addWidget(m_onlyNew, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_exportButton);
    grid->addWidget(m_counts, 4, 0, 1, 2);
    grid->setRowMinimumHeight(5, 4);
    grid->addLayout(buttons, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    askSaveFileName = [this](const QString &presetPath) {
        return FileDialogs::saveFileName(this, QString(), presetPath,
                                         FaxExport::fileFilter(m_type->currentIndex()));
    };
    // Deleting is the question's dangerous answer: Enter keeps the numbers.
    askYesNo = [this](const QString &text) {
        return QMessageBox::question(this, strProductName, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
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

void ExportDialog::load()
{
    if (bSkin) {
        applyLabelOverlay(this);
        SkinForm(this);
    }
    updateDeletion();
    fitToContents();
}

void ExportDialog::fitToContents()
{
    m_counts->setFixedHeight(m_counts->heightForWidth(kCountsWidth));
    layout()->activate();
    setFixedSize(sizeHint());
}

void ExportDialog::updateDeletion()
{
    const bool may = !m_mayDelete || m_mayDelete();
    m_deleteAfter->setEnabled(may);
    m_deleteAfter->setToolTip(may ? QString()
                                  : QStringLiteral("Not while a harvest runs: the numbers it "
                                                   "stores meanwhile would be deleted unexported"));
}

// Command1_Click
void ExportDialog::exportClicked()
{
    if (!m_db) {
        showError(QStringLiteral("The fax database is not open, so nothing was exported."));
        return;
    }
    const bool onlyNew = m_onlyNew->isChecked();
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
    const int type = m_type->currentIndex();
    const QString path =
        askSaveFileName(QDir(m_dataDir).filePath(FaxExport::defaultFileName(type)));
    if (path.isEmpty())
        return; // cancelled: nothing written, nothing deleted
    const FaxExport::Result result =
        FaxExport::exportFaxes(*m_db, path, type, m_space->isChecked(), onlyNew);
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
    if (m_deleteAfter->isChecked() && (!m_mayDelete || m_mayDelete())) {
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

void ExportDialog::updateCounts()
{
    const std::optional<ExportCounts> counts =
        m_db ? m_db->exportCounts(m_onlyNew->isChecked()) : std::nullopt;
    if (!counts) {
        m_counts->setText(QStringLiteral("The fax numbers cannot be read."));
        fitToContents();
        return;
    }
    QString text = counts->toWrite == 0 ? QStringLiteral("There are no fax numbers to export.")
                   : counts->toWrite == 1
                       ? QStringLiteral("1 fax number will be written.")
                       : QStringLiteral("%1 fax numbers will be written.").arg(counts->toWrite);
    const QString leftOut = FaxExport::leftOutText(*counts);
    if (!leftOut.isEmpty())
        text += QLatin1Char(' ') + leftOut + QLatin1Char('.');
    m_counts->setText(text);
    fitToContents();
}

void ExportDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    updateDeletion();
    updateCounts();
}
