#include "scriptshell.h"

#include <QByteArray>

#include <cctype>
#include <cstring>

namespace {

bool isAlnum(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           static_cast<unsigned char>(c) >= 0x80;
}

char lower(char c)
{
    return char(std::tolower(static_cast<unsigned char>(c)));
}

// Case-insensitive search of an ASCII needle from position from; -1 when absent.
qsizetype findNoCase(QByteArrayView hay, const char *needle, qsizetype from)
{
    const qsizetype n = qsizetype(std::strlen(needle));
    for (qsizetype i = from; i + n <= hay.size(); ++i) {
        qsizetype k = 0;
        while (k < n && lower(hay[i + k]) == needle[k])
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

bool containsNoCase(QByteArrayView hay, const char *needle)
{
    return findNoCase(hay, needle, 0) >= 0;
}

// The value of attribute name in a tag's text (between "<name" and ">"), lower-cased.
QByteArray attribute(QByteArrayView tag, const char *name)
{
    const qsizetype n = qsizetype(std::strlen(name));
    for (qsizetype at = findNoCase(tag, name, 0); at >= 0; at = findNoCase(tag, name, at + 1)) {
        // A whole attribute name: white space before it, "=" (after spaces) behind it.
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1])))
            continue;
        qsizetype i = at + n;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        QByteArray value;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            const char quote = tag[i++];
            while (i < tag.size() && tag[i] != quote)
                value += lower(tag[i++]);
        } else {
            while (i < tag.size() && !std::isspace(static_cast<unsigned char>(tag[i])) &&
                   tag[i] != '>')
                value += lower(tag[i++]);
        }
        return value;
    }
    return QByteArray();
}

bool isMountId(const QByteArray &id)
{
    for (const char *known : {"root", "app", "__next", "__nuxt", "___gatsby", "svelte"}) {
        if (id == known)
            return true;
    }
    return false;
}

// An inline script that writes the document.
bool buildsDocument(QByteArrayView code)
{
    for (const char *call :
         {"document.write", "innerhtml", "appendchild", "createelement", "insertadjacenthtml",
          "createroot", "reactdom", "createapp(", ".mount(", "new vue("}) {
        if (containsNoCase(code, call))
            return true;
    }
    return false;
}

} // namespace

namespace ScriptShell {

bool isShell(QByteArrayView page)
{
    int letters = 0;
    bool codeScript = false;
    bool buildSign = false;
    qsizetype otherMarkup = 0; // bytes of the body's tags other than scripts
    bool inBody = false;
    const qsizetype n = page.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = page[i];
        if (c != '<') {
            if (isAlnum(c) && ++letters >= MaxShellLetters)
                return false; // text of its own: no shell, whatever else it holds
            ++i;
            continue;
        }
        if (page.sliced(i).startsWith("<!--")) {
            const qsizetype end = findNoCase(page, "-->", i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const qsizetype close = page.sliced(i).indexOf('>');
        if (close < 0)
            break;
        const QByteArrayView tag = page.sliced(i + 1, close - 1);
        const qsizetype tagEnd = i + close + 1;
        qsizetype nameLength = 0;
        while (nameLength < tag.size() &&
               (isAlnum(tag[nameLength]) || tag[nameLength] == '-' || tag[nameLength] == '_'))
            ++nameLength;
        QByteArray name;
        for (qsizetype k = 0; k < nameLength; ++k)
            name += lower(tag[k]);
        i = tagEnd;
        if (name.isEmpty())
            continue; // a closing tag, a declaration
        if (name == "body")
            inBody = true;
        // Elements whose content is no visible text: skipped whole.
        const bool script = name == "script";
        if (script || name == "style" || name == "noscript" || name == "template" ||
            name == "title" || name == "textarea") {
            const QByteArray end = "</" + name;
            const qsizetype endAt = findNoCase(page, end.constData(), i);
            const QByteArrayView content = page.sliced(i, (endAt < 0 ? n : endAt) - i);
            if (script) {
                const QByteArray type = attribute(tag, "type");
                const bool code = type.isEmpty() || type == "module" ||
                                  type.contains("javascript") || type.contains("ecmascript");
                const bool external = !attribute(tag, "src").isEmpty();
                if (code && (external || content.trimmed().size() >= MinInlineScript))
                    codeScript = true;
                if (code && !external && buildsDocument(content))
                    codeScript = buildSign = true;
            } else if (name == "noscript") {
                // A notice for browsers without scripts: the page needs them.
                if (containsNoCase(content, "javascript") || containsNoCase(content, "enable js"))
                    buildSign = true;
            }
            i = endAt < 0 ? n : endAt;
            continue;
        }
        const QByteArray id = attribute(tag, "id");
        if (isMountId(id) || name.contains('-'))
            buildSign = true;
        if (inBody && name != "body" && name != "div" && name != "span" && name != "br" &&
            name != "html" && name != "link" && name != "meta")
            otherMarkup += tag.size() + 2;
    }
    if (inBody && otherMarkup == 0)
        buildSign = true; // nothing in the body but its scripts
    return codeScript && buildSign;
}

} // namespace ScriptShell
