#include "numberfields.h"

namespace NumberFields {

namespace {

struct Names
{
    const char *key;
    const char *title;
};

// The first ten are the CSV export's columns of old, in their order.
const Names kNames[FieldCount] = {
    {"number", "Number"},
    {"date", "Date"},
    {"page", "Page"},
    {"search", "Search String"},
    {"location", "Region"},
    {"e164", "E.164"},
    {"number_country", "Country"},
    {"label", "Label"},
    {"how", "How Found"},
    {"context", "Text Around It"},
    {"organization", "Organization"},
    {"unit", "Unit"},
    {"street", "Street"},
    {"postal_code", "Postal Code"},
    {"city", "City"},
    {"region", "State or Province"},
    {"country", "Address Country"},
    {"phone", "Main Phone"},
    {"email", "Email"},
    {"site", "Business Site"},
    {"business", "Business"},
    {"sources", "Owner Read From"},
    {"do_not_fax", "Do Not Fax"},
};

} // namespace

QString key(Field field)
{
    return QString::fromLatin1(kNames[field].key);
}

QString title(Field field)
{
    return QString::fromLatin1(kNames[field].title);
}

QString text(const ListedFax &fax, Field field)
{
    const FaxRow &r = fax.row;
    const BusinessRow &b = fax.business;
    switch (field) {
    case Number:
        return r.fax;
    case Date:
        return r.date.toString(Qt::ISODate);
    case Page:
        return r.website;
    case Search:
        return r.search;
    case Location:
        return r.location.trimmed();
    case E164:
        return r.e164;
    case NumberCountry:
        return r.country;
    case Label:
        return r.label;
    case How:
        return r.how;
    case Context:
        return r.context;
    case Organization:
        return b.organization;
    case Unit:
        return b.unit;
    case Street:
        return b.street;
    case PostalCode:
        return b.postalCode;
    case City:
        return b.city;
    case Region:
        return b.region;
    case Country:
        return b.country;
    case Phone:
        return b.phone;
    case Email:
        return b.email;
    case Site:
        return b.site;
    case Business:
        return b.id > 0 ? QString::number(b.id) : QString();
    case Sources:
        return b.sources;
    case DoNotFax:
        return fax.doNotFax;
    case FieldCount:
        break;
    }
    return QString();
}

} // namespace NumberFields
