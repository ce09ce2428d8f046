#pragma once

#include <QString>

// Set when the main window closes while the browser window is open: the program then ends
// when the browser window closes. False from start-up (the splash window clears it).
extern bool bQuitPending;

namespace ShellGlobals {
// The data directory ("program directory") of this run: the skin, the help document and
// the sounds are looked up there first. Set by the application before the first window.
void setDataDir(const QString &dir);
QString dataDir();
} // namespace ShellGlobals
