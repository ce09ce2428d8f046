#pragma once

#include <QString>

// What the harvest is doing, for one of the status panel's four lines: a kind, with what it
// is about. The session says it; the presenter words it.
struct HarvestActivity
{
    enum class Kind
    {
        None,
        // What the slots do
        Downloading, // subject: the address, with its scheme
        Receiving,   // subject: host and path; count: the body's bytes so far
        Finished,    // subject: host and path
        Stopped,
        LookingUpSites, // subject: the search string
        // The step of the page at hand
        SavingPage,
        GettingLinks,
        GettingFaxes,
        NoMoreSites,
        NotEnoughResults, // subject: why, as the list builder says (may be empty)
        StoreUnreadable,
        StoreUnwritable,
        // The outcome so far
        FoundFaxes, // count: the numbers stored since start-up
        TryDifferentSearch,
        AddMoreSearches,
        TryingNextSearch,
        StoreProblem, // subject: the reason, as the store gives it
        // The fourth line, which only a stop clears
        SitesFoundWith, // subject: the search engine
    };

    Kind kind = Kind::None;
    QString subject;
    qint64 count = 0;

    static HarvestActivity of(Kind kind, const QString &subject = QString(), qint64 count = 0)
    {
        HarvestActivity a;
        a.kind = kind;
        a.subject = subject;
        a.count = count;
        return a;
    }
    bool operator==(const HarvestActivity &o) const
    {
        return kind == o.kind && subject == o.subject && count == o.count;
    }
    bool operator!=(const HarvestActivity &o) const { return !(*this == o); }
};
