// The acquisition configuration file (usually Config_Acquire.ini): named
// parameter groups of "KEYWORD: value" lines.
//
//   NAME: TAMBRIL 2048x2048     # starts a group with the defaults of AcqParam
//   RESET: 4003                 # every other line sets a field of the last group
//   SENDRST: 4002 4             # two values, split at single blanks
//   PELRARANGE: 0100 01FF       # appended to the group's pelraRanges
//
// The parser is bounded: malformed input of any size and content can only
// leave fields at their defaults or at 0 and produce messages. It keeps at
// most MaxGroups groups and MaxRanges ranges of each kind per group (further
// NAME or range lines are reported as invalid), and it records at most
// MaxMessages messages, counting the rest in unreportedMessages. The caller
// bounds the text it hands over (the window reads at most MaxFileBytes).
#pragma once

#include "pelra_acqparam.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace AcqConfig {

constexpr int MaxGroups = 4096;
constexpr int MaxRanges = 4096;
constexpr int MaxMessages = 200;
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

struct ParseResult {
    QVector<PELRA_Global::AcqParam> groups;   // in file order, duplicate names kept
    QStringList messages;                     // one per reported line, in line order
    int unreportedMessages = 0;               // messages beyond MaxMessages
};

ParseResult Parse(const QString &text);

// The two messages of a reported line (`line` is the text before any "#").
QString InvalidLineMessage(const QString &line);
QString InvalidFormatMessage(const QString &line);

}  // namespace AcqConfig
