#include "discoveryrun.h"

#include "crawllimits.h"
#include "globals.h"
#include "options.h"
#include "settingsstore.h"

#include <QSysInfo>
#include <QUuid>

DiscoveryRun::DiscoveryRun(Store *store, Counters *counters, QObject *parent)
    : QObject(parent), m_store(store), m_counters(counters)
{
}

void DiscoveryRun::setListBuilder(ListBuilder *builder)
{
    if (m_builder)
        m_builder->disconnect(this);
    m_builder = builder;
    if (!builder)
        return;
    connect(builder, &ListBuilder::namesFound, this, &DiscoveryRun::namesFound);
    connect(builder, &ListBuilder::finished, this, [this](const DiscoveryOutcome &outcome) {
        // The team waits for the sites of this discovery no longer.
        m_store->discoveryDone();
        Q_EMIT finished(outcome);
    });
    connect(builder, &ListBuilder::unloaded, this, &DiscoveryRun::unloaded);
}

void DiscoveryRun::joinTeam(SettingsStore *settings, int leaseSeconds)
{
    if (!m_store->isShared())
        return;
    // This harvester is its data folder (which one program at a time may use): after a
    // restart it finds its own leases again.
    QString id = settings ? settings->read(QStringLiteral("harvesterId"), QString()) : QString();
    if (id.isEmpty()) {
        id = QSysInfo::machineHostName() + QLatin1Char('-') +
             QUuid::createUuid().toString(QUuid::Id128).left(12);
        if (settings)
            settings->write(QStringLiteral("harvesterId"), id);
    }
    m_store->setHarvester(id, leaseSeconds > 0 ? leaseSeconds : 180);
    // The team's totals add up what each harvester has done.
    auto report = [this] {
        m_store->setOwnCounts(m_counters->sitesScannedEver(), m_counters->numbersFoundEver());
    };
    connect(m_counters, &Counters::statsChanged, this, report);
    report();
}

std::optional<Store::SearchClaim> DiscoveryRun::claim(const QString &search)
{
    if (!m_store->isShared())
        return Store::SearchClaim::Discover;
    return m_store->claimSearch(search);
}

bool DiscoveryRun::teamWorksOn(const QString &search)
{
    return m_store->isShared() && m_store->teamStillWorking(search).value_or(false);
}

void DiscoveryRun::releaseClaim()
{
    // A team's claim lapses with its lease; said at once, the others need not wait.
    if (m_store->isShared())
        m_store->discoveryDone();
}

void DiscoveryRun::lookUp(const QString &search, const OptionValues &options,
                          const QString &dataDir)
{
    if (!m_builder)
        return;
    DiscoveryRequest request;
    request.search = search;
    request.addFax = options.isOn(OptionId::AddFaxToSearches);
    request.engine =
        optionRow(OptionId::SearchEngine).items.value(options.value(OptionId::SearchEngine));
    request.resultCountIndex = options.value(OptionId::ResultCount);
    request.dataDir = dataDir;
    request.tryNextEngine = options.isOn(OptionId::TryNextEngine);
    request.everyEnding = options.isOn(OptionId::EveryDomainEnding);
    m_builder->load(request);
    m_builder->show();
}

void DiscoveryRun::abandon()
{
    m_store->discoveryDone();
}

void DiscoveryRun::unload()
{
    if (m_builder && m_builder->isLoaded())
        m_builder->unload();
}

void DiscoveryRun::namesFound(const QStringList &names)
{
    // A refused write stops the harvest (Store::writeFailed).
    int kept = 0;
    for (QString site : names) {
        if (!CrawlLimits::lengthAcceptable(site))
            continue;
        (void)m_store->addWebsite(site);
        m_counters->add(Counters::SiteFound);
        ++kept;
    }
    Q_EMIT sitesQueued(kept);
}
