#pragma once
#include <QString>

class QIODevice;

// The help text as the help window shows it: every line of the source, in
// order, each followed by CR LF, the last one included.
//
// A line ends at CR, at CR LF, or at the end of the data; a lone LF is not a
// line end and stays inside its line. The bytes are taken as UTF-8; a source
// that is not valid UTF-8 is taken as Latin-1 instead, so that a file saved in
// a Western legacy code page keeps every character rather than turning into
// replacement marks. A leading UTF-8 byte-order mark is dropped.
//
// Nothing is ever reported: a source that cannot be opened gives "", and a
// read that fails midway keeps the whole lines read before the failure. At
// most HelpTextLimit bytes are read, so a runaway source (a device, a huge
// file) cannot hang the window; the lines before the limit are kept.
inline constexpr qint64 HelpTextLimit = 16 * 1024 * 1024;

QString ReadHelpText(const QString &path);
QString ReadHelpText(QIODevice &source); // source already open for reading
