#pragma once

#include "options.h"

#include <QDialog>
#include <vector>

class HarvestPresenter;
class QLabel;

// "Crawl Options": the options of how the harvest downloads (parallel downloads, pages per
// site, downloads per site, the User-Agent, robots.txt, local network addresses), each with
// its caption and value whole. Opened from the main window's Options frame, without
// modality; a change is written through at once, as in the main window. The options that
// apply only while "Follow redirects (HTTPS)" is on are disabled while it is off.
class CrawlOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    // presenter (not owned) must outlive the dialog.
    explicit CrawlOptionsDialog(HarvestPresenter *presenter, QWidget *parent = nullptr);

    // The options of the dialog, in the table's order.
    static std::vector<OptionId> options(const OptionTable &table);

private:
    void followChanged();

    HarvestPresenter *m_presenter;
    std::vector<std::pair<OptionId, QWidget *>> m_controls;
    QLabel *m_followNote = nullptr;
};
