// Master configuration files (.mcf): which cards and ASICs to configure, and
// the pauses and register load files to run on them, in file order.
//
// Lines end at CR LF, LF CR, a lone CR or a lone LF; "#" starts a comment.
// Recognised lines (anything else is ignored):
//   PELRA_SELECT 1 3   card numbers 1-8, each after exactly one space
//   ASIC_SELECT 1 2    ASIC numbers 1-8, likewise
//   wait 500           milliseconds 0-65535; anything else pauses not at all
//   load files/a.glf   a register load file; the path keeps its case
// The selection lines are all read before any command runs, wherever they
// stand, and their pass ends once both masks hold a bit.
//
// Bounded: a file is read only up to MaxFileBytes, and malformed text can
// only make the selection fail or a line be ignored.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

namespace MasterConfig {

constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

QStringList SplitLines(const QString &text);

struct Selection {
    quint8 cardMask = 0;
    quint8 asicMask = 0;
    QStringList loggedLines;   // the selection lines as read: upper-cased, without comment
    QString error;             // set when a number is not 1-8; the pass stopped there
};

Selection ReadSelection(const QStringList &lines);

struct Command {
    enum Kind { Wait, Load };
    Kind kind = Wait;
    quint16 waitMs = 0;        // Wait: 0 when the number was missing, not a number or above 65535
    QString path;              // Load: as written in the file
};

QVector<Command> ReadCommands(const QStringList &lines);

// A "load" path that names an existing file is used as it is (absolute, or
// relative to the working directory); otherwise its file name is taken from
// the master file's folder.
QString ResolveLoadPath(const QString &written, const QString &masterPath);

enum class ReadStatus { Ok, OpenFailed, TooLarge };

// The file's lines; regular files of at most MaxFileBytes only.
ReadStatus ReadLines(const QString &path, QStringList &lines);

}  // namespace MasterConfig
