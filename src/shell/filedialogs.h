#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// The file dialogs of the windows. They name the files they list by their names alone:
// Qt's own dialog reads the first bytes of a file whose type its name does not tell, and
// closing that handle drops every lock this process holds on the file. The data folder
// holds the fax database's working files (varnel.mdb-wal, varnel.mdb-shm), whose locks keep
// other programs from taking them from under the open store. A dialog of the desktop
// (native) runs as the desktop has it.
namespace FileDialogs {

// A dialog to open an existing file, or to name a file to save (AcceptSave); shown with
// exec() or show(), and deleted by the caller.
QFileDialog *create(QWidget *parent, const QString &caption, const QString &path,
                    const QString &filter, bool save);

// The file chosen; empty when the dialog was cancelled.
QString openFileName(QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter);
QString saveFileName(QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter);

} // namespace FileDialogs
