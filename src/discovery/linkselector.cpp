#include "linkselector.h"

namespace {

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

// A character that ends a name: a space, or the start of the next test.
bool endsName(QChar c)
{
    return isSpace(c) || c == QLatin1Char('.') || c == QLatin1Char('#') || c == QLatin1Char('[') ||
           c == QLatin1Char(']') || c == QLatin1Char('=') || c == QLatin1Char('*') ||
           c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('>') ||
           c == QLatin1Char('+') || c == QLatin1Char('~') || c == QLatin1Char(',');
}

bool isAttributeNameChar(QChar c)
{
    return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-') ||
                                 c == QLatin1Char('_') || c == QLatin1Char(':'));
}

} // namespace

std::optional<LinkSelector> LinkSelector::parse(const QString &text, QString *error)
{
    LinkSelector s;
    s.m_text = text.simplified();
    const QString &t = text;
    const qsizetype n = t.size();
    qsizetype i = 0;
    auto fail = [&](const QString &what) {
        *error = QStringLiteral("\"%1\" is no selector: %2").arg(text, what);
        return std::nullopt;
    };
    auto name = [&]() {
        const qsizetype from = i;
        while (i < n && !endsName(t[i]))
            ++i;
        return t.mid(from, i - from);
    };
    while (i < n) {
        while (i < n && isSpace(t[i]))
            ++i;
        if (i >= n)
            break;
        Step step;
        if (t[i] == QLatin1Char('*')) {
            ++i;
        } else if (!endsName(t[i])) {
            step.tag = name();
            for (const QChar c : qAsConst(step.tag)) {
                if (!isAttributeNameChar(c))
                    return fail(QStringLiteral("a tag name holds letters, digits and dashes"));
            }
        }
        while (i < n && !isSpace(t[i])) {
            const QChar c = t[i++];
            Test test;
            if (c == QLatin1Char('.') || c == QLatin1Char('#')) {
                test.kind = c == QLatin1Char('.') ? Test::Kind::Class : Test::Kind::Id;
                test.value = name();
                if (test.value.isEmpty())
                    return fail(QStringLiteral("a name must follow \"%1\"").arg(c));
            } else if (c == QLatin1Char('[')) {
                const qsizetype from = i;
                while (i < n && isAttributeNameChar(t[i]))
                    ++i;
                test.name = t.mid(from, i - from).toLower().toLatin1();
                if (test.name.isEmpty())
                    return fail(QStringLiteral("an attribute name must follow \"[\""));
                test.kind = Test::Kind::Present;
                if (i < n && t[i] == QLatin1Char('*')) {
                    ++i;
                    test.kind = Test::Kind::Contains;
                    if (i >= n || t[i] != QLatin1Char('='))
                        return fail(QStringLiteral("\"*\" must be followed by \"=\""));
                }
                if (i < n && t[i] == QLatin1Char('=')) {
                    ++i;
                    if (test.kind == Test::Kind::Present)
                        test.kind = Test::Kind::Equals;
                    if (i < n && (t[i] == QLatin1Char('"') || t[i] == QLatin1Char('\''))) {
                        const QChar quote = t[i++];
                        const qsizetype close = t.indexOf(quote, i);
                        if (close < 0)
                            return fail(QStringLiteral("a quoted value is not closed"));
                        test.value = t.mid(i, close - i);
                        i = close + 1;
                    } else {
                        const qsizetype close = t.indexOf(QLatin1Char(']'), i);
                        test.value = t.mid(i, close < 0 ? n - i : close - i).trimmed();
                        i = close < 0 ? n : close;
                    }
                    if (test.value.isEmpty())
                        return fail(QStringLiteral("a value must follow \"=\""));
                }
                if (i >= n || t[i] != QLatin1Char(']'))
                    return fail(QStringLiteral("\"[\" is not closed by \"]\""));
                ++i;
            } else {
                return fail(QStringLiteral("unexpected \"%1\"").arg(c));
            }
            step.tests.append(test);
        }
        s.m_steps.append(step);
    }
    if (s.m_steps.isEmpty())
        return fail(QStringLiteral("it is empty"));
    return s;
}

bool LinkSelector::matches(const Step &step, const HtmlScan::Element &e)
{
    if (!step.tag.isEmpty() && e.tag.compare(step.tag, Qt::CaseInsensitive) != 0)
        return false;
    for (const Test &test : step.tests) {
        switch (test.kind) {
        case Test::Kind::Class:
            if (!e.hasClass(QStringView(test.value)))
                return false;
            break;
        case Test::Kind::Id:
            if (e.id != test.value)
                return false;
            break;
        case Test::Kind::Present:
        case Test::Kind::Equals:
        case Test::Kind::Contains: {
            if (test.name == "class") {
                // The class attribute is at hand as written.
                if (e.classes.isNull() ||
                    (test.kind == Test::Kind::Equals && e.classes != test.value) ||
                    (test.kind == Test::Kind::Contains && !e.classes.contains(test.value)))
                    return false;
                break;
            }
            const QString value = e.attribute(QLatin1String(test.name));
            if (value.isNull() || (test.kind == Test::Kind::Equals && value != test.value) ||
                (test.kind == Test::Kind::Contains && !value.contains(test.value)))
                return false;
            break;
        }
        }
    }
    return true;
}

bool LinkSelector::encloses(const HtmlScan::Path &enclosing) const
{
    // Greedy from the outside in: each part takes the outermost element that matches it
    // below the one the part before took.
    qsizetype step = 0;
    for (const HtmlScan::Element &e : enclosing) {
        if (matches(m_steps.at(step), e) && ++step == m_steps.size())
            return true;
    }
    return false;
}
