#pragma once

// Telephone numbers as pages write them: runs of digits in text, and their reading as a
// whole number with a country, checked against the numbering plans (libphonenumber).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace i18n::phonenumbers {
class PhoneNumber;
}

// A run of digits that may be a telephone number, as it stands in the text: digit groups
// joined by one space, dash, dot or slash (with spaces around it at most), an optional
// leading "+" and parenthesised groups ("(0)", "(212)", the old Brazilian "(0xx21)").
struct NumberRun
{
    qsizetype begin = 0; // in the text
    qsizetype end = 0;
    QByteArray written; // the run as written, separators reduced to one sign each
    int digits = 0;
    QList<int> groupEnds; // offsets into `written` after each group: where a run may split
};

// Every run of at least 6 digits in text[from, to). A run of more than 20 digits is no
// telephone number and yields nothing.
QList<NumberRun> numberRuns(QByteArrayView text, qsizetype from, qsizetype to);

// The run of `written` cut after its group k (0-based): text and digits of the first part.
NumberRun firstGroups(const NumberRun &run, int k);
NumberRun lastGroups(const NumberRun &run, int k);

struct PhoneReading
{
    bool valid = false;
    bool northAmerican = false; // country calling code 1
    QString e164;               // "+12125550187"
    QString region;             // ISO 3166 code of the number: "US", "DO", "DE"
    QString countryName;        // "United States"; empty for numbers of no country
    QString textForm;           // 1-NNN-NNN-NNNN, or the international form with dashes
};

// The number a run writes. The country comes from a "+" or an exit code (00, 011), else
// from a North American layout (NNN-NNN-NNNN, (NNN) NNN-NNNN, with or without a leading 1),
// else from the page's region (asked only then; empty when unknown). Numbers that the
// numbering plans call invalid are not valid.
PhoneReading readPhoneNumber(QByteArrayView written, const std::function<QByteArray()> &pageRegion);

// Why `written` has no valid reading (readPhoneNumber gave none), in a few words:
// "no country code and the page names no country", "not a possible number of DE",
// "invalid in the numbering plan of US" (an unassigned area code, say).
QString whyNoReading(QByteArrayView written, const QByteArray &pageRegion);

// The number an E.164 text ("+4922116421411") stands for, as the parser would make it but
// without parsing; false when it is no E.164 text of a known country code.
bool phoneNumberOfE164(const QString &e164, i18n::phonenumbers::PhoneNumber *number);

// True for a number the numbering plans call toll-free (800, 0800, 1800 ...).
bool isTollFree(const QString &e164);

// The English name of the country with ISO 3166 code `region` ("" when there is none).
QString countryNameOf(const QString &region);
