#pragma once

#include "crawllimits.h"

#include <QByteArray>

class OptionValues;

// How the harvest crawls, as the options say: built once from them and handed to the engine
// again whenever one of them changes.
struct CrawlPolicy
{
    // The reference crawl (plain HTTP, no User-Agent, no politeness) or the modern one
    // ("Follow redirects (HTTPS)"): redirects, TLS, a User-Agent, kept connections, per-host
    // politeness, robots.txt when asked for, web links only.
    enum class Mode
    {
        Reference,
        Modern
    };

    static constexpr int ReferenceSlots = 10;

    int slots = ReferenceSlots; // fetch slots in use
    int pagesPerSite = 50;      // CrawlLimits::NoPageLimit: none
    int downloadsPerSite = 2;   // at once, to one host (modern mode)
    Mode mode = Mode::Modern;
    bool robots = true;          // obey robots.txt (modern mode)
    QByteArray userAgent;        // the modern request's, ready to send
    bool allowLocal = false;     // connect to the user's own network too
    bool autoAdvance = false;    // move on after advanceAfter sites
    qint32 advanceAfter = 10000; // lAdvanceAfter
    // Contact pages first, and a site left at its fax (modern mode; off for a team's queue,
    // which keeps its own order).
    bool stopAtFax = false;

    // The policy the options give; before: the one they gave last (a choice left without a
    // pick keeps its number).
    static CrawlPolicy fromOptions(const OptionValues &options, const CrawlPolicy &before);

    bool modern() const { return mode == Mode::Modern; }
    bool obeysRobots() const { return modern() && robots; }
    bool contactFirst() const { return modern() && stopAtFax; }

    bool operator==(const CrawlPolicy &o) const
    {
        return slots == o.slots && pagesPerSite == o.pagesPerSite &&
               downloadsPerSite == o.downloadsPerSite && mode == o.mode && robots == o.robots &&
               userAgent == o.userAgent && allowLocal == o.allowLocal &&
               autoAdvance == o.autoAdvance && advanceAfter == o.advanceAfter &&
               stopAtFax == o.stopAtFax;
    }
    bool operator!=(const CrawlPolicy &o) const { return !(*this == o); }
};
