#include "rtfreader.h"
#include <QByteArray>
#include <QTextDocument>
bool readRtf(const QByteArray &rtf, QTextDocument *doc)
{
    doc->setPlainText(QString::fromLatin1(rtf));
    return true;
}
