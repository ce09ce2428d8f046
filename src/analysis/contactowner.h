#pragma once

// Who a fax number reaches, read from the page that shows it: the organisation (and the
// office or department it is listed under), the postal address shown with it, the main
// telephone and the mail address beside it, each with where on the page it was read.
// A business is one site (registrable domain) and one organisation: what a store keeps as
// one row per business is this record and the page's address.

#include <QString>

#include <array>
#include <utility>

// Where a part of the owner was read, most trusted first. Stored as they are.
namespace OwnerSource {
inline constexpr char JsonLd[] = "json-ld";         // schema.org data in a JSON-LD script
inline constexpr char Microdata[] = "microdata";    // itemscope / itemprop
inline constexpr char Rdfa[] = "rdfa";              // typeof / property
inline constexpr char HCard[] = "hcard";            // class vcard: fn, org, adr, tel
inline constexpr char Address[] = "address";        // an <address> element
inline constexpr char Block[] = "block";            // the lines of the number's block
inline constexpr char Label[] = "label";            // the words before the fax label
inline constexpr char Heading[] = "heading";        // a heading above the block
inline constexpr char SiteName[] = "site-name";     // og:site_name, application-name
inline constexpr char Copyright[] = "copyright";    // the footer's "©" line
inline constexpr char Logo[] = "logo";              // the logo image's alternative text
inline constexpr char Title[] = "title";            // the page's <title>
inline constexpr char Page[] = "page";              // a business named elsewhere on the page
inline constexpr char MailDomain[] = "mail-domain"; // the domain of the mail address shown
inline constexpr char WebAddress[] = "web-address"; // a web address written in the block
inline constexpr char Geocoder[] = "geocoder";      // the place the fax number belongs to
inline constexpr char Number[] = "number";          // the country of the fax number
} // namespace OwnerSource

struct ContactOwner
{
    QString organization; // the business, institution or person, as the page writes it
    QString unit;         // the office or department the number is listed under
    QString street;
    QString postalCode;
    QString city;
    QString region;  // state, province or county
    QString country; // ISO 3166 alpha-2
    QString phone;   // the main voice number shown with the fax, E.164
    QString email;

    // Where each was read (an OwnerSource word; empty when the part is unknown). The
    // address's street, postal code and city are read together.
    QString organizationFrom;
    QString unitFrom;
    QString addressFrom;
    QString cityFrom;
    QString regionFrom;
    QString countryFrom;
    QString phoneFrom;
    QString emailFrom;

    // Each part's name with where it was read, in the order the outputs list them.
    std::array<std::pair<const char *, const QString *>, 8> sources() const
    {
        return {{{"organization", &organizationFrom},
                 {"unit", &unitFrom},
                 {"address", &addressFrom},
                 {"city", &cityFrom},
                 {"region", &regionFrom},
                 {"country", &countryFrom},
                 {"phone", &phoneFrom},
                 {"email", &emailFrom}}};
    }

    bool operator==(const ContactOwner &o) const;
    bool operator!=(const ContactOwner &o) const { return !(*this == o); }
};
