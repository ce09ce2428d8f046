#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>

class EngineRestStore;

// Search engines that refuse a search are not asked again for a while: each kind of refusal
// rests the engine for the time its definition gives (a captcha for a day, "too many
// requests" for an hour). The rests are kept where the harvest keeps its data, so that they
// hold across runs and for every harvester of a team.
namespace EngineRests {

enum class Kind
{
    Captcha,         // a captcha, a challenge or a consent wall in place of the results
    TooManyRequests, // HTTP 429 or 503: asked too often
    Forbidden,       // HTTP 403, a blocked address or country
    NoAnswer         // no page at all
};

// The key of a kind in definitions and in the store ("captcha", "tooManyRequests",
// "forbidden", "noAnswer"), and the kind of a key.
QString key(Kind kind);
std::optional<Kind> kindOfKey(const QString &key);
// In words for the status: "CAPTCHA", "too many requests", "forbidden", "no answer".
QString label(Kind kind);
// The rest a definition gives a kind when it says nothing: 24 h, 1 h, 6 h and 10 min.
qint64 defaultSeconds(Kind kind);

struct Rest
{
    QString engine; // the engine's name ("bing")
    Kind kind = Kind::Captcha;
    QDateTime until;
    QString reason; // why the engine refused, in words
};

// "14:05" on the day of now, "6 Mar 14:05" on another day; local time.
QString untilText(const QDateTime &until, const QDateTime &now);
// "refused (CAPTCHA), resting until 14:05", "no answer, resting until 14:05".
QString stateText(const Rest &rest, const QDateTime &now);

// Where rests are kept. now() is the clock the rests are measured by.
class Book
{
public:
    virtual ~Book() = default;
    virtual QDateTime now() const = 0;
    // The rests that have not ended yet, by engine name; nothing when they cannot be read.
    virtual std::optional<QHash<QString, Rest>> current() = 0;
    // Rests the engine until rest.until, in place of any rest it had.
    virtual bool rest(const Rest &rest) = 0;
    // Ends the engine's rest; true also when it had none.
    virtual bool wake(const QString &engine) = 0;
};

// The rests kept in the harvest's store (not owned; it must outlive the book), measured by
// the store's clock.
class StoreBook : public Book
{
public:
    explicit StoreBook(EngineRestStore *store) : m_store(store) {}
    QDateTime now() const override;
    std::optional<QHash<QString, Rest>> current() override;
    bool rest(const Rest &rest) override;
    bool wake(const QString &engine) override;

private:
    EngineRestStore *m_store;
};

} // namespace EngineRests
