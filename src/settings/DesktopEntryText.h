#pragma once
#include <QString>
#include <QStringList>

// The two levels of escaping in a desktop entry's Exec key. An argument is first quoted by
// the Exec rules (QuoteExecArgument); the whole Exec value is then stored as a string value
// (EscapeDesktopString), which doubles every backslash once more.

// A string value as it is written after "Key=": backslash, line feed, tab and carriage
// return escaped, and a leading blank as \s so that readers do not trim it away.
QString EscapeDesktopString(const QString &value);

// The inverse of EscapeDesktopString; an unknown escape keeps its backslash.
QString UnescapeDesktopString(const QString &raw);

// One argument in double quotes with ", `, $ and \ escaped by a backslash, and % doubled
// so that it is not taken for a field code.
QString QuoteExecArgument(const QString &argument);

// The arguments of an Exec value (string escapes already undone): blanks separate
// arguments outside quotes, quoted parts lose their quotes and escapes, "%%" becomes "%"
// and other field codes are dropped (they expand to nothing when the system starts the
// program; an argument that was only a field code disappears). A value with an unclosed
// quote is malformed and gives an empty list.
QStringList ParseDesktopExec(const QString &execValue);
