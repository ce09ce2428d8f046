#include "options.h"

#include "settingsstore.h"

namespace {

OptionTable buildTable()
{
    using Id = OptionId;
    using Place = OptionRow::Place;
    OptionTable t;
    // The engines of discovery's engine table, in its order (a test holds the two together).
    t.push_back(OptionRow::choice(Id::SearchEngine, "Combo1", "Which Search Type?",
                                  {QStringLiteral("Google Search"), QStringLiteral("Yahoo Search"),
                                   QStringLiteral("Brave Search"), QStringLiteral("Mojeek"),
                                   QStringLiteral("Bing"), QStringLiteral("DuckDuckGo"),
                                   QStringLiteral("Startpage"), QStringLiteral("Ecosia")},
                                  -1)
                    .at(Place::SearchEngine)
                    .flag("engine", {QStringLiteral("google"), QStringLiteral("yahoo"),
                                     QStringLiteral("brave"), QStringLiteral("mojeek"),
                                     QStringLiteral("bing"), QStringLiteral("duckduckgo"),
                                     QStringLiteral("startpage"), QStringLiteral("ecosia")}));
    t.push_back(
        OptionRow::choice(Id::ResultCount, "Combo2", "How Many Results?",
                          {QStringLiteral("~100 Domains"), QStringLiteral("~200 Domains"),
                           QStringLiteral("~500 Domains"), QStringLiteral("~1000 Domains"),
                           QStringLiteral("~5000 Domains"), QStringLiteral("~10000 Domains")},
                          -1)
            .at(Place::ResultCount)
            .flag("results",
                  {QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("500"),
                   QStringLiteral("1000"), QStringLiteral("5000"), QStringLiteral("10000")}));
    t.push_back(OptionRow::check(Id::AutoAdvance, "chkAuto", "Enable", 0)
                    .tip(QStringLiteral("Click to enable Auto Search Advance"))
                    .at(Place::AutoAdvance));
    t.push_back(OptionRow::check(Id::AddFaxToSearches, "chkAddFax", "Add \"fax\" to searches", 1)
                    .tip(QStringLiteral("Adds the word \"fax\" to all your searches"))
                    .flag("add-fax"));
    t.push_back(OptionRow::check(Id::AllowInternational, "chkNonUS", "Allow International", 1)
                    .tip(QStringLiteral("Allows Non-US numbers"))
                    .flag("intl"));
    t.push_back(
        OptionRow::check(Id::SoundOnFaxFound, "chkAudioEmail", "On Fax Found", 1).at(Place::Audio));
    t.push_back(OptionRow::check(Id::SoundOnNextSearch, "chkAudioNext", "On Next Search", 1)
                    .at(Place::Audio));
    t.push_back(OptionRow::check(Id::SoundOnFinished, "chkAudioFinished", "On Finished", 1)
                    .at(Place::Audio));
    t.push_back(OptionRow::check(Id::FollowRedirects, "chkFollow", "Follow redirects (HTTPS)", 1)
                    .tip(QStringLiteral("Follow a moved page to its new address, secure (HTTPS) "
                                        "sites included"))
                    .flag("follow"));
    // Kept on purpose (tst_session storedOptions): the two choices below show their object
    // names as their captions until a pick.
    t.push_back(OptionRow::choice(Id::AdvanceAfter, "cmbAdvance", "cmbAdvance",
                                  {QStringLiteral("1,000"), QStringLiteral("5,000"),
                                   QStringLiteral("10,000"), QStringLiteral("20,000"),
                                   QStringLiteral("50,000"), QStringLiteral("100,000"),
                                   QStringLiteral("200,000"), QStringLiteral("500,000")},
                                  2)
                    .meaning({1000, 5000, 10000, 20000, 50000, 100000, 200000, 500000})
                    .range(0, 7)
                    .at(Place::AdvanceAfter));
    t.push_back(OptionRow::choice(
                    Id::AfterLastSearch, "cmbLastSearch", "cmbLastSearch",
                    {QStringLiteral("Stop Immediately"), QStringLiteral("Continue Until Stopped")},
                    0)
                    // Kept on purpose (tst_session optionHandlersWriteThrough): text typed
                    // into this choice is stored as -1, into the others not at all.
                    .keepUnpicked()
                    .at(Place::AfterLastSearch)
                    .flag("last-search", {QStringLiteral("stop"), QStringLiteral("continue")}));
    // Off, the fax numbers are those of the fax line scan alone, as the reference takes them.
    t.push_back(OptionRow::check(Id::FindBeyondFaxLine, "chkFinder",
                                 "Find fax numbers beyond the fax line", 1)
                    .tip(QStringLiteral("Also find numbers labelled in a table cell, a heading, "
                                        "after the number, in other languages, and in the "
                                        "page's structured data"))
                    .at(Place::Across)
                    .clearingFlag("literal"));
    // Off, a run stays with the engine picked, as it always did.
    t.push_back(OptionRow::check(Id::TryNextEngine, "chkNextEngine",
                                 "Try the next engine when one is blocked", 1)
                    .tip(QStringLiteral("When the search engine refuses the search or does not "
                                        "answer, go on with the next engine of the list at the "
                                        "same result"))
                    .at(Place::Across)
                    .flag("next-engine"));
    // Off, only .com, .net, .org and .gov sites are found, named without their first label.
    t.push_back(
        OptionRow::check(Id::EveryDomainEnding, "chkAllEndings", "Accept every domain ending", 0)
            .tip(QStringLiteral("Find sites of every country and domain ending, each "
                                "named by its registrable domain (example.co.uk)"))
            .at(Place::Across)
            .flag("all-endings"));
    // Off, "View Fax Database" opens the data folder in the file manager, as it always did;
    // on, the numbers window offers the folder through a button of its own.
    t.push_back(
        OptionRow::check(Id::NumbersWindow, "chkNumbersWindow", "View numbers in a window", 1)
            .at(Place::SettingsOnly));
    t.push_back(OptionRow::choice(Id::ParallelDownloads, "cmbParallel", "Parallel downloads",
                                  {QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("50"),
                                   QStringLiteral("100")},
                                  0)
                    .meaning({10, 20, 50, 100})
                    .range(0, 3)
                    .tip(QStringLiteral("How many pages are downloaded at the same time"))
                    .at(Place::CrawlOptions)
                    .flag("parallel", {QStringLiteral("10"), QStringLiteral("20"),
                                       QStringLiteral("50"), QStringLiteral("100")}));
    t.push_back(OptionRow::choice(Id::PagesPerSite, "cmbPagesPerSite", "Pages per site",
                                  {QStringLiteral("50"), QStringLiteral("200"),
                                   QStringLiteral("1,000"), QStringLiteral("No limit")},
                                  1)
                    .meaning({50, 200, 1000, OptionRow::NoLimit})
                    .range(0, 3)
                    .tip(QStringLiteral("Pages taken from one website in a search; a site that "
                                        "makes up endless pages cannot hold the harvest"))
                    .at(Place::CrawlOptions)
                    .flag("pages-per-site", {QStringLiteral("50"), QStringLiteral("200"),
                                             QStringLiteral("1000"), QStringLiteral("none")}));
    t.push_back(
        OptionRow::check(Id::AllowLocal, "chkAllowLocal", "Allow local network addresses", 0)
            .tip(QStringLiteral("Also read pages on this computer and in your own "
                                "network (for harvesting an intranet)"))
            .at(Place::CrawlOptions)
            .flag("allow-local"));
    // Empty: the program's own.
    t.push_back(OptionRow::text(Id::UserAgentText, "txtUserAgent", "User-Agent", QString())
                    .tip(QStringLiteral("The name the harvest gives itself to web servers when "
                                        "\"Follow redirects (HTTPS)\" is on"))
                    .at(Place::CrawlOptions)
                    .flag("user-agent"));
    t.push_back(OptionRow::number(Id::DownloadsPerSite, "txtPerSite", "Downloads per site", 2, 1, 4)
                    .tip(QStringLiteral("How many pages of one website are downloaded at the "
                                        "same time when \"Follow redirects (HTTPS)\" is on"))
                    .at(Place::CrawlOptions)
                    .flag("per-site"));
    t.push_back(OptionRow::check(Id::RespectRobots, "chkRobots", "Respect robots.txt", 1)
                    .tip(QStringLiteral("Read each website's robots.txt once per search and leave "
                                        "the pages it forbids, when \"Follow redirects (HTTPS)\" "
                                        "is on"))
                    .at(Place::CrawlOptions)
                    .flag("robots"));
    // Off, every page of a site is read in the order its links were found, as always.
    t.push_back(
        OptionRow::check(Id::StopSiteAtFax, "chkStopAtFax", "Stop a site once its fax is found", 1)
            .tip(QStringLiteral("Read each website's contact pages first, and leave the "
                                "rest of the site once a fax number is found, when "
                                "\"Follow redirects (HTTPS)\" is on"))
            .at(Place::CrawlOptions)
            .flag("stop-at-fax"));
    // Off, the window's option lists take typed text as the original window's did (what is
    // typed shows and picks nothing).
    t.push_back(OptionRow::check(Id::FixedChoices, "chkFixedChoices",
                                 "Option lists are picked from, not typed into", 1)
                    .at(Place::SettingsOnly));
    // Off, "View Fax Database" and "Export Numbers to List" wait for the harvest to stop, as
    // they always did; on, they open beside it (an export then deletes nothing).
    t.push_back(OptionRow::check(Id::BesideHarvest, "chkBesideHarvest",
                                 "Numbers window and export during a harvest", 1)
                    .at(Place::SettingsOnly));
    // Off, a page is read as its server sent it, as it always was.
    t.push_back(OptionRow::check(Id::RenderScripts, "chkRenderScripts",
                                 "Render pages that need JavaScript", 0)
                    .tip(QStringLiteral("A page whose text and links a script builds is shown in "
                                        "a hidden browser (the program varnel-render) and read "
                                        "as shown; slower, and only such pages"))
                    .at(Place::CrawlOptions)
                    .flag("render"));
    return t;
}

} // namespace

// ---- rows --------------------------------------------------------------------------------

OptionRow OptionRow::check(OptionId id, const char *key, const char *caption, int defaultValue)
{
    OptionRow r;
    r.id = id;
    r.kind = Kind::Check;
    r.key = r.objectName = QString::fromLatin1(key);
    r.caption = QString::fromLatin1(caption);
    r.defaultValue = defaultValue;
    r.minimum = 0;
    r.maximum = 1;
    return r;
}

OptionRow OptionRow::choice(OptionId id, const char *key, const char *caption,
                            const QStringList &items, int defaultValue)
{
    OptionRow r = check(id, key, caption, defaultValue);
    r.kind = Kind::Choice;
    r.items = items;
    r.minimum = -1;
    r.maximum = int(items.size()) - 1;
    return r;
}

OptionRow OptionRow::number(OptionId id, const char *key, const char *caption, int defaultValue,
                            int minimum, int maximum)
{
    OptionRow r = check(id, key, caption, defaultValue);
    r.kind = Kind::Number;
    return r.range(minimum, maximum);
}

OptionRow OptionRow::text(OptionId id, const char *key, const char *caption,
                          const QString &defaultText)
{
    OptionRow r = check(id, key, caption, 0);
    r.kind = Kind::Text;
    r.defaultText = defaultText;
    return r;
}

OptionRow &OptionRow::tip(const QString &text)
{
    tooltip = text;
    return *this;
}

OptionRow &OptionRow::at(Place where)
{
    place = where;
    return *this;
}

OptionRow &OptionRow::flag(const char *name, const QStringList &values)
{
    toolFlag = QString::fromLatin1(name);
    toolValues = values;
    return *this;
}

OptionRow &OptionRow::clearingFlag(const char *name)
{
    toolFlag = QString::fromLatin1(name);
    toolFlagClears = true;
    return *this;
}

OptionRow &OptionRow::range(int min, int max)
{
    minimum = min;
    maximum = max;
    return *this;
}

OptionRow &OptionRow::meaning(const QList<int> &itemValues)
{
    values = itemValues;
    return *this;
}

OptionRow &OptionRow::keepUnpicked()
{
    storesUnpicked = true;
    return *this;
}

const OptionTable &optionTable()
{
    static const OptionTable table = buildTable();
    return table;
}

const OptionRow &optionRow(OptionId id)
{
    return optionTable().at(size_t(id));
}

// ---- values ------------------------------------------------------------------------------

OptionValues::OptionValues(SettingsStore *settings, const OptionTable &table, QObject *parent)
    : QObject(parent), m_settings(settings), m_table(table)
{
    for (const OptionRow &r : m_table) {
        m_values.push_back(r.defaultValue);
        m_texts.push_back(r.defaultText);
    }
}

int OptionValues::indexOf(OptionId id) const
{
    // The program's table is in OptionId order; other tables are searched.
    const size_t i = size_t(id);
    if (i < m_table.size() && m_table[i].id == id)
        return int(i);
    for (size_t k = 0; k < m_table.size(); ++k) {
        if (m_table[k].id == id)
            return int(k);
    }
    return -1;
}

const OptionRow *OptionValues::row(OptionId id) const
{
    const int i = indexOf(id);
    return i < 0 ? nullptr : &m_table[size_t(i)];
}

int OptionValues::value(OptionId id) const
{
    const int i = indexOf(id);
    return i < 0 ? 0 : m_values[size_t(i)];
}

std::optional<int> OptionValues::picked(OptionId id) const
{
    const OptionRow *r = row(id);
    const int pick = value(id);
    if (!r || pick < 0 || pick >= r->values.size())
        return std::nullopt;
    return r->values[pick];
}

QString OptionValues::text(OptionId id) const
{
    const int i = indexOf(id);
    return i < 0 ? QString() : m_texts[size_t(i)];
}

void OptionValues::assign(int index, int value)
{
    int &v = m_values[size_t(index)];
    if (v == value)
        return;
    v = value;
    Q_EMIT changed(m_table[size_t(index)].id);
}

void OptionValues::write(const OptionRow &row, const QString &value)
{
    if (m_settings)
        m_settings->write(row.key, value);
}

void OptionValues::load()
{
    for (size_t i = 0; i < m_table.size(); ++i) {
        const OptionRow &r = m_table[i];
        if (r.kind == OptionRow::Kind::Text) {
            const QString t = m_settings ? m_settings->read(r.key, r.defaultText) : r.defaultText;
            if (t != m_texts[i]) {
                m_texts[i] = t;
                Q_EMIT changed(r.id);
            }
            continue;
        }
        assign(int(i), m_settings ? m_settings->readInt(r.key, r.defaultValue, r.minimum, r.maximum)
                                  : r.defaultValue);
    }
}

bool OptionValues::set(OptionId id, int value)
{
    const int i = indexOf(id);
    if (i < 0)
        return false;
    const OptionRow &r = m_table[size_t(i)];
    if (r.kind == OptionRow::Kind::Text || value < r.minimum || value > r.maximum)
        return false;
    if (r.kind == OptionRow::Kind::Choice && value < 0)
        return false;
    write(r, QString::number(value));
    assign(i, value);
    return true;
}

bool OptionValues::setText(OptionId id, const QString &text)
{
    const int i = indexOf(id);
    if (i < 0 || m_table[size_t(i)].kind != OptionRow::Kind::Text)
        return false;
    write(m_table[size_t(i)], text);
    if (m_texts[size_t(i)] != text) {
        m_texts[size_t(i)] = text;
        Q_EMIT changed(id);
    }
    return true;
}

void OptionValues::unpick(OptionId id)
{
    const int i = indexOf(id);
    if (i < 0 || m_table[size_t(i)].kind != OptionRow::Kind::Choice)
        return;
    if (m_table[size_t(i)].storesUnpicked)
        write(m_table[size_t(i)], QStringLiteral("-1"));
    assign(i, -1);
}

// ---- command-line flags ------------------------------------------------------------------

namespace OptionFlags {

QString usage(const OptionTable &table)
{
    QStringList parts;
    for (const OptionRow &r : table) {
        if (r.toolFlag.isEmpty())
            continue;
        const QString flag = QStringLiteral("--") + r.toolFlag;
        switch (r.kind) {
        case OptionRow::Kind::Check:
            parts << QStringLiteral("[%1|--no-%2]").arg(flag, r.toolFlag);
            break;
        case OptionRow::Kind::Choice:
            parts << QStringLiteral("[%1 %2]").arg(flag, r.toolValues.join(QLatin1Char('|')));
            break;
        case OptionRow::Kind::Number:
            parts << QStringLiteral("[%1 N]").arg(flag);
            break;
        case OptionRow::Kind::Text:
            parts << QStringLiteral("[%1 TEXT]").arg(flag);
            break;
        }
    }
    return parts.join(QLatin1Char(' '));
}

QList<Flag> flags(const OptionTable &table)
{
    QList<Flag> out;
    for (const OptionRow &r : table) {
        if (r.toolFlag.isEmpty())
            continue;
        if (r.kind == OptionRow::Kind::Check) {
            out.append({r.toolFlag, false});
            out.append({QStringLiteral("no-") + r.toolFlag, false});
        } else {
            out.append({r.toolFlag, true});
        }
    }
    return out;
}

bool read(const QString &name, const QString &v, Setting *setting, QString *error,
          const OptionTable &table)
{
    for (const OptionRow &r : table) {
        if (r.toolFlag.isEmpty())
            continue;
        const QString flag = QStringLiteral("--") + r.toolFlag;
        setting->id = r.id;
        if (r.kind == OptionRow::Kind::Check) {
            if (name != r.toolFlag && name != QStringLiteral("no-") + r.toolFlag)
                continue;
            setting->value = (name == r.toolFlag) != r.toolFlagClears ? 1 : 0;
            return true;
        }
        if (name != r.toolFlag)
            continue;
        switch (r.kind) {
        case OptionRow::Kind::Choice:
            setting->value = int(r.toolValues.indexOf(v));
            if (setting->value < 0) {
                *error = r.toolValues.size() == 2
                             ? QStringLiteral("%1 is %2 or %3")
                                   .arg(flag, r.toolValues.at(0), r.toolValues.at(1))
                             : QStringLiteral("%1 is one of %2")
                                   .arg(flag, r.toolValues.join(QStringLiteral(", ")));
            }
            break;
        case OptionRow::Kind::Number: {
            bool ok = false;
            setting->value = v.toInt(&ok);
            if (!ok || setting->value < r.minimum || setting->value > r.maximum)
                *error = QStringLiteral("%1 is a number from %2 to %3")
                             .arg(flag)
                             .arg(r.minimum)
                             .arg(r.maximum);
            break;
        }
        case OptionRow::Kind::Text:
            setting->text = v;
            break;
        case OptionRow::Kind::Check:
            break;
        }
        return true;
    }
    return false;
}

bool parse(const QStringList &args, int *i, Setting *setting, QString *error,
           const OptionTable &table)
{
    const QString a = args.value(*i);
    if (!a.startsWith(QLatin1String("--")))
        return false;
    const QString name = a.mid(2);
    bool withValue = false;
    bool known = false;
    for (const Flag &f : flags(table)) {
        if (f.name == name) {
            known = true;
            withValue = f.takesValue;
        }
    }
    if (!known)
        return false;
    if (withValue && *i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value").arg(a);
        return true;
    }
    return read(name, withValue ? args.at(++*i) : QString(), setting, error, table);
}

void apply(OptionValues &values, const Setting &setting)
{
    const OptionRow *r = values.row(setting.id);
    if (r && r->kind == OptionRow::Kind::Text)
        values.setText(setting.id, setting.text);
    else
        values.set(setting.id, setting.value);
}

} // namespace OptionFlags
