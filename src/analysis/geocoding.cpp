// The place of a number, from the geographic data that ships with libphonenumber.

#include "ownerreader.h"
#include "phonereading.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <unicode/locid.h>

#include <QHash>
#include <QLocale>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

QString readPlaceOfNumber(const QString &e164, const QString &language,
                          const QString &numberRegion);

} // namespace

QString placeOfNumber(const QString &e164, const QString &language, const QString &numberRegion)
{
    // The pages of a site show the same numbers again and again: places already looked up,
    // per thread, bounded.
    thread_local QHash<QString, QString> known;
    const QString key = e164 + QChar(0) + language + QChar(0) + numberRegion;
    const auto it = known.constFind(key);
    if (it != known.cend())
        return *it;
    if (known.size() >= 4096)
        known.clear();
    const QString place = readPlaceOfNumber(e164, language, numberRegion);
    known.insert(key, place);
    return place;
}

namespace {

QString readPlaceOfNumber(const QString &e164, const QString &language, const QString &numberRegion)
{
    // Loading the data is done once; the look-ups are const and guarded inside.
    static const PhoneNumberOfflineGeocoder geocoder;
    PhoneNumber number;
    if (!phoneNumberOfE164(e164, &number))
        return QString();
    // A number of no place (toll-free, premium rate) shares its first digits with places
    // in some plans: the data is asked only after the number's type. In North America the
    // area code alone tells the type, which spares the plans' patterns.
    const bool northAmerican = number.country_code() == 1;
    if (northAmerican && (isTollFree(e164) || e164.startsWith(QLatin1String("+1900"))))
        return QString();
    auto describe = [&](const char *lang) {
        return QString::fromStdString(
            northAmerican ? geocoder.GetDescriptionForValidNumber(number, icu::Locale(lang))
                          : geocoder.GetDescriptionForNumber(number, icu::Locale(lang)));
    };
    // Where the data knows no place inside the country, it names the country: no place.
    const QString english = describe("en");
    // The region costs a look through the plans of every country that shares the code.
    QString region = numberRegion;
    if (region.isEmpty()) {
        std::string r;
        PhoneNumberUtil::GetInstance()->GetRegionCodeForNumber(number, &r);
        region = QString::fromStdString(r);
    }
    const QLocale::Territory territory = QLocale::codeToTerritory(region);
    if (english.isEmpty() ||
        (territory != QLocale::AnyTerritory && english == QLocale::territoryToString(territory)))
        return QString();
    if (language.isEmpty() || language == QLatin1String("en"))
        return english;
    return describe(language.toLatin1().constData());
}

} // namespace
