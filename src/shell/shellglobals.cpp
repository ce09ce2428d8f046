#include "shellglobals.h"

bool bQuitPending = false;

namespace {
QString &dataDirValue()
{
    static QString dir;
    return dir;
}
} // namespace

namespace ShellGlobals {
void setDataDir(const QString &dir)
{
    dataDirValue() = dir;
}
QString dataDir()
{
    return dataDirValue();
}
} // namespace ShellGlobals
