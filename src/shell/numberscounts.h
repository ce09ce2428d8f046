#pragma once

#include "store.h"

#include <QObject>
#include <QThread>

#include <array>
#include <atomic>
#include <memory>

// A place the numbers come from: a region of North America, or a country elsewhere.
struct PlaceCount
{
    QString value; // the stored region, or the country's two-letter code
    qint64 count = 0;
    bool country = false;
};

// What the numbers window shows beside its table, each read over every stored number.
struct NumbersCounts
{
    enum Part
    {
        Panels = 1,  // per region and per search string, for the filter
        Choices = 2, // the filters' choices and the count of all numbers, for no filter
        Charts = 4,  // per day and per search string, for the filter
    };
    int parts = 0;
    // Per region, and for the numbers outside North America ("Unknown/International") per
    // country where it is known; the most numbers first.
    QList<PlaceCount> places;
    QList<ValueCount> searches;
    QList<ValueCount> locationChoices;
    QList<ValueCount> countryChoices;
    QList<ValueCount> searchChoices;
    QList<ValueCount> howChoices;
    qint64 stored = 0;
    QDate newest; // the day the newest number was found; null without numbers
    QList<DayCount> days;
    QList<SearchYield> yields;
    QString error; // empty when every part was read
};

// Reads the counts; a window's table stays usable meanwhile. With a store that can open a
// second connection, the reads run in a thread of their own on it; otherwise they run at
// once on the caller's store. Answers come in the order asked, each with its request number.
class BackgroundJobs;

class NumbersCounter : public QObject
{
    Q_OBJECT
public:
    explicit NumbersCounter(Store *store, QObject *parent = nullptr);
    ~NumbersCounter() override; // waits for a read in progress

    // Returns the request's number; counted() answers it.
    quint64 request(const FaxFilter &filter, int parts);
    static NumbersCounts read(Store &store, const FaxFilter &filter, int parts);

Q_SIGNALS:
    void counted(quint64 request, const NumbersCounts &counts);

private:
    Store *m_store;
    quint64 m_last = 0;
    BackgroundJobs *m_jobs = nullptr; // its thread owns the second connection
    Store *m_another = nullptr;       // the second connection, used on that thread only
    // The last request for each part, read by the thread to skip what was asked again.
    std::shared_ptr<std::array<std::atomic<quint64>, 3>> m_latest =
        std::make_shared<std::array<std::atomic<quint64>, 3>>();
};
