#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class SettingsStore;

// Every option the user can set. The table in options.cpp describes each one (settings key,
// control, caption, default, range, command-line flag); an option is a row there plus the
// code that acts on its value.
enum class OptionId
{
    SearchEngine,       // which search engine discovery asks
    ResultCount,        // how many domain names discovery collects
    AutoAdvance,        // move to the next search string after AdvanceAfter sites
    AddFaxToSearches,   // append " fax" to every query
    AllowInternational, // keep numbers outside North America
    SoundOnFaxFound,
    SoundOnNextSearch,
    SoundOnFinished,
    FollowRedirects,   // follow 3xx answers, HTTPS included
    AdvanceAfter,      // sites per search string before AutoAdvance moves on
    AfterLastSearch,   // stop, or keep running idle, when the last queue runs dry
    FindBeyondFaxLine, // the fax finder beside the fax line scan
    TryNextEngine,     // a search engine that refuses gives way to the next one
    EveryDomainEnding, // discovery keeps every domain ending, by the Public Suffix List
    NumbersWindow,     // "View Fax Database" shows the numbers in a window, not the folder
    ParallelDownloads, // fetch slots: 10 (the original count), 20, 50 or 100
    PagesPerSite,      // pages queued from one host in a search: 50, 200, 1,000 or no limit
    AllowLocal,        // connect to loopback, private and link-local addresses too
    UserAgentText,     // the User-Agent of the modern mode; empty: the program's own
    DownloadsPerSite,  // downloads to one host at once in the modern mode, 1 to 4
    RespectRobots,     // read and obey robots.txt in the modern mode
    StopSiteAtFax,     // the modern mode reads contact pages first and leaves a site at its fax
    FixedChoices,      // the window's option lists are picked from, never typed into
    BesideHarvest,     // the numbers window and an export are at hand during a harvest
    RenderScripts,     // pages whose body a script builds are rendered before they are read
};

// One row of the option table.
struct OptionRow
{
    enum class Kind
    {
        Check,  // a check box: 0 or 1
        Choice, // a drop-down list: the index of the picked item, -1 for none
        Number, // a number within [minimum, maximum]
        Text,   // free text
    };
    // Where the main window shows the control. The order here is the order the controls
    // are created in (and tabbed through); rows of one place stack in table order.
    enum class Place
    {
        SearchEngine,
        ResultCount,
        AutoAdvance,
        AdvanceAfter,
        AfterLastSearch,
        Audio,
        Other,
        Across,       // a long caption: a row across the frame, below the two columns
        CrawlOptions, // in the main window's "Crawl Options" dialog
        SettingsOnly, // no control in the main window: kept in the settings file
    };

    OptionId id = OptionId::SearchEngine;
    Kind kind = Kind::Check;
    QString key;        // settings key; never renamed, so that settings files keep loading
    QString objectName; // the control's object name (the key unless set otherwise)
    QString caption;    // a check box's text; what a choice shows until a pick; a label
    int defaultValue = 0;
    int minimum = 0; // the range a stored or set value must lie in
    int maximum = 1;
    QStringList items; // a choice's items
    // What each item of a choice means, where it is a number (the sites before the automatic
    // advance, the parallel downloads): read with OptionValues::picked().
    QList<int> values;
    static constexpr int NoLimit = 0; // an item's value that stands for no limit
    QString defaultText;              // a text option's default
    QString tooltip;
    Place place = Place::Other;
    // varnel-tool's flag without its dashes: "--flag" and "--no-flag" for a check box,
    // "--flag VALUE" otherwise. Empty: no flag.
    QString toolFlag;
    QStringList toolValues; // a choice's values on the command line, one per item
    // A check box whose flag turns it off ("--literal" clears it, "--no-literal" ticks it).
    bool toolFlagClears = false;
    // Text typed into a choice picks nothing; true: that is stored (as -1).
    bool storesUnpicked = false;

    static OptionRow check(OptionId id, const char *key, const char *caption, int defaultValue);
    static OptionRow choice(OptionId id, const char *key, const char *caption,
                            const QStringList &items, int defaultValue);
    static OptionRow number(OptionId id, const char *key, const char *caption, int defaultValue,
                            int minimum, int maximum);
    static OptionRow text(OptionId id, const char *key, const char *caption,
                          const QString &defaultText);
    OptionRow &tip(const QString &text);
    OptionRow &at(Place where);
    OptionRow &flag(const char *name, const QStringList &values = {});
    OptionRow &clearingFlag(const char *name);
    OptionRow &range(int min, int max);
    OptionRow &keepUnpicked();
    OptionRow &meaning(const QList<int> &itemValues);
};

using OptionTable = std::vector<OptionRow>;

// The program's options, in the order of OptionId.
const OptionTable &optionTable();
const OptionRow &optionRow(OptionId id);

// The values of a table's options: defaults until load(), then what the settings store
// holds (a value that is missing, not a number or out of range reads as the default).
// Every change made through set(), setText() or unpick() is written through at once.
// The settings store is not owned and may be null (nothing is read or written).
class OptionValues : public QObject
{
    Q_OBJECT
public:
    explicit OptionValues(SettingsStore *settings, const OptionTable &table = optionTable(),
                          QObject *parent = nullptr);

    const OptionTable &table() const { return m_table; }
    const OptionRow *row(OptionId id) const;

    int value(OptionId id) const;
    bool isOn(OptionId id) const { return value(id) == 1; }
    // The number a choice's pick stands for (its row's values); nothing while no item is
    // picked or the row gives its items no numbers.
    std::optional<int> picked(OptionId id) const;
    QString text(OptionId id) const;

    // Reads every option from the settings store; writes nothing.
    void load();
    // A click or a pick: a value within the row's range is taken and written through (also
    // when it does not change); a choice ignores -1. False when the value was refused.
    bool set(OptionId id, int value);
    bool setText(OptionId id, const QString &text);
    // A choice left without a pick (text typed into it): -1, stored when the row says so.
    void unpick(OptionId id);

Q_SIGNALS:
    void changed(OptionId id);

private:
    int indexOf(OptionId id) const;
    void assign(int index, int value);
    void write(const OptionRow &row, const QString &value);

    SettingsStore *m_settings;
    OptionTable m_table;
    std::vector<int> m_values;
    std::vector<QString> m_texts;
};

// varnel-tool's flags for a table's options.
namespace OptionFlags {

struct Setting
{
    OptionId id;
    int value = 0;
    QString text;
};

// "[--engine google|yahoo] [--intl|--no-intl] ...", in table order.
QString usage(const OptionTable &table = optionTable());
// The flags of a table's options, without their dashes: "--flag" and "--no-flag" for a check
// box, "--flag VALUE" for the others.
struct Flag
{
    QString name;
    bool takesValue = false;
};
QList<Flag> flags(const OptionTable &table = optionTable());
// Reads one flag (its name without dashes) with its value. True when it is a flag of the
// table: *setting is filled, or *error says what is wrong with the value.
bool read(const QString &name, const QString &value, Setting *setting, QString *error,
          const OptionTable &table = optionTable());
// Reads the flag at args[*i] (and its value, moving *i on). True when it was an option
// flag: *setting is filled, or *error says what is wrong with its value.
bool parse(const QStringList &args, int *i, Setting *setting, QString *error,
           const OptionTable &table = optionTable());
// Applies a parsed flag as a click on its control would.
void apply(OptionValues &values, const Setting &setting);

} // namespace OptionFlags
