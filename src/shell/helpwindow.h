#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QTextBrowser;
class SettingsStore;

// The help viewer "Readme/Help": shows the help document "Help.rtf" and the "Show at Startup"
// choice (settings key "showHelp"). It stays above the other windows while it is open. The
// window owner opens it.
class HelpWindow : public QDialog
{
    Q_OBJECT
public:
    // settings (not owned, may be null) must outlive the window. The document is documentPath,
    // or when that is empty "Help.rtf" looked up in dataDir first, then among the installed
    // resources.
    HelpWindow(SettingsStore *settings, const QString &dataDir,
               const QString &documentPath = QString());

    // Form_Load: false when the help document is missing; the window is then not to be shown.
    bool load();

    // The start-up rule of the main window: the stored "showHelp" (default "1") is exactly "1".
    static bool showAtStartup(const SettingsStore &settings);

    QString documentPath() const { return m_documentPath; }

private:
    void showAtStartupClicked(); // Check1_Click

    SettingsStore *m_settings;
    QString m_dataDir;
    QString m_documentPath;
    QTextBrowser *m_document = nullptr;   // rtf1
    QCheckBox *m_showAtStartup = nullptr; // Check1
};
