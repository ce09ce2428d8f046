#include "filedialogs.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QMimeDatabase>

namespace {

// Icons and type names by the name of a file, never by its contents.
class NameOnlyIconProvider final : public QFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override
    {
        return QFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("Folder");
        return m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension).comment();
    }

private:
    QMimeDatabase m_types;
};

QString chosen(QFileDialog *dialog)
{
    const bool accepted = dialog->exec() == QDialog::Accepted;
    const QString path = accepted ? dialog->selectedFiles().value(0) : QString();
    delete dialog;
    return path;
}

} // namespace

namespace FileDialogs {

QFileDialog *create(QWidget *parent, const QString &caption, const QString &path,
                    const QString &filter, bool save)
{
    static NameOnlyIconProvider icons;
    auto *dialog = new QFileDialog(parent, caption, path, filter);
    dialog->setIconProvider(&icons);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    return dialog;
}

QString openFileName(QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter)
{
    return chosen(create(parent, caption, path, filter, false));
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter)
{
    return chosen(create(parent, caption, path, filter, true));
}

} // namespace FileDialogs
