#pragma once

// The expected byte streams of tests/data, read back. A stream is written one
// command a line, its write calls separated by "|". A write is made of
//   hex bytes           1B 40
//   a repeated byte     00*6728   (the byte, then how many)
//   quoted text         "Tab1\n"  (C escapes \n \r \t \\ \" \xHH)
//   a picture's dots    <qr-sample.pbm>  (the raster payload of that file in
//                                        demos/pictures)
// and "#" starts a comment. An empty write is "".

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace streamfile {

// The writes of one line; `error` tells why a line could not be read.
QList<QByteArray> writes(const QString &line, QString *error);

// The lines of a data file, comments and blank lines removed.
QStringList lines(const QString &path);

// What the window showed and sent, one entry each: "> " and a console line,
// or "w " and the hex of one write call.
QString consoleEntry(const QString &line);
QString writeEntry(const QByteArray &write);

// Where two transcripts first differ, shortened for a readable failure.
QString firstDifference(const QStringList &actual, const QStringList &expected);

} // namespace streamfile
