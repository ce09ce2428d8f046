#include "export.h"

#include "store.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace FaxExport {

QByteArray delimiterFor(int type, bool space)
{
    switch (type) {
    case Unpicked:
    case Semicolon:
        return space ? QByteArrayLiteral("; ") : QByteArrayLiteral(";");
    case Tab:
        return QByteArrayLiteral("\t");
    case Lines:
        return QByteArrayLiteral("\r\n");
    default:
        return QByteArray();
    }
}

QByteArray formatDelimited(const QList<FaxRow> &rows, const QByteArray &delimiter)
{
    QByteArray out;
    for (const FaxRow &r : rows) {
        out += r.fax.toUtf8();
        out += delimiter;
    }
    out += "\r\n";
    return out;
}

static QByteArray csvField(const QString &text)
{
    QByteArray f = text.toUtf8();
    if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n')) {
        f.replace('"', "\"\"");
        f.prepend('"');
        f.append('"');
    }
    return f;
}

QByteArray formatCsv(const QList<FaxRow> &rows)
{
    QByteArray out = "fax,Date,website,search,location\r\n";
    for (const FaxRow &r : rows) {
        const QString date = r.date.isValid() ? r.date.toString(Qt::ISODate) : QString();
        out += csvField(r.fax) + ',' + csvField(date) + ',' + csvField(r.website) + ',' +
               csvField(r.search) + ',' + csvField(r.location) + "\r\n";
    }
    return out;
}

QByteArray format(const QList<FaxRow> &rows, int type, bool space)
{
    if (type == Csv)
        return formatCsv(rows);
    return formatDelimited(rows, delimiterFor(type, space));
}

Result exportFaxes(Store &store, const QString &path, int type, bool space)
{
    Result result;
    const QString shown = QDir::toNativeSeparators(path);
    const std::optional<QList<FaxRow>> stored = store.allFaxes();
    if (!stored) {
        result.error =
            QStringLiteral("The fax numbers could not be read from %1 (%2), so nothing was exported.")
                .arg(QDir::toNativeSeparators(store.location()), store.lastError());
        return result;
    }
    const QList<FaxRow> &rows = *stored;
    const QByteArray bytes = format(rows, type, space);

    if (QFileInfo(path).isDir()) {
        result.error =
            QStringLiteral("The export file %1 could not be written: it is a folder.").arg(shown);
        return result;
    }
    // Written beside the target and renamed over it, so a failed export never leaves a
    // half-written file or a mix of old and new numbers.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("The export file %1 could not be created: %2.")
                           .arg(shown, file.errorString());
        return result;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        result.error = QStringLiteral("The export file %1 could not be written: %2.")
                           .arg(shown, file.errorString());
        file.cancelWriting();
        return result;
    }
    result.ok = true;
    result.count = int(rows.size());
    return result;
}

} // namespace FaxExport

QString FileNamePart(const QString &path)
{
    const int cut =
        int(qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/'))));
    return path.mid(cut + 1);
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}
