#include "helpwindow.h"

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
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
// A help document is text; anything larger is not ours and is not read whole.
constexpr qint64 kMaxDocumentSize = 8 * 1024 * 1024;
} // namespace

bool HelpWindow::showAtStartup(const SettingsStore &settings)
{
    return settings.read(QString::fromLatin1(SettingKeys::showHelp), QStringLiteral("1")) ==
           QLatin1String("1");
}

HelpWindow::HelpWindow(SettingsStore *settings, const QString &dataDir, const QString &documentPath)
    : m_settings(settings), m_dataDir(dataDir), m_documentPath(documentPath)
{
    setObjectName(QStringLiteral("Form8"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Readme/Help"));
    m_document = new QTextBrowser(this);
    m_document->setObjectName(QStringLiteral("rtf1"));
    m_document->setOpenExternalLinks(true);
    m_document->document()->setDocumentMargin(14);
    m_showAtStartup = new QCheckBox(QStringLiteral("Show at Startup"), this);
    m_showAtStartup->setObjectName(QStringLiteral("Check1"));
    connect(m_showAtStartup, &QCheckBox::clicked, this, &HelpWindow::showAtStartupClicked);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 8);
    layout->setSpacing(8);
    layout->addWidget(m_document, 1);
    layout->addWidget(m_showAtStartup);
    resize(640, 560);
}

bool HelpWindow::load()
{
    if (bSkin)
        SkinForm(this);

    if (m_documentPath.isEmpty())
        m_documentPath = DataDir::resource(m_dataDir, QStringLiteral("Help.rtf"));
    if (!FileExists(m_documentPath))
        return false;

    QFile file(m_documentPath);
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxDocumentSize) {
        readRtf(file.read(kMaxDocumentSize), m_document->document());
    } else {
        // The window opens anyway and says what went wrong.
        m_document->setPlainText(QStringLiteral("The help document %1 could not be read.")
                                     .arg(QDir::toNativeSeparators(m_documentPath)));
    }

    m_document->moveCursor(QTextCursor::Start); // the document opens at its beginning

    SetTopMost(this, true);

    const int stored = m_settings ? m_settings->readInt(QString::fromLatin1(SettingKeys::showHelp),
                                                        1, -32768, 32767)
                                  : 1;
    m_showAtStartup->setChecked(stored != 0);
    return true;
}

void HelpWindow::showAtStartupClicked()
{
    if (m_settings)
        m_settings->write(QString::fromLatin1(SettingKeys::showHelp),
                          m_showAtStartup->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}
