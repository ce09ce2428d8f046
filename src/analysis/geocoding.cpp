// The place of a number, from the geographic data that ships with libphonenumber.

#include "ownerreader.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <unicode/locid.h>

#include <QLocale>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

QString placeOfNumber(const QString &e164, const QString &language)
{
    // Loading the data is done once; the look-ups are const and guarded inside.
    static const PhoneNumberOfflineGeocoder geocoder;
    PhoneNumber number;
    if (PhoneNumberUtil::GetInstance()->Parse(e164.toStdString(), "ZZ", &number) !=
        PhoneNumberUtil::NO_PARSING_ERROR)
        return QString();
    // Where the data knows no place inside the country, it names the country: no place.
    const QString english =
        QString::fromStdString(geocoder.GetDescriptionForNumber(number, icu::Locale("en")));
    std::string region;
    PhoneNumberUtil::GetInstance()->GetRegionCodeForNumber(number, &region);
    const QLocale::Territory territory = QLocale::codeToTerritory(QString::fromStdString(region));
    if (english.isEmpty() ||
        (territory != QLocale::AnyTerritory && english == QLocale::territoryToString(territory)))
        return QString();
    if (language.isEmpty() || language == QLatin1String("en"))
        return english;
    const std::string lang = language.toStdString();
    return QString::fromStdString(
        geocoder.GetDescriptionForNumber(number, icu::Locale(lang.c_str())));
}
