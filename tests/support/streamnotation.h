#pragma once

// The byte-stream notation of the data files of both test suites. A line
// holds write calls separated by "|", each made of
//   hex bytes           1B 40
//   a repeated byte     00*6728   (the byte, then how many)
//   quoted text         "Tab1\n"  (C escapes \n \r \t \\ \" \xHH)
//   a file's bytes      <name>    (what the suite's FileBytes gives for it)
// and "#" starts a comment. An empty write is "".

#include <QByteArrayList>
#include <QStringList>

#include <functional>

namespace streamnotation {

// The bytes that `<name>` stands for; sets `error` when there are none.
using FileBytes = std::function<QByteArray(const QString &name, QString *error)>;

// The writes of one line; `error` tells why a line could not be read.
QByteArrayList writes(const QString &line, const FileBytes &fileBytes, QString *error);

// <name> as the whole content of that file in `folder`.
FileBytes filesIn(const QString &folder);

// The lines of a data file, comments and blank lines removed; a file that
// cannot be read stops the test program.
QStringList lines(const QString &path);

} // namespace streamnotation
