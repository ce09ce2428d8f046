// The help document reader on any bytes: unknown or damaged RTF degrades to text.
#include "rtfreader.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray rtf(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument doc;
    readRtf(rtf, &doc);
    (void)doc.toPlainText();
    return 0;
}
