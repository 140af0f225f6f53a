// The form of one log line, shared by the log panel and the log file.
#pragma once

#include <QDateTime>
#include <QString>

// Local time (yyyy-MM-ddTHH:mm:ss), a colon, two blanks and the message; a
// gap puts a line feed in front so that an empty line opens a new section.
QString FormatLogLine(const QDateTime &when, const QString &text, bool gap);
