#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QTextBrowser;
class SettingsStore;

// The help viewer "Readme/Help": shows the help document "Help.rtf" and the "Show at Startup"
// choice (settings key "showHelp"). It stays above the other windows while it is open.
class Form8 : public QDialog
{
    Q_OBJECT
public:
    // Loads the window if needed and shows it without modality. Returns null, and shows
    // nothing, when the help document is missing. settings is not owned and must outlive the
    // window. The document is documentPath, or when that is empty "Help.rtf" looked up in
    // dataDir first, then among the installed resources.
    static Form8 *openWindow(SettingsStore *settings, const QString &dataDir,
                             const QString &documentPath = QString());
    static Form8 *instance();
    static void unload();

    // The start-up rule of the main window: the stored "showHelp" (default "1") is exactly "1".
    static bool showAtStartup(const SettingsStore &settings);

    QTextBrowser *rtf1 = nullptr;
    QCheckBox *Check1 = nullptr;

    void Check1_Click();
    QString documentPath() const { return m_documentPath; }

private:
    Form8(SettingsStore *settings, const QString &dataDir, const QString &documentPath);
    bool Form_Load();

    SettingsStore *m_settings;
    QString m_dataDir;
    QString m_documentPath;
};
