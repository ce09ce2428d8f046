// The place of a number, from the geographic data that ships with libphonenumber.

#include "ownerreader.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <unicode/locid.h>

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
    const std::string lang = language.isEmpty() ? std::string("en") : language.toStdString();
    return QString::fromStdString(
        geocoder.GetDescriptionForNumber(number, icu::Locale(lang.c_str())));
}
