#pragma once

// The columns of a stored number with its business, as every reader outside the store
// shows them: the numbers window's titles (which the CSV and XLSX exports take as headers)
// and the keys of `varnel-tool numbers` (the keys of `faxes --json` where they mean the
// same).

#include "store.h"

#include <QList>
#include <QString>

namespace NumberFields {

enum Field
{
    Number,
    Date,
    Page,
    Search,
    Location, // the area code's region
    E164,
    NumberCountry, // the country of the number
    Label,
    How,
    Context,
    // Of the business the number points to.
    Organization,
    Unit,
    Street,
    PostalCode,
    City,
    Region,  // state, province or county of the address
    Country, // of the address
    Phone,
    Email,
    Site,
    Business, // the business's key in the store
    Sources,  // where each part of the owner was read
    DoNotFax, // the do-not-fax list's reason
    FieldCount
};

QString key(Field field);   // "organization", "postal_code"
QString title(Field field); // "Organization", "Postal Code"

// The field's text for the number; the date as ISO 8601 ("2026-01-01T12:00:00"), the
// business's key as digits ("" for none).
QString text(const ListedFax &fax, Field field);

} // namespace NumberFields
