// Reading the engine definition files: JSON, checked key by key, every problem named with
// its file and line.

#include "datadir.h"
#include "searchengines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace SearchEngines {

namespace {

using Kind = EngineRests::Kind;

// A definition larger than this is no definition (and is not read into memory).
constexpr qint64 kMaxDefinitionBytes = 1 << 20;
// The longest rest a definition may give: a month.
constexpr qint64 kMaxRestSeconds = 31 * 24 * 3600;

// The line of every value of a JSON text, by its place ("request.headers[2]"). The text
// has been parsed already, so it is valid JSON and this pass only keeps count.
class LineMap
{
public:
    explicit LineMap(const QByteArray &json) : m_json(json) { value(QString(), 0); }

    // The line of the value at place, or of the nearest enclosing value that has one.
    int lineOf(QString place) const
    {
        for (;;) {
            const auto it = m_lines.constFind(place);
            if (it != m_lines.constEnd())
                return *it;
            const qsizetype cut =
                std::max(place.lastIndexOf(QLatin1Char('.')), place.lastIndexOf(QLatin1Char('[')));
            if (cut <= 0)
                return m_lines.value(QString(), 1);
            place.truncate(cut);
        }
    }

private:
    void space()
    {
        while (m_at < m_json.size()) {
            const char c = m_json.at(m_at);
            if (c == '\n')
                ++m_line;
            else if (c != ' ' && c != '\t' && c != '\r')
                return;
            ++m_at;
        }
    }

    QString string()
    {
        // From the opening quote to the closing one; escapes other than \" and \\ are kept
        // as written (the keys read here have none).
        ++m_at;
        QByteArray out;
        while (m_at < m_json.size() && m_json.at(m_at) != '"') {
            if (m_json.at(m_at) == '\\' && m_at + 1 < m_json.size())
                ++m_at;
            out += m_json.at(m_at++);
        }
        ++m_at;
        return QString::fromUtf8(out);
    }

    void value(const QString &place, int depth)
    {
        space();
        if (m_at >= m_json.size() || depth > 256)
            return;
        m_lines.insert(place, m_line);
        const char c = m_json.at(m_at);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++m_at;
            for (int index = 0;; ++index) {
                space();
                if (m_at >= m_json.size())
                    return;
                if (m_json.at(m_at) == close) {
                    ++m_at;
                    return;
                }
                if (m_json.at(m_at) == ',') {
                    ++m_at;
                    space();
                }
                QString inner;
                if (c == '{') {
                    const QString key = string();
                    inner = place.isEmpty() ? key : place + QLatin1Char('.') + key;
                    space();
                    ++m_at; // ':'
                } else {
                    inner = place + QStringLiteral("[%1]").arg(index);
                }
                value(inner, depth + 1);
            }
        }
        if (c == '"') {
            string();
            return;
        }
        while (m_at < m_json.size() && !strchr(",]} \t\r\n", m_json.at(m_at)))
            ++m_at;
    }

    const QByteArray &m_json;
    qsizetype m_at = 0;
    int m_line = 1;
    QHash<QString, int> m_lines;
};

// The checks of one definition; the first problem found is kept.
class Reader
{
public:
    Reader(const LineMap &lines, Problem *problem) : m_lines(lines), m_problem(problem) {}

    bool failed() const { return m_failed; }

    void fail(const QString &place, const QString &what)
    {
        if (m_failed)
            return;
        m_failed = true;
        m_problem->line = m_lines.lineOf(place);
        m_problem->what = place.isEmpty() ? what : place + QStringLiteral(": ") + what;
    }

    static QString placeOf(const QString &parent, const char *key)
    {
        return parent.isEmpty() ? QLatin1String(key)
                                : parent + QLatin1Char('.') + QLatin1String(key);
    }

    // Every key of the object is one of these ("comment" is always allowed).
    void onlyKeys(const QJsonObject &o, const QString &place,
                  std::initializer_list<const char *> keys)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (it.key() == QLatin1String("comment"))
                continue;
            const bool known = std::any_of(keys.begin(), keys.end(), [&](const char *k) {
                return it.key() == QLatin1String(k);
            });
            if (!known) {
                QStringList names;
                for (const char *k : keys)
                    names << QLatin1String(k);
                fail(placeOf(place, qPrintable(it.key())),
                     QStringLiteral("unknown key (known here: %1)")
                         .arg(names.join(QStringLiteral(", "))));
            }
        }
    }

    QJsonObject object(const QJsonObject &o, const QString &place, const char *key, bool required)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (required)
                fail(place, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
            return QJsonObject();
        }
        if (!v.isObject())
            fail(placeOf(place, key), QStringLiteral("must be an object ({ … })"));
        return v.toObject();
    }

    QString text(const QJsonObject &o, const QString &place, const char *key, bool required,
                 const QString &fallback = QString())
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (required)
                fail(place, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
            return fallback;
        }
        if (!v.isString()) {
            fail(placeOf(place, key), QStringLiteral("must be text in quotes"));
            return fallback;
        }
        return v.toString();
    }

    QStringList texts(const QJsonObject &o, const QString &place, const char *key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        QStringList out;
        if (v.isUndefined())
            return out;
        const QString at = placeOf(place, key);
        if (!v.isArray()) {
            fail(at, QStringLiteral("must be a list ([ … ]) of texts"));
            return out;
        }
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i) {
            if (!a.at(i).isString() || a.at(i).toString().isEmpty()) {
                fail(at + QStringLiteral("[%1]").arg(i),
                     QStringLiteral("must be text in quotes, not empty"));
                return out;
            }
            out << a.at(i).toString();
        }
        return out;
    }

    int number(const QJsonObject &o, const QString &place, const char *key, int fallback, int low,
               int high)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        // The range first: a number too large for an integer is no whole number of it.
        const double d = v.toDouble(-1e300);
        if (!v.isDouble() || !(d >= low && d <= high) || d != std::floor(d)) {
            fail(placeOf(place, key),
                 QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high));
            return fallback;
        }
        return int(d);
    }

private:
    const LineMap &m_lines;
    Problem *m_problem;
    bool m_failed = false;
};

const QStringList &placeholders()
{
    static const QStringList p = {QStringLiteral("{terms}"), QStringLiteral("{offset}"),
                                  QStringLiteral("{first}"), QStringLiteral("{page}"),
                                  QStringLiteral("{pagenum}")};
    return p;
}

// Every "{…}" of a template is a placeholder this program fills.
QString unknownPlaceholder(const QString &text)
{
    static const QRegularExpression braces(QStringLiteral("\\{[^{}]*\\}"));
    for (auto it = braces.globalMatch(text); it.hasNext();) {
        const QString found = it.next().captured();
        if (!placeholders().contains(found))
            return found;
    }
    return QString();
}

// "24h", "90m", "30s", "2d", or "0" for no rest; nothing when the text is none of these.
std::optional<qint64> durationSeconds(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,7})\\s*([smhd]?)\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    if (unit.isEmpty())
        return n == 0 ? std::optional<qint64>(0) : std::nullopt;
    const qint64 scale = unit == QLatin1String("s")   ? 1
                         : unit == QLatin1String("m") ? 60
                         : unit == QLatin1String("h") ? 3600
                                                      : 86400;
    return n * scale;
}

bool isEngineName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[a-z0-9][a-z0-9_-]{0,39}$"));
    return form.match(name).hasMatch();
}

void readRequest(Reader &r, const QJsonObject &root, SearchEngine &e)
{
    const QString at = QStringLiteral("request");
    const QJsonObject q = r.object(root, QString(), "request", true);
    r.onlyKeys(q, at,
               {"origin", "method", "first", "later", "firstBody", "laterBody", "pageSize", "terms",
                "headers", "cookies", "token"});
    e.origin = r.text(q, at, "origin", true);
    const QUrl origin(e.origin, QUrl::StrictMode);
    if (!r.failed() &&
        (!origin.isValid() || origin.host().isEmpty() ||
         (origin.scheme() != QLatin1String("http") && origin.scheme() != QLatin1String("https")) ||
         !(origin.path().isEmpty() || origin.path() == QLatin1String("/")) || origin.hasQuery() ||
         origin.hasFragment()))
        r.fail(at + QStringLiteral(".origin"),
               QStringLiteral("must be a scheme and a host, like \"https://search.example\""));
    if (!r.failed()) // the scheme and host as browsers write them: "https://s.example"
        e.origin = origin.toString(QUrl::RemovePath);
    const QString method = r.text(q, at, "method", false, QStringLiteral("GET"));
    if (method != QLatin1String("GET") && method != QLatin1String("POST"))
        r.fail(at + QStringLiteral(".method"), QStringLiteral("must be \"GET\" or \"POST\""));
    e.post = method == QLatin1String("POST");
    e.firstPage = r.text(q, at, "first", true);
    e.laterPages = r.text(q, at, "later", false);
    e.firstBody = r.text(q, at, "firstBody", false);
    e.laterBody = r.text(q, at, "laterBody", false);
    for (const char *key : {"first", "later"}) {
        const QString path = r.text(q, at, key, false);
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
            r.fail(Reader::placeOf(at, key), QStringLiteral("the address must start with \"/\""));
    }
    for (const char *key : {"first", "later", "firstBody", "laterBody"}) {
        const QString bad = unknownPlaceholder(r.text(q, at, key, false));
        if (!bad.isEmpty())
            r.fail(Reader::placeOf(at, key),
                   QStringLiteral("%1 is no placeholder (known: %2)")
                       .arg(bad, placeholders().join(QStringLiteral(" "))));
    }
    if (!e.post &&
        (q.contains(QLatin1String("firstBody")) || q.contains(QLatin1String("laterBody"))))
        r.fail(at + QStringLiteral(".firstBody"),
               QStringLiteral("a form body needs \"method\": \"POST\""));
    const QLatin1String terms("{terms}");
    if (!r.failed() && !e.firstPage.contains(terms) && !e.firstBody.contains(terms))
        r.fail(at + QStringLiteral(".first"),
               QStringLiteral("the first page's address or body must hold {terms}"));
    e.pageSize = r.number(q, at, "pageSize", 10, 1, 1000);
    const QString termsForm = r.text(q, at, "terms", false, QStringLiteral("form"));
    if (termsForm != QLatin1String("form") && termsForm != QLatin1String("typed"))
        r.fail(at + QStringLiteral(".terms"), QStringLiteral("must be \"form\" or \"typed\""));
    e.referenceTerms = termsForm == QLatin1String("typed");

    const QStringList headers = r.texts(q, at, "headers");
    for (int i = 0; i < headers.size(); ++i) {
        const qsizetype colon = headers.at(i).indexOf(QLatin1Char(':'));
        const QByteArray name = headers.at(i).left(colon).trimmed().toLatin1();
        const QByteArray value = headers.at(i).mid(colon + 1).trimmed().toUtf8();
        static const QRegularExpression token(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+$"));
        if (colon <= 0 || !token.match(QString::fromLatin1(name)).hasMatch() ||
            value.contains('\r') || value.contains('\n')) {
            r.fail(at + QStringLiteral(".headers[%1]").arg(i),
                   QStringLiteral("a header is written \"Name: value\""));
            break;
        }
        e.headers.append({name, value});
    }
    const QStringList cookies = r.texts(q, at, "cookies");
    for (int i = 0; i < cookies.size(); ++i) {
        const qsizetype eq = cookies.at(i).indexOf(QLatin1Char('='));
        const QString name = cookies.at(i).left(eq).trimmed();
        if (eq <= 0 || name.contains(QLatin1Char(';')) ||
            cookies.at(i).contains(QLatin1Char('\n'))) {
            r.fail(at + QStringLiteral(".cookies[%1]").arg(i),
                   QStringLiteral("a cookie is written \"name=value\""));
            break;
        }
        e.cookies.append({name.toUtf8(), cookies.at(i).mid(eq + 1).trimmed().toUtf8()});
    }
    const QJsonObject token = r.object(q, at, "token", false);
    if (!token.isEmpty()) {
        const QString tat = at + QStringLiteral(".token");
        r.onlyKeys(token, tat, {"page", "field"});
        e.tokenPage = r.text(token, tat, "page", true);
        e.tokenField = r.text(token, tat, "field", true).toUtf8();
        if (!e.tokenPage.startsWith(QLatin1Char('/')))
            r.fail(tat + QStringLiteral(".page"),
                   QStringLiteral("the address must start with \"/\""));
        if (e.tokenField.isEmpty())
            r.fail(tat + QStringLiteral(".field"), QStringLiteral("names the form's field"));
    }
}

QList<LinkSelector> selectors(Reader &r, const QJsonObject &reader, const QString &at,
                              const char *key)
{
    QList<LinkSelector> out;
    const QStringList texts = r.texts(reader, at, key);
    for (int i = 0; i < texts.size() && !r.failed(); ++i) {
        QString error;
        const std::optional<LinkSelector> s = LinkSelector::parse(texts.at(i), &error);
        if (!s)
            r.fail(Reader::placeOf(at, key) + QStringLiteral("[%1]").arg(i), error);
        else
            out.append(*s);
    }
    return out;
}

void readReader(Reader &r, const QJsonObject &root, SearchEngine &e)
{
    const QString at = QStringLiteral("reader");
    const QJsonObject o = r.object(root, QString(), "reader", true);
    r.onlyKeys(o, at, {"lineReading", "results", "except", "unwrap", "own"});
    const QJsonValue lines = o.value(QLatin1String("lineReading"));
    if (!lines.isUndefined()) {
        const QJsonObject l = r.object(o, at, "lineReading", false);
        const QString lat = at + QStringLiteral(".lineReading");
        r.onlyKeys(l, lat, {"skipLinesWith"});
        e.referenceReading = true;
        e.skipLinesWith = r.texts(l, lat, "skipLinesWith");
    }
    e.results = selectors(r, o, at, "results");
    e.except = selectors(r, o, at, "except");
    if (!r.failed() && e.results.isEmpty())
        r.fail(at, QStringLiteral("\"results\" must name where the result links stand"));
    const QJsonValue unwrap = o.value(QLatin1String("unwrap"));
    if (!unwrap.isUndefined() && !unwrap.isArray())
        r.fail(at + QStringLiteral(".unwrap"),
               QStringLiteral("must be a list ([ … ]) of wrappers"));
    const QJsonArray wrappers = unwrap.toArray();
    for (int i = 0; i < wrappers.size() && !r.failed(); ++i) {
        const QString wat = at + QStringLiteral(".unwrap[%1]").arg(i);
        if (!wrappers.at(i).isObject()) {
            r.fail(wat, QStringLiteral("must be an object ({ … })"));
            break;
        }
        const QJsonObject w = wrappers.at(i).toObject();
        r.onlyKeys(w, wat, {"path", "query", "strip", "decode", "pathBetween"});
        ResultLinks::Wrapper wrapper;
        wrapper.path = r.text(w, wat, "path", false);
        wrapper.query = r.texts(w, wat, "query");
        wrapper.strip = r.text(w, wat, "strip", false);
        const QString decode = r.text(w, wat, "decode", false);
        if (!decode.isEmpty() && decode != QLatin1String("base64url"))
            r.fail(wat + QStringLiteral(".decode"), QStringLiteral("can only be \"base64url\""));
        wrapper.base64url = decode == QLatin1String("base64url");
        wrapper.pathBetween = r.texts(w, wat, "pathBetween");
        if (!r.failed() && wrapper.query.isEmpty() == wrapper.pathBetween.isEmpty())
            r.fail(wat, QStringLiteral("says where the address is: \"query\" (the fields that "
                                       "hold it) or \"pathBetween\" (the markers around it)"));
        if (!r.failed() && wrapper.pathBetween.size() == 1)
            r.fail(wat + QStringLiteral(".pathBetween"),
                   QStringLiteral("names the marker before the address and at least one after"));
        e.wrappers.append(wrapper);
    }
    e.ownDomains = r.texts(o, at, "own");
}

void readRefusals(Reader &r, const QJsonObject &root, SearchEngine &e)
{
    const QJsonValue blocked = root.value(QLatin1String("blocked"));
    if (!blocked.isUndefined() && !blocked.isArray())
        r.fail(QStringLiteral("blocked"), QStringLiteral("must be a list ([ … ]) of signs"));
    const QJsonArray signs = blocked.toArray();
    for (int i = 0; i < signs.size() && !r.failed(); ++i) {
        const QString at = QStringLiteral("blocked[%1]").arg(i);
        if (!signs.at(i).isObject()) {
            r.fail(at, QStringLiteral("must be an object ({ … })"));
            break;
        }
        const QJsonObject s = signs.at(i).toObject();
        r.onlyKeys(s, at, {"text", "reason", "kind"});
        Signature sign;
        sign.marker = r.text(s, at, "text", true);
        sign.reason = r.text(s, at, "reason", true);
        const QString kind = r.text(s, at, "kind", false, QStringLiteral("captcha"));
        const std::optional<Kind> k = EngineRests::kindOfKey(kind);
        if (!k || *k == Kind::NoAnswer)
            r.fail(at + QStringLiteral(".kind"),
                   QStringLiteral("must be \"captcha\", \"tooManyRequests\" or \"forbidden\""));
        sign.kind = k.value_or(Kind::Captcha);
        if (!r.failed() && sign.marker.isEmpty())
            r.fail(at + QStringLiteral(".text"), QStringLiteral("must not be empty"));
        e.blockMarkers.append(sign);
    }
    e.noResultMarkers = r.texts(root, QString(), "noResults");

    const QJsonObject rest = r.object(root, QString(), "rest", false);
    r.onlyKeys(rest, QStringLiteral("rest"),
               {"captcha", "tooManyRequests", "forbidden", "noAnswer"});
    for (Kind k : {Kind::Captcha, Kind::TooManyRequests, Kind::Forbidden, Kind::NoAnswer}) {
        e.restSeconds[int(k)] = EngineRests::defaultSeconds(k);
        const QByteArray key = EngineRests::key(k).toLatin1();
        const QString text = r.text(rest, QStringLiteral("rest"), key.constData(), false);
        if (text.isNull() || r.failed())
            continue;
        const std::optional<qint64> seconds = durationSeconds(text);
        if (!seconds || *seconds > kMaxRestSeconds) {
            r.fail(QStringLiteral("rest.") + QLatin1String(key),
                   QStringLiteral("\"%1\" is no rest time: write \"30s\", \"10m\", \"6h\" or "
                                  "\"2d\" (at most 31 days), or \"0\" for none")
                       .arg(text));
            continue;
        }
        e.restSeconds[int(k)] = *seconds;
    }
}

} // namespace

QString Problem::text() const
{
    QString out = QDir::toNativeSeparators(file);
    if (line > 0)
        out += QStringLiteral(", line %1").arg(line);
    if (column > 0)
        out += QStringLiteral(", column %1").arg(column);
    out += QStringLiteral(": ") + what;
    if (!engine.isEmpty())
        out += QStringLiteral("; the engine %1 is left out").arg(engine);
    return out;
}

std::optional<SearchEngine> readDefinition(const QByteArray &json, const QString &name,
                                           const QString &file, Problem *problem)
{
    problem->file = file;
    problem->engine = name;
    problem->line = 0;
    problem->column = 0;
    if (!isEngineName(name)) {
        problem->what = QStringLiteral("the file's name is the engine's name: lower-case "
                                       "letters, digits, \"-\" and \"_\", then \".json\"");
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        const QByteArray before = json.left(error.offset);
        problem->line = int(before.count('\n')) + 1;
        const qsizetype lineStart = before.lastIndexOf('\n') + 1;
        problem->column = int(QString::fromUtf8(before.mid(lineStart)).size()) + 1;
        problem->what = QStringLiteral("%1 (the file is no valid JSON)").arg(error.errorString());
        return std::nullopt;
    }
    const LineMap lines(json);
    Reader r(lines, problem);
    if (!doc.isObject()) {
        r.fail(QString(), QStringLiteral("a definition is one object ({ … })"));
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    r.onlyKeys(root, QString(),
               {"title", "order", "request", "reader", "blocked", "noResults", "rest"});
    SearchEngine e;
    e.toolName = name;
    e.file = file;
    e.displayName = r.text(root, QString(), "title", true).trimmed();
    if (!r.failed() && e.displayName.isEmpty())
        r.fail(QStringLiteral("title"), QStringLiteral("must not be empty"));
    e.order = r.number(root, QString(), "order", 1000, 0, 1000000);
    readRequest(r, root, e);
    readReader(r, root, e);
    readRefusals(r, root, e);
    if (r.failed())
        return std::nullopt;
    return e;
}

Catalog Catalog::fromFolders(const QStringList &folders)
{
    Catalog c;
    QHash<QString, SearchEngine> byName;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        const QFileInfoList files =
            dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (const QFileInfo &info : files) {
            const QString name = info.completeBaseName();
            Problem problem;
            problem.file = info.filePath();
            problem.engine = name;
            QFile f(info.filePath());
            QByteArray json;
            if (info.size() > kMaxDefinitionBytes) {
                problem.what = QStringLiteral("too large for a definition (over 1 MB)");
            } else if (!f.open(QIODevice::ReadOnly)) {
                problem.what = QStringLiteral("cannot be read (%1)").arg(f.errorString());
            } else {
                json = f.read(kMaxDefinitionBytes + 1);
                if (f.error() != QFileDevice::NoError)
                    problem.what = QStringLiteral("cannot be read (%1)").arg(f.errorString());
            }
            std::optional<SearchEngine> engine;
            if (problem.what.isEmpty())
                engine = readDefinition(json, name, info.filePath(), &problem);
            if (!engine) {
                byName.remove(name);
                c.m_problems.append(problem);
                continue;
            }
            byName.insert(name, *engine);
        }
    }
    QList<SearchEngine> engines = byName.values();
    std::sort(engines.begin(), engines.end(), [](const SearchEngine &a, const SearchEngine &b) {
        return a.order != b.order ? a.order < b.order : a.toolName < b.toolName;
    });
    // The title names the engine in the engine list and in the options, so it is one
    // engine's only.
    for (const SearchEngine &e : qAsConst(engines)) {
        const SearchEngine *same = c.find(e.displayName);
        if (same) {
            c.m_problems.append({e.file, 0,
                                 QStringLiteral("the title \"%1\" is that of the engine %2 already")
                                     .arg(e.displayName, same->toolName),
                                 e.toolName});
            continue;
        }
        c.m_engines.append(e);
    }
    return c;
}

Catalog Catalog::load(const QString &dataDir)
{
    QStringList folders;
    const QString shipped = shippedFolder();
    if (!shipped.isEmpty())
        folders << shipped;
    if (!dataDir.isEmpty())
        folders << dataFolderOf(dataDir);
    Catalog c = fromFolders(folders);
    if (shipped.isEmpty())
        c.m_problems.prepend({QStringLiteral("engines"), 0,
                              QStringLiteral("the engine definitions shipped with the program "
                                             "were not found"),
                              QString()});
    return c;
}

const SearchEngine *Catalog::find(const QString &name) const
{
    for (const SearchEngine &e : m_engines) {
        if (name.compare(e.toolName, Qt::CaseInsensitive) == 0 ||
            name.compare(e.displayName, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

QString shippedFolder()
{
    return DataDir::sharedFolder(QStringLiteral("engines"));
}

QString dataFolderOf(const QString &dataDir)
{
    return QDir(dataDir).filePath(QStringLiteral("engines"));
}

const Catalog &shipped()
{
    static const Catalog catalog = Catalog::load(QString());
    return catalog;
}

const QList<SearchEngine> &all()
{
    return shipped().engines();
}

const SearchEngine *find(const QString &name)
{
    return shipped().find(name);
}

} // namespace SearchEngines
