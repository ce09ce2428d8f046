// The fax numbers of 72 real contact pages (tests/corpus/contact-pages), scored strictly: a
// find counts only when every digit of its full international form is right, a number
// found twice counts once, and any other find of a page is a wrong find.

#include "faxfinder.h"
#include "pagetext.h"
#include "phonereading.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTest>

namespace {

// The figures reached; the test fails when the finder does worse.
constexpr int kNorthAmericanFound = 51;
constexpr int kOtherFound = 48;
constexpr int kWrongAllowed = 0;

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

} // namespace

class TestFaxCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void strictScore_holds();
    void finderKeepsEveryValidReferenceFind();
};

void TestFaxCorpus::strictScore_holds()
{
    const QDir dir(QStringLiteral(VARNEL_CONTACT_PAGES));
    const QList<QByteArrayList> truth = readTsv(dir.filePath(QStringLiteral("truth.tsv")));
    const QList<QByteArrayList> notes = readTsv(dir.filePath(QStringLiteral("notes.tsv")));
    QCOMPARE(truth.size(), 72);
    QCOMPARE(notes.size(), 72);
    QHash<QByteArray, QByteArray> countries; // page -> ISO codes of its numbers
    for (const QByteArrayList &n : notes)
        countries.insert(n.value(0), n.value(1));

    int northAmerican = 0, other = 0, naFound = 0, otherFound = 0;
    QStringList wrong, missed;
    for (const QByteArrayList &t : truth) {
        const QByteArray page = t.value(0);
        // The full international form of each labelled number, read with its own country;
        // numbers written without a complete one (a shared area code, a placeholder) are
        // not counted.
        QHash<QString, bool> expected; // E.164 -> North American
        const QByteArrayList numbers = t.value(2) == "-" ? QByteArrayList() : t.value(2).split(';');
        const QByteArrayList isoCodes = countries.value(page).split(';');
        QCOMPARE(numbers.size(), t.value(2) == "-" ? 0 : isoCodes.size());
        for (int i = 0; i < numbers.size(); ++i) {
            const QByteArray iso = isoCodes.value(i).trimmed();
            QByteArray written; // full-width digits and dashes as the finder reads them
            appendNumberText(written, numbers[i].trimmed());
            const PhoneReading r = readPhoneNumber(written, [&] { return iso; });
            if (r.valid)
                expected.insert(r.e164, iso == "US" || iso == "CA");
        }
        for (bool na : expected)
            (na ? northAmerican : other) += 1;

        QFile f(dir.filePath(QString::fromLatin1(page)));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        FinderInput in;
        in.allowInternational = true;
        QSet<QString> finds;
        for (const FoundNumber &find : findFaxNumbers(f.readAll(), in))
            finds.insert(find.e164.isEmpty() ? find.number : find.e164);
        for (const QString &e : qAsConst(finds)) {
            if (!expected.contains(e))
                wrong << QString::fromLatin1(page) + QLatin1Char(' ') + e;
            else
                (expected.value(e) ? naFound : otherFound) += 1;
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (!finds.contains(it.key()))
                missed << QString::fromLatin1(page) + QLatin1Char(' ') + it.key();
        }
    }
    qInfo("North American %d of %d, other %d of %d, wrong finds %d", naFound, northAmerican,
          otherFound, other, int(wrong.size()));
    if (!missed.isEmpty())
        qInfo("missed: %s", qPrintable(missed.join(QStringLiteral(", "))));
    if (!wrong.isEmpty())
        qInfo("wrong: %s", qPrintable(wrong.join(QStringLiteral(", "))));
    QCOMPARE(northAmerican, 51);
    QCOMPARE(other, 49);
    QVERIFY(naFound >= kNorthAmericanFound);
    QVERIFY(otherFound >= kOtherFound);
    QVERIFY(wrong.size() <= kWrongAllowed);
}

void TestFaxCorpus::finderKeepsEveryValidReferenceFind()
{
    const QDir dir(QStringLiteral(VARNEL_CONTACT_PAGES));
    int kept = 0;
    for (const QString &name : dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray page = f.readAll();
        for (bool intl : {false, true}) {
            FinderInput in;
            in.allowInternational = intl;
            QSet<QString> on;
            for (const FoundNumber &find : findFaxNumbers(page, in))
                on.insert(find.e164);
            in.findBeyondFaxLine = false;
            for (const FoundNumber &find : findFaxNumbers(page, in)) {
                if (find.e164.isEmpty() || (!intl && !find.e164.startsWith(QLatin1String("+1"))))
                    continue;
                QVERIFY2(on.contains(find.e164), qPrintable(name + QLatin1Char(' ') + find.number));
                ++kept;
            }
        }
    }
    QVERIFY(kept >= 30);
}

QTEST_GUILESS_MAIN(TestFaxCorpus)
#include "tst_faxcorpus.moc"
