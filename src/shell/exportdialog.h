#pragma once

#include <QDialog>
#include <QPointer>

#include "store.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// The export dialog "Export Faxes": writes every stored number to a file chosen by the user
// and can then delete them all. Opened without modality through the window owner; unloaded
// after every export. Each opening starts with no output type picked and both check boxes
// clear.
class ExportDialog : public QDialog
{
    Q_OBJECT
public:
    // store (not owned) holds the numbers; deleteAllNumbers empties it after an export when
    // asked (the harvest's, so that the preview and the counters follow; the store's own when
    // not given); mayDelete says whether the deletion may be offered now (always when not
    // given). The file dialog starts in dataDir.
    ExportDialog(ExportLedger *ledger, NumberStore *numbers, const QString &dataDir,
                 std::function<void()> deleteAllNumbers = {}, std::function<bool()> mayDelete = {});

    // Form_Load: the skin, and the dialog's size.
    void load();

    // The user's side of an export, replaceable in tests.
    // The file to write, given the preset path (dataDir/export.txt); empty when cancelled.
    std::function<QString(const QString &presetPath)> askSaveFileName;
    // A question with Yes and No buttons; true for Yes.
    std::function<bool(const QString &text)> askYesNo;
    // A failure the user must know about.
    std::function<void(const QString &text)> showError;
    // What an export wrote, or that there was nothing to write.
    std::function<void(const QString &text)> showInfo;

    // The export, run by the "Export" button (Command1_Click).
    void exportClicked();
    // Reads again how many numbers an export would write.
    void updateCounts();
    // Asks again whether the deletion may be offered (the harvest started or stopped).
    void updateDeletion();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The dialog's size follows the sentence of what an export writes, shown whole.
    void fitToContents();

    StoreRef<ExportLedger> m_db;
    StoreRef<NumberStore> m_numbers;
    std::function<void()> m_deleteAllNumbers;
    std::function<bool()> m_mayDelete;
    QString m_dataDir;
    QLabel *m_typeCaption = nullptr;       // Label1 "Output Type:"
    QComboBox *m_type = nullptr;           // Combo1
    QCheckBox *m_space = nullptr;          // Check2
    QCheckBox *m_deleteAfter = nullptr;    // Check1
    QCheckBox *m_onlyNew = nullptr;        // Check3: only numbers new since the last export
    QLabel *m_counts = nullptr;            // lblCounts: how many numbers the export writes
    QPushButton *m_exportButton = nullptr; // Command1
};
