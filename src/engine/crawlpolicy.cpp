#include "crawlpolicy.h"

#include "options.h"
#include "useragent.h"

static_assert(OptionRow::NoLimit == CrawlLimits::NoPageLimit,
              "\"No limit\" of the option means no limit to the crawl");

CrawlPolicy CrawlPolicy::fromOptions(const OptionValues &options, const CrawlPolicy &before)
{
    CrawlPolicy policy;
    policy.slots = options.picked(OptionId::ParallelDownloads).value_or(ReferenceSlots);
    policy.pagesPerSite = options.picked(OptionId::PagesPerSite).value_or(CrawlLimits::NoPageLimit);
    policy.downloadsPerSite = options.value(OptionId::DownloadsPerSite);
    policy.mode = options.isOn(OptionId::FollowRedirects) ? Mode::Modern : Mode::Reference;
    policy.robots = options.isOn(OptionId::RespectRobots);
    policy.userAgent = UserAgent::sanitized(options.text(OptionId::UserAgentText));
    policy.allowLocal = options.isOn(OptionId::AllowLocal);
    policy.autoAdvance = options.isOn(OptionId::AutoAdvance);
    // Text typed into the choice picks nothing and leaves the number as it was.
    policy.advanceAfter = options.picked(OptionId::AdvanceAfter).value_or(before.advanceAfter);
    policy.stopAtFax = options.isOn(OptionId::StopSiteAtFax);
    return policy;
}
