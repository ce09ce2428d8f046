#include "numbersmodel.h"

#include "areacode.h"
#include "faxfinder.h"
#include "numberfields.h"

#include <QColor>
#include <QGuiApplication>
#include <QHash>
#include <QLocale>
#include <QPalette>

#include <limits>

namespace {

// Blocks kept at hand: a few screens up and down from where the view is.
constexpr int kBlocksKept = 64;

const char *const kHeaders[NumbersModel::DoNotFax + 1] = {
    "Number",        "E.164", "Region",    "Country",        "Date",       "Page",
    "Search String", "Label", "How Found", "Text Around It", "Do Not Fax",
};

// The business's columns, titled as the exports title them.
struct BusinessColumn
{
    NumbersModel::Column column;
    NumberFields::Field field;
    FaxColumn storeColumn;
};
constexpr BusinessColumn kBusinessColumns[] = {
    {NumbersModel::Organization, NumberFields::Organization, FaxColumn::Organization},
    {NumbersModel::Unit, NumberFields::Unit, FaxColumn::Unit},
    {NumbersModel::Street, NumberFields::Street, FaxColumn::Street},
    {NumbersModel::PostalCode, NumberFields::PostalCode, FaxColumn::PostalCode},
    {NumbersModel::City, NumberFields::City, FaxColumn::City},
    {NumbersModel::OwnerRegion, NumberFields::Region, FaxColumn::Region},
    {NumbersModel::AddressCountry, NumberFields::Country, FaxColumn::AddressCountry},
    {NumbersModel::Phone, NumberFields::Phone, FaxColumn::Phone},
    {NumbersModel::Email, NumberFields::Email, FaxColumn::Email},
    {NumbersModel::Site, NumberFields::Site, FaxColumn::Site},
};

const BusinessColumn *businessColumn(int column)
{
    for (const BusinessColumn &b : kBusinessColumns) {
        if (b.column == column)
            return &b;
    }
    return nullptr;
}

} // namespace

NumbersModel::NumbersModel(Store *store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_blocks(kBlocksKept)
{
    refresh();
}

void NumbersModel::setFilter(const FaxFilter &filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    refresh();
}

void NumbersModel::refresh()
{
    beginResetModel();
    m_blocks.clear();
    std::optional<qint64> n = m_store ? m_store->countFaxes(m_filter) : std::nullopt;
    if (n)
        m_failed = false;
    else
        readFailure();
    m_total = n.value_or(0);
    endResetModel();
}

void NumbersModel::refreshInPlace()
{
    const std::optional<qint64> n = m_store ? m_store->countFaxes(m_filter) : std::nullopt;
    // A new count, or an order by the do-not-fax reason, moves rows: read them anew.
    if (!n || *n != m_total || m_sort.column == FaxColumn::DoNotFax) {
        refresh();
        return;
    }
    m_failed = false;
    m_blocks.clear();
    if (m_total > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void NumbersModel::sort(int column, Qt::SortOrder order)
{
    FaxSort sort;
    sort.column = storeColumn(column);
    sort.order = order;
    if (sort.column == m_sort.column && sort.order == m_sort.order)
        return;
    // The rows are read again in the new order; a selection of the old rows would name others.
    beginResetModel();
    m_sort = sort;
    m_blocks.clear();
    endResetModel();
}

const QList<ListedFax> *NumbersModel::block(qint64 index) const
{
    if (QList<ListedFax> *cached = m_blocks.object(index))
        return cached;
    if (!m_store)
        return nullptr;
    std::optional<QList<ListedFax>> rows =
        m_store->faxPage(m_filter, m_sort, index * BlockSize, BlockSize);
    if (!rows) {
        readFailure();
        return nullptr;
    }
    m_failed = false;
    auto *kept = new QList<ListedFax>(std::move(*rows));
    m_blocks.insert(index, kept);
    return kept;
}

void NumbersModel::readFailure() const
{
    if (m_failed)
        return;
    m_failed = true;
    const QString reason = m_store ? m_store->lastError() : QStringLiteral("no store");
    // Reported after the read: a view may be in the middle of painting.
    auto *self = const_cast<NumbersModel *>(this);
    QMetaObject::invokeMethod(
        self, [self, reason] { Q_EMIT self->readFailed(reason); }, Qt::QueuedConnection);
}

std::optional<ListedFax> NumbersModel::rowAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return std::nullopt;
    const QList<ListedFax> *b = block(row / BlockSize);
    const int at = row % BlockSize;
    if (!b || at >= b->size())
        return std::nullopt; // the store has fewer rows now than when it was counted
    return b->at(at);
}

std::optional<QList<ListedFax>> NumbersModel::rows(int first, int count) const
{
    first = std::max(first, 0);
    count = std::min(count, rowCount() - first);
    if (count <= 0)
        return QList<ListedFax>();
    // Within one block at hand: no read.
    if (first / BlockSize == (first + count - 1) / BlockSize) {
        if (const QList<ListedFax> *b = m_blocks.object(first / BlockSize))
            return b->mid(first % BlockSize, count);
    }
    if (!m_store)
        return std::nullopt;
    std::optional<QList<ListedFax>> read = m_store->faxPage(m_filter, m_sort, first, count);
    if (!read)
        readFailure();
    return read;
}

int NumbersModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(std::min<qint64>(m_total, std::numeric_limits<int>::max()));
}

int NumbersModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString NumbersModel::cellText(const ListedFax &fax, int column)
{
    const FaxRow &r = fax.row;
    switch (column) {
    case Number:
        return r.fax;
    case E164:
        return r.e164;
    case Region:
        return regionText(r.location, r.country);
    case Country:
        return r.country;
    case Date:
        return r.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Page:
        return r.website;
    case Search:
        return r.search;
    case Label:
        return r.label;
    case How:
        return howText(r.how);
    case Context:
        return r.context;
    case DoNotFax:
        return fax.doNotFax;
    default:
        break;
    }
    if (const BusinessColumn *b = businessColumn(column))
        return NumberFields::text(fax, b->field);
    return QString();
}

QString NumbersModel::howText(const QString &stored)
{
    static const QHash<QString, QString> words = {
        {QLatin1String(FoundHow::Reference), QStringLiteral("on the fax line")},
        {QLatin1String(FoundHow::LabelBefore), QStringLiteral("label before the number")},
        {QLatin1String(FoundHow::LabelAfter), QStringLiteral("label after the number")},
        {QLatin1String(FoundHow::PreviousLine), QStringLiteral("label on the line above")},
        {QLatin1String(FoundHow::PreviousCell), QStringLiteral("label in the cell before")},
        {QLatin1String(FoundHow::TableHeader), QStringLiteral("column heading")},
        {QLatin1String(FoundHow::Term), QStringLiteral("definition list")},
        {QLatin1String(FoundHow::Heading), QStringLiteral("heading above")},
        {QLatin1String(FoundHow::FormLabel), QStringLiteral("form label")},
        {QLatin1String(FoundHow::Icon), QStringLiteral("fax icon")},
        {QLatin1String(FoundHow::Microdata), QStringLiteral("structured data (microdata)")},
        {QLatin1String(FoundHow::Rdfa), QStringLiteral("structured data (RDFa)")},
        {QLatin1String(FoundHow::JsonLd), QStringLiteral("structured data (JSON-LD)")},
        {QLatin1String(FoundHow::Meta), QStringLiteral("page information (meta)")},
        {QLatin1String(FoundHow::FaxLink), QStringLiteral("fax: link")},
        {QLatin1String(FoundHow::TelLink), QStringLiteral("telephone link marked fax")},
    };
    return words.value(stored, stored);
}

QString NumbersModel::countryName(const QString &code)
{
    const QLocale::Territory t = QLocale::codeToTerritory(code);
    return t == QLocale::AnyTerritory ? code : QLocale::territoryToString(t);
}

QString NumbersModel::regionText(const QString &location, const QString &country)
{
    const QString region = location.trimmed();
    if (region == QLatin1String(kUnknownInternational) && !country.isEmpty())
        return countryName(country);
    return region;
}

std::optional<FaxColumn> NumbersModel::storeColumn(int column)
{
    switch (column) {
    case Number:
        return FaxColumn::Fax;
    case E164:
        return FaxColumn::E164;
    case Region:
        return FaxColumn::Location;
    case Country:
        return FaxColumn::Country;
    case Date:
        return FaxColumn::Date;
    case Page:
        return FaxColumn::Website;
    case Search:
        return FaxColumn::Search;
    case Label:
        return FaxColumn::Label;
    case How:
        return FaxColumn::How;
    case Context:
        return FaxColumn::Context;
    case DoNotFax:
        return FaxColumn::DoNotFax;
    default:
        break;
    }
    if (const BusinessColumn *b = businessColumn(column))
        return b->storeColumn;
    return std::nullopt;
}

QVariant NumbersModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= ColumnCount)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole)
        return QVariant();
    const std::optional<ListedFax> fax = rowAt(index.row());
    if (!fax)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(*fax, index.column());
    case Qt::ToolTipRole:
        if (!fax->doNotFax.isEmpty())
            return QStringLiteral("On the do-not-fax list: %1").arg(fax->doNotFax);
        if (index.column() == Context || index.column() == Page)
            return cellText(*fax, index.column());
        return QVariant();
    case Qt::ForegroundRole:
        // A listed number is kept but never exported: shown greyed.
        if (!fax->doNotFax.isEmpty())
            return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
        return QVariant();
    }
    return QVariant();
}

QVariant NumbersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= ColumnCount)
        return QVariant();
    if (const BusinessColumn *b = businessColumn(section))
        return NumberFields::title(b->field);
    return QString::fromLatin1(kHeaders[section]);
}
