#include "form8.h"

#include "datadir.h"
#include "export.h"
#include "ontop.h"
#include "productinfo.h"
#include "rtfreader.h"
#include "settingsstore.h"
#include "skin.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
QPointer<Form8> g_help;
// A help document is text; anything larger is not ours and is not read whole.
constexpr qint64 kMaxDocumentSize = 8 * 1024 * 1024;
} // namespace

Form8 *Form8::openWindow(SettingsStore *settings, const QString &dataDir,
                         const QString &documentPath)
{
    if (!g_help) {
        auto *w = new Form8(settings, dataDir, documentPath);
        if (!w->Form_Load()) {
            delete w;
            return nullptr;
        }
        g_help = w;
    }
    if (g_help->isVisible()) {
        g_help->raise();
        g_help->activateWindow();
    } else {
        g_help->show();
    }
    return g_help;
}

Form8 *Form8::instance()
{
    return g_help;
}

void Form8::unload()
{
    delete g_help.data();
}

bool Form8::showAtStartup(const SettingsStore &settings)
{
    return settings.read(QString::fromLatin1(SettingKeys::showHelp), QStringLiteral("1")) ==
           QLatin1String("1");
}

Form8::Form8(SettingsStore *settings, const QString &dataDir, const QString &documentPath)
    : m_settings(settings), m_dataDir(dataDir), m_documentPath(documentPath)
{
    setObjectName(QStringLiteral("Form8"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Readme/Help"));
    rtf1 = new QTextBrowser(this);
    rtf1->setObjectName(QStringLiteral("rtf1"));
    rtf1->setOpenExternalLinks(true);
    rtf1->document()->setDocumentMargin(14);
    Check1 = new QCheckBox(QStringLiteral("Show at Startup"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    connect(Check1, &QCheckBox::clicked, this, &Form8::Check1_Click);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 8);
    layout->setSpacing(8);
    layout->addWidget(rtf1, 1);
    layout->addWidget(Check1);
    resize(640, 560);
}

bool Form8::Form_Load()
{
    if (bSkin)
        SkinForm(this);

    if (m_documentPath.isEmpty())
        m_documentPath = DataDir::resource(m_dataDir, QStringLiteral("Help.rtf"));
    if (!FileExists(m_documentPath))
        return false;

    QFile file(m_documentPath);
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxDocumentSize) {
        readRtf(file.read(kMaxDocumentSize), rtf1->document());
    } else {
        // The window opens anyway and says what went wrong.
        rtf1->setPlainText(QStringLiteral("The help document %1 could not be read.")
                               .arg(QDir::toNativeSeparators(m_documentPath)));
    }

    rtf1->moveCursor(QTextCursor::Start); // the document opens at its beginning

    SetTopMost(this, true);

    const int stored = m_settings ? m_settings->readInt(QString::fromLatin1(SettingKeys::showHelp),
                                                        1, -32768, 32767)
                                  : 1;
    Check1->setChecked(stored != 0);
    return true;
}

void Form8::Check1_Click()
{
    if (m_settings)
        m_settings->write(QString::fromLatin1(SettingKeys::showHelp),
                          Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}
