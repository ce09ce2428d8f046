#pragma once

#include <QString>

// The "program directory" of the reference: where the database, the page files and
// "SearchOutput.txt" live. The per-user application data folder unless a folder was
// given with --data-dir. Read-only resources are looked up here first, then in the
// installed share folder, then in the source tree.
namespace DataDir {

QString defaultPath(); // QStandardPaths::AppDataLocation for "Quorvex Fax Varnel"
bool ensure(const QString &dir, QString *error = nullptr); // create if missing; writable?

// A read-only resource such as "sounds/foundfax.wav" or "Help.rtf": the first existing
// candidate of dataDir, the folder of the running program's share tree, the installed
// share folder and the source tree's resources/. Empty when none exists.
QString resource(const QString &dataDir, const QString &relativeName);
// A folder of read-only resources shipped with the program, such as "engines": the first
// existing one of the running program's share tree, the installed share folder and the
// source tree's resources/. Empty when none exists.
QString sharedFolder(const QString &relativeName);

} // namespace DataDir
