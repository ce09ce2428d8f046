#include "crawloptionsdialog.h"

#include "harvestpresenter.h"
#include "optioncontrol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The options that the harvest uses only in its modern mode ("Follow redirects (HTTPS)").
bool needsFollow(OptionId id)
{
    return id == OptionId::UserAgentText || id == OptionId::DownloadsPerSite ||
           id == OptionId::RespectRobots || id == OptionId::StopSiteAtFax;
}

} // namespace

std::vector<OptionId> CrawlOptionsDialog::options(const OptionTable &table)
{
    std::vector<OptionId> ids;
    for (const OptionRow &row : table) {
        if (row.place == OptionRow::Place::CrawlOptions)
            ids.push_back(row.id);
    }
    return ids;
}

CrawlOptionsDialog::CrawlOptionsDialog(HarvestPresenter *presenter, QWidget *parent)
    : QDialog(parent), m_presenter(presenter)
{
    setObjectName(QStringLiteral("frmCrawlOptions"));
    setWindowTitle(QStringLiteral("Crawl Options"));

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto *checks = new QVBoxLayout;
    const OptionTable &table = presenter->options()->table();
    // The values with a caption of their own first, then the check boxes.
    std::vector<const OptionRow *> rows;
    for (OptionId id : options(table))
        rows.push_back(presenter->options()->row(id));
    std::stable_sort(rows.begin(), rows.end(), [](const OptionRow *a, const OptionRow *b) {
        return (a->kind == OptionRow::Kind::Check) < (b->kind == OptionRow::Kind::Check);
    });
    for (const OptionRow *row : rows) {
        QWidget *control = OptionControl::make(this, *row);
        if (row->kind == OptionRow::Kind::Check) {
            checks->addWidget(control);
        } else {
            auto *caption = new QLabel(row->caption + QLatin1Char(':'), this);
            caption->setBuddy(control);
            form->addRow(caption, control);
        }
        if (auto *t = qobject_cast<QLineEdit *>(control))
            t->setPlaceholderText(QStringLiteral("empty: the program's own"));
        OptionControl::bind(control, presenter, row->id);
        m_controls.emplace_back(row->id, control);
    }

    m_followNote = new QLabel(
        QStringLiteral("Downloads per site, User-Agent and robots.txt apply while \"Follow "
                       "redirects (HTTPS)\" is on."),
        this);
    m_followNote->setObjectName(QStringLiteral("lblFollowNote"));
    m_followNote->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(checks);
    layout->addWidget(m_followNote);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(presenter, &HarvestPresenter::optionValueChanged, this, [this](OptionId id) {
        for (const auto &[option, control] : m_controls) {
            if (option == id)
                OptionControl::sync(control, m_presenter, id);
        }
        if (id == OptionId::FollowRedirects)
            followChanged();
    });
    followChanged();
    setMinimumWidth(440);
}

void CrawlOptionsDialog::followChanged()
{
    const bool follow = m_presenter->options()->isOn(OptionId::FollowRedirects);
    for (const auto &[id, control] : m_controls) {
        if (needsFollow(id))
            control->setEnabled(follow);
    }
}
