// Whom each fax of 72 real contact pages reaches (tests/corpus/contact-pages/owners.tsv,
// labelled by hand from what each page shows): organisation, city and main telephone,
// scored over the faxes the finder finds. The figures reached are pinned.

#include "faxfinder.h"
#include "pagetext.h"
#include "phonereading.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTest>

#include <optional>

namespace {

// The shares reached (percent of found faxes); the test fails when the finder does worse.
constexpr int kOrganizationRight = 85;
constexpr int kCityRight = 80; // of the faxes whose page shows a city
constexpr int kPhoneRight = 90;
constexpr int kWithoutOrganization = 5; // at most, of the faxes whose page names one

QList<QByteArrayList> readTsv(const QString &path)
{
    QList<QByteArrayList> rows;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            rows << line.split('\t');
    }
    return rows;
}

// Letters and digits, lower case, without accents: names compared as a reader would.
QString folded(const QString &s)
{
    QString out;
    for (QChar c : s.normalized(QString::NormalizationForm_KD)) {
        if (c.isLetterOrNumber())
            out += c.toLower();
    }
    return out;
}

QStringList forms(const QByteArray &field)
{
    QStringList out;
    if (field.trimmed() == "-")
        return out;
    for (const QByteArray &f : field.split('|'))
        out << QString::fromUtf8(f.trimmed());
    return out;
}

QString e164Of(const QByteArray &written, const QByteArray &iso)
{
    QByteArray w;
    appendNumberText(w, written.trimmed());
    return readPhoneNumber(w, [&] { return iso; }).e164;
}

} // namespace

class TestOwnerCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ownersOfFoundFaxes_holdTheirShares();
};

void TestOwnerCorpus::ownersOfFoundFaxes_holdTheirShares()
{
    const QDir dir(QStringLiteral(VARNEL_CONTACT_PAGES));
    const QList<QByteArrayList> owners = readTsv(dir.filePath(QStringLiteral("owners.tsv")));
    const QList<QByteArrayList> notes = readTsv(dir.filePath(QStringLiteral("notes.tsv")));
    QCOMPARE(owners.size(), 107);
    QHash<QByteArray, QByteArray> countries; // page -> ISO code of its first number
    for (const QByteArrayList &n : notes)
        countries.insert(n.value(0), n.value(1).split(';').first().trimmed());

    QHash<QByteArray, QList<FoundNumber>> finds;
    int found = 0, orgRight = 0, withoutOrg = 0, cities = 0, cityRight = 0, phoneRight = 0;
    QStringList wrong;
    for (const QByteArrayList &o : owners) {
        QCOMPARE(o.size(), 6);
        const QByteArray page = o[0];
        const QByteArray iso = countries.value(page);
        if (!finds.contains(page)) {
            QFile f(dir.filePath(QString::fromLatin1(page)));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            FinderInput in;
            in.allowInternational = true;
            finds.insert(page, findFaxNumbers(f.readAll(), in));
        }
        const QString fax = e164Of(o[1], iso);
        std::optional<ContactOwner> ownerFound;
        for (const FoundNumber &f : finds.value(page)) {
            if (!fax.isEmpty() && f.e164 == fax)
                ownerFound = f.owner;
        }
        if (!ownerFound)
            continue;
        ++found;
        const ContactOwner owner = *ownerFound;
        const QString where = QString::fromLatin1(page) + QLatin1Char(' ') + fax;

        const QStringList orgs = forms(o[2]);
        bool ok = orgs.isEmpty() ? owner.organization.isEmpty() : false;
        for (const QString &name : orgs)
            ok = ok || folded(name) == folded(owner.organization);
        orgRight += ok;
        // A page that names no one (030) is right to give no organisation.
        withoutOrg += owner.organization.isEmpty() && !orgs.isEmpty();
        if (!ok)
            wrong << where + QStringLiteral(" organization \"") + owner.organization +
                         QLatin1Char('"');

        const QStringList places = forms(o[4]);
        if (!places.isEmpty()) {
            ++cities;
            bool right = false;
            for (const QString &c : places)
                right = right || folded(c) == folded(owner.city);
            cityRight += right;
            if (!right)
                wrong << where + QStringLiteral(" city \"") + owner.city + QLatin1Char('"');
        }

        const QStringList phones = forms(o[5]);
        bool phone = phones.isEmpty() && owner.phone.isEmpty();
        for (const QString &p : phones)
            phone = phone || (!owner.phone.isEmpty() && e164Of(p.toUtf8(), iso) == owner.phone);
        phoneRight += phone;
        if (!phone)
            wrong << where + QStringLiteral(" phone \"") + owner.phone + QLatin1Char('"');
    }
    qInfo("found faxes %d: organisation right %d, without one %d; city right %d of %d; main "
          "phone right %d",
          found, orgRight, withoutOrg, cityRight, cities, phoneRight);
    if (!wrong.isEmpty())
        qInfo("wrong: %s", qPrintable(wrong.join(QStringLiteral("; "))));
    QVERIFY(found >= 96);
    QVERIFY(orgRight * 100 >= kOrganizationRight * found);
    QVERIFY(cityRight * 100 >= kCityRight * cities);
    QVERIFY(phoneRight * 100 >= kPhoneRight * found);
    QVERIFY(withoutOrg * 100 <= kWithoutOrganization * found);
}

QTEST_GUILESS_MAIN(TestOwnerCorpus)
#include "tst_ownercorpus.moc"
