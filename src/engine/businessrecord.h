#pragma once

// The business a found fax belongs to, as the store keeps it: the page's registrable
// domain and the owner the finder read beside the number.

#include "businessstore.h"

struct ContactOwner;

namespace BusinessRecord {

// The site of a page (host/path, with or without a scheme): its registrable domain in lower
// case, or the host itself when it has none (an address, a name without a public suffix).
QString siteOf(const QString &page);

// The fax (its E.164 form) found on the page for the search string, with its owner.
BusinessFax of(const QString &e164, const QString &page, const QString &search,
               const ContactOwner &owner);

// Where each part of the owner was read, as the store keeps it: "organization=json-ld
// address=block ..." (the parts that are known).
QString sourcesOf(const ContactOwner &owner);

} // namespace BusinessRecord
