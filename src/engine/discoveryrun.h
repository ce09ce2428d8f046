#pragma once

#include "listbuilder.h"
#include "store.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class Counters;
class OptionValues;
class SettingsStore;

// Finding sites for a search string: the list builder's run (loaded, shown, its names
// queued as they come, its outcome told) and a team's claim of the search string, so that
// only the harvester that begins a team's queue looks for its sites.
//
// The store and counters belong to the harvest and outlive the run; the list builder is the
// caller's (a seam; null allowed: a run then waits until it is ended).
class DiscoveryRun : public QObject
{
    Q_OBJECT
public:
    DiscoveryRun(Store *store, Counters *counters, QObject *parent = nullptr);

    void setListBuilder(ListBuilder *builder);
    ListBuilder *listBuilder() const { return m_builder; }

    // On a shared store: this harvester joins the team under the name its data folder keeps
    // (settings, may be null), its leases lasting leaseSeconds (0: three minutes), and its
    // counts are told to the team from now on. Nothing without a team.
    void joinTeam(SettingsStore *settings, int leaseSeconds);
    // Where a start for search goes on a shared store: Join a teammate's queue, or Discover
    // (always without a team). Nothing when the store failed (it said why).
    std::optional<Store::SearchClaim> claim(const QString &search);
    // A teammate still works on the queue of search (never without a team; a store that
    // cannot be read counts as no).
    bool teamWorksOn(const QString &search);
    // A claim given up before its run began: the team need not wait for it.
    void releaseClaim();

    // The list builder looks for sites for search as the options say (nothing without one).
    void lookUp(const QString &search, const OptionValues &options, const QString &dataDir);
    // A run ends before its outcome: the team waits for it no longer.
    void abandon();
    // The list builder's window goes (when it is loaded).
    void unload();

Q_SIGNALS:
    // The run's outcome; the team has been told.
    void finished(const DiscoveryOutcome &outcome);
    // Names the list builder found went into the backlog (so many were fit to).
    void sitesQueued(int sites);
    // The list builder was unloaded: closed mid-run, or the run gave up.
    void unloaded();

private:
    void namesFound(const QStringList &names);

    Store *m_store;
    Counters *m_counters;
    ListBuilder *m_builder = nullptr;
};
