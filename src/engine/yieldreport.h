#pragma once

#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>

// What each search string yielded: the sites its discovery found, the numbers read on its
// pages (each once) and how many of those the store did not hold yet. A search split by
// place shows here where the yield dries up: the later places find the same businesses,
// and their share of new numbers falls.
//
// The session tells it when a search begins, what it finds, and when the search is over
// (its queue ran dry, Next, or too few results); finished() then gives the tally.
class YieldReport : public QObject
{
    Q_OBJECT
public:
    struct Tally
    {
        QString search;
        int sites = 0;      // sites its discovery found
        int numbers = 0;    // numbers read on its pages, each once
        int newNumbers = 0; // of those, the ones the store did not hold yet
        int rendered = 0;   // pages rendered because they needed JavaScript
    };

    explicit YieldReport(QObject *parent = nullptr) : QObject(parent) {}

    // A search begins, or goes on (a resume, the crawl after discovery): a search other than
    // the open one ends that one unreported and opens a tally of its own.
    void begin(const QString &search);
    void sitesFound(int count);
    void numberRead(const QString &number, bool isNew);
    void pageRendered();
    // The open search is over: finished() with its tally; nothing when none is open.
    void finish();

    bool isOpen() const { return m_open; }
    Tally current() const { return m_tally; }

    // "plumber Springfield: 12 sites, 5 numbers, 3 new (60%)"
    static QString text(const Tally &tally);

Q_SIGNALS:
    void finished(const YieldReport::Tally &tally);

private:
    bool m_open = false;
    Tally m_tally;
    QSet<QString> m_numbers;
};

Q_DECLARE_METATYPE(YieldReport::Tally)
