#include "export.h"

#include "numberfields.h"

#include "openstore.h"
#include "store.h"
#include "workingfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

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

QString neutralizeCell(const QString &text)
{
    // Pages and search strings come from strangers: "=HYPERLINK(...)" must stay text.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r\n");
    if (!text.isEmpty() && formulaStarts.contains(text.at(0)))
        return QLatin1Char('\'') + text;
    return text;
}

bool isCsv(int type)
{
    return type == Csv || type == CsvSpreadsheet;
}

bool isTelephoneText(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        // A "+" or "-" in front would start a sum in a spreadsheet: only "+" and the
        // digits and brackets of a number may come first.
        const bool fits =
            digit || (i == 0 ? QStringView(u"+(").contains(c) : QStringView(u"- ./()").contains(c));
        if (!fits)
            return false;
    }
    // Something to dial: a cell of dashes alone is no number.
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

namespace {

QByteArray quotedField(QByteArray f)
{
    if (f.contains(',') || f.contains('"') || f.contains('\r') || f.contains('\n')) {
        f.replace('"', "\"\"");
        f.prepend('"');
        f.append('"');
    }
    return f;
}

// Text from pages and search strings: a formula stays text.
QByteArray textField(const QString &text)
{
    return quotedField(neutralizeCell(text).toUtf8());
}

// A telephone number is written as it is; anything else in its place is text as above.
QByteArray numberField(const QString &text)
{
    return isTelephoneText(text) ? quotedField(text.toUtf8()) : textField(text);
}

// A row as the numbers window lists it, for the fields' texts.
ListedFax listed(const FaxRow &row, const BusinessRow &business)
{
    ListedFax fax;
    fax.row = row;
    fax.business = business;
    return fax;
}

bool isNumberField(NumberFields::Field f)
{
    return f == NumberFields::Number || f == NumberFields::E164 || f == NumberFields::Phone;
}

// The columns of the CSV and XLSX exports: those of old first, in their order.
const NumberFields::Field kExportFields[] = {
    NumberFields::Number,        NumberFields::Date,         NumberFields::Page,
    NumberFields::Search,        NumberFields::Location,     NumberFields::E164,
    NumberFields::NumberCountry, NumberFields::Label,        NumberFields::How,
    NumberFields::Context,       NumberFields::Organization, NumberFields::Unit,
    NumberFields::Street,        NumberFields::PostalCode,   NumberFields::City,
    NumberFields::Region,        NumberFields::Country,      NumberFields::Phone,
    NumberFields::Email,         NumberFields::Site,
};

} // namespace

QByteArray formatXlsx(const QList<FaxRow> &rows, const QList<BusinessRow> &businesses)
{
    // libxlsxwriter writes a file: it is made in a folder of its own and read back.
    QTemporaryDir dir;
    if (!dir.isValid())
        return QByteArray();
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("export.xlsx")));
    lxw_workbook *book = workbook_new(path.constData());
    if (!book)
        return QByteArray();
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Fax numbers");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    // Every cell is a string: "+1 212 ..." stays a number to dial, never a sum or a float.
    lxw_format *text = workbook_add_format(book);
    format_set_num_format(text, "@");
    lxw_col_t col = 0;
    for (NumberFields::Field f : kExportFields)
        worksheet_write_string(sheet, 0, col++, NumberFields::title(f).toUtf8().constData(), bold);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ListedFax fax = listed(rows.at(i), businesses.value(i));
        col = 0;
        for (NumberFields::Field f : kExportFields) {
            const QByteArray cell = NumberFields::text(fax, f).toUtf8();
            if (!cell.isEmpty())
                worksheet_write_string(sheet, lxw_row_t(i + 1), col, cell.constData(), text);
            ++col;
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
    if (workbook_close(book) != LXW_NO_ERROR)
        return QByteArray();
    QFile written(QFile::decodeName(path));
    return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}

QByteArray formatCsv(const QList<FaxRow> &rows, bool byteOrderMark)
{
    return formatCsv(rows, {}, byteOrderMark);
}

QByteArray formatCsv(const QList<FaxRow> &rows, const QList<BusinessRow> &businesses,
                     bool byteOrderMark)
{
    QByteArray out = byteOrderMark ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray();
    QStringList titles;
    for (NumberFields::Field f : kExportFields)
        titles << NumberFields::title(f);
    out += titles.join(QLatin1Char(',')).toUtf8() + "\r\n";
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ListedFax fax = listed(rows.at(i), businesses.value(i));
        for (NumberFields::Field f : kExportFields) {
            if (f != kExportFields[0])
                out += ',';
            const QString text = NumberFields::text(fax, f);
            out += isNumberField(f) ? numberField(text) : textField(text);
        }
        out += "\r\n";
    }
    return out;
}

QByteArray format(const QList<FaxRow> &rows, int type, bool space,
                  const QList<BusinessRow> &businesses)
{
    if (isCsv(type))
        return formatCsv(rows, businesses, type == CsvSpreadsheet);
    if (type == Xlsx)
        return formatXlsx(rows, businesses);
    return formatDelimited(rows, delimiterFor(type, space));
}

QString defaultFileName(int type)
{
    if (type == Xlsx)
        return QStringLiteral("export.xlsx");
    return isCsv(type) ? QStringLiteral("export.csv") : QStringLiteral("export.txt");
}

QString fileFilter(int type)
{
    if (type == Xlsx)
        return QStringLiteral("Excel workbooks (*.xlsx);;All files (*)");
    return isCsv(type) ? QStringLiteral("CSV files (*.csv);;All files (*)")
                       : QStringLiteral("Text files (*.txt);;All files (*)");
}

QString writtenLine(const Result &result, const QString &path)
{
    return QStringLiteral("%1 written to %2.")
        .arg(result.count == 1 ? QStringLiteral("1 fax number was")
                               : QStringLiteral("%1 fax numbers were").arg(result.count),
             QDir::toNativeSeparators(path));
}

QString leftOutText(const ExportCounts &c)
{
    QStringList parts;
    if (c.listed > 0)
        parts << QStringLiteral("%1 on the do-not-fax list").arg(c.listed);
    if (c.flagged > 0)
        parts << QStringLiteral("%1 whose page says it takes no unsolicited faxes").arg(c.flagged);
    if (c.exportedBefore > 0)
        parts << QStringLiteral("%1 exported before").arg(c.exportedBefore);
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("%1 left out: %2")
        .arg(c.listed + c.flagged + c.exportedBefore)
        .arg(parts.join(QStringLiteral(", ")));
}

namespace {

// Writes into a pipe, a device or anything else that is not a regular file, which must
// stay what it is: no temporary file, no rename, every step checked.
bool writeInPlace(const QString &path, const QByteArray &bytes, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // A reader that goes away makes the write fail instead of ending the program.
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool written = WorkingFile::writeAll(fd, bytes);
    const int writeErrno = errno;
    const struct timespec noWait = {0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &noWait) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        *error = QString::fromLocal8Bit(std::strerror(written ? errno : writeErrno));
        return false;
    }
    return true;
}

bool isRegularOrMissing(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode);
}

} // namespace

Result exportFaxes(Store &store, const QString &path, int type, bool space, bool onlyNew)
{
    Result result;
    const QString shown = QDir::toNativeSeparators(path);
    if (StoreLocation::isStoreFile(path, store.location())) {
        result.error = QStringLiteral("The export file %1 is the fax database or one of its "
                                      "working files; nothing was exported. Choose another file.")
                           .arg(shown);
        return result;
    }
    const std::optional<ExportPlan> plan = store.exportPlan(onlyNew);
    if (!plan) {
        result.error =
            QStringLiteral(
                "The fax numbers could not be read from %1 (%2), so nothing was exported.")
                .arg(QDir::toNativeSeparators(store.location()), store.lastError());
        return result;
    }
    const QList<FaxRow> &rows = plan->rows;
    result.counts = plan->counts;
    if (rows.isEmpty()) {
        // An empty file (or one of a header) would look like an export that worked.
        result.nothingToWrite = true;
        const QString leftOut = leftOutText(plan->counts);
        result.error =
            leftOut.isEmpty()
                ? QStringLiteral("There are no fax numbers to export, so no file was written.")
                : QStringLiteral("There are no fax numbers to export (%1), so no file was written.")
                      .arg(leftOut);
        return result;
    }
    const QByteArray bytes = format(rows, type, space, plan->businesses);
    if (bytes.isEmpty()) {
        result.error = QStringLiteral("The export file %1 could not be made (the workbook "
                                      "could not be written in the temporary folder).")
                           .arg(shown);
        return result;
    }

    if (QFileInfo(path).isDir()) {
        result.error =
            QStringLiteral("The export file %1 could not be written: it is a folder.").arg(shown);
        return result;
    }
    if (!isRegularOrMissing(path)) {
        QString why;
        if (!writeInPlace(path, bytes, &why)) {
            result.error =
                QStringLiteral("The export file %1 could not be written: %2.").arg(shown, why);
            return result;
        }
    } else {
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
    }
    result.ok = true;
    result.count = int(rows.size());
    for (const FaxRow &row : rows)
        result.numbers << row.fax;
    if (!store.recordExport(QFileInfo(path).absoluteFilePath(), plan->keys))
        result.warning = QStringLiteral("The export could not be noted in %1 (%2): an export "
                                        "of only the new numbers will write these again.")
                             .arg(QDir::toNativeSeparators(store.location()), store.lastError());
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
