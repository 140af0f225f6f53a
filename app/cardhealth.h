// Texts of the card's health reports on the Manual Command tab: error
// counters by name and the FIFO status block decoded into three lines.
// Plain functions of the values read, so every line can be checked without
// a card.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include "pelra_global.h"

// The counter names for the firmware the card reports: TAMBRIL's for
// TAMBRIL firmware, OSTERA's for anything else.
const QStringList &ErrorCounterNames(PELRA_ASICType type);

// "name: 0x0005" for every non-zero counter with a name, in counter order.
// Counters beyond the name list, or with an empty name, are never shown.
QStringList ErrorCounterLines(const QVector<quint32> &counters, const QStringList &names);

// Card register 0xFFFE: 0x8000 and above means one main FIFO; anything
// smaller (or an unreadable register, read as 0) means FIFO1 and FIFO2.
bool IsSingleFifoLayout(quint32 layoutRegister);

// The main, GigE and USB lines for the 12 words read from 0x01A0-0x01AB.
// Missing words count as 0. The card keeps one 32-bit word count for its
// active science output in word 4, so the GigE and USB lines both show it.
QStringList FifoStatusLines(const QVector<quint32> &words, bool singleFifo);
