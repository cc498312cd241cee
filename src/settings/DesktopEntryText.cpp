#include "DesktopEntryText.h"

QString EscapeDesktopString(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u' ' && i == 0)
            out += QStringLiteral("\\s");
        else
            out += c;
    }
    return out;
}

QString UnescapeDesktopString(const QString &raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case u's': out += u' '; break;
        case u'n': out += u'\n'; break;
        case u't': out += u'\t'; break;
        case u'r': out += u'\r'; break;
        case u'\\': out += u'\\'; break;
        default: out += c; out += next;
        }
    }
    return out;
}

QString QuoteExecArgument(const QString &argument)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        if (c == u'%')
            out += u'%';
        out += c;
    }
    out += u'"';
    return out;
}

namespace {

bool IsArgumentSeparator(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

bool IsQuotedEscape(QChar c) { return c == u'"' || c == u'`' || c == u'$' || c == u'\\'; }

// "%%" -> "%", other field codes removed. Returns false when the argument was nothing but
// field codes, so that it expands to no argument at all.
bool ExpandFieldCodes(const QString &argument, QString &expanded)
{
    expanded.clear();
    bool hadFieldCode = false;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument.at(i) != u'%' || i + 1 == argument.size()) {
            expanded += argument.at(i);
            continue;
        }
        const QChar code = argument.at(++i);
        if (code == u'%')
            expanded += u'%';
        else
            hadFieldCode = true;
    }
    return !(hadFieldCode && expanded.isEmpty());
}

} // namespace

QStringList ParseDesktopExec(const QString &execValue)
{
    QStringList tokens;
    QString current;
    bool inToken = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < execValue.size(); ++i) {
        const QChar c = execValue.at(i);
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\' && i + 1 < execValue.size() && IsQuotedEscape(execValue.at(i + 1))) {
                current += execValue.at(++i);
            } else {
                current += c;
            }
        } else if (IsArgumentSeparator(c)) {
            if (inToken)
                tokens.append(current);
            current.clear();
            inToken = false;
        } else if (c == u'"') {
            inQuotes = true;
            inToken = true;
        } else {
            current += c;
            inToken = true;
        }
    }
    if (inQuotes)
        return {};
    if (inToken)
        tokens.append(current);

    QStringList arguments;
    QString expanded;
    for (const QString &token : tokens) {
        if (ExpandFieldCodes(token, expanded))
            arguments.append(expanded);
    }
    return arguments;
}
