#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class Store;

// The export dialog "Export Faxes": writes every stored number to a file chosen by the user
// and can then delete them all. Opened without modality; unloaded after every export. Each
// opening starts with no output type picked and both check boxes clear.
class frmExport : public QDialog
{
    Q_OBJECT
public:
    // Loads the window if needed and shows it. store (not owned) holds the numbers;
    // deleteAllNumbers empties it after an export when asked (the harvest's, so that the
    // preview and the counters follow; the store's own when not given). The file dialog
    // starts in dataDir.
    static frmExport *openWindow(Store *store, const QString &dataDir,
                                 std::function<void()> deleteAllNumbers = {});
    static frmExport *instance();
    static void unload();

    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check3 = nullptr; // only numbers new since the last export
    QLabel *lblCounts = nullptr; // how many numbers the export writes
    QPushButton *Command1 = nullptr;

    // The user's side of an export, replaceable in tests.
    // The file to write, given the preset path (dataDir/export.txt); empty when cancelled.
    std::function<QString(const QString &presetPath)> askSaveFileName;
    // A question with Yes and No buttons; true for Yes.
    std::function<bool(const QString &text)> askYesNo;
    // A failure the user must know about.
    std::function<void(const QString &text)> showError;
    // What an export wrote, or that there was nothing to write.
    std::function<void(const QString &text)> showInfo;

    // The export, run by the "Export" button.
    void Command1_Click();
    // Reads again how many numbers an export would write.
    void updateCounts();

protected:
    void showEvent(QShowEvent *event) override;

private:
    frmExport(Store *store, const QString &dataDir, std::function<void()> deleteAllNumbers);
    void Form_Load();

    QPointer<Store> m_db;
    std::function<void()> m_deleteAllNumbers;
    QString m_dataDir;
};
