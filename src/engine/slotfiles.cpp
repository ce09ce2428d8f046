#include "slotfiles.h"

namespace SlotFiles {

namespace {

QString name(const char *stem, int slot)
{
    const QString n = QString::number(slot);
    if (slot >= 0 && slot <= 9)
        return QLatin1String(stem) + n + QLatin1String(".txt");
    return QLatin1String(stem) + QLatin1Char('-') + n + QLatin1String(".txt");
}

} // namespace

QString firstName(int slot)
{
    return name("html", slot);
}

QString secondName(int slot)
{
    return name("html2", slot);
}

} // namespace SlotFiles
