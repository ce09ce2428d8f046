#pragma once

#include <QString>

// The name under which a host's site is queued: the reference rule (the host less its
// first label, kept only with a .com, .net, .org or .gov ending) or, in the mode that
// accepts every domain ending, the registrable domain by the Public Suffix List
// (shop.example.co.uk gives example.co.uk, leginfo.legislature.ca.gov gives ca.gov).
namespace DomainNames {

enum class Endings
{
    Reference, // the reference suffix list and first-label rule
    Every      // every domain ending, by the Public Suffix List
};

// The name for a host (no scheme, port or path), or an empty text when the host gives
// none: an address, a bare suffix, a top-level domain that does not exist, or under the
// reference rule an ending outside the list. Under the reference rule the letter case of
// the host is kept; the registrable domain is in lower case.
QString nameForHost(const QString &host, Endings endings);

// The registrable domain of a host, in lower case; empty when it has none.
QString registrableDomain(const QString &host);

// Whether the Public Suffix List could be loaded. Without it, registrableDomain() falls
// back to the reference rule.
bool publicSuffixListLoaded();

} // namespace DomainNames
