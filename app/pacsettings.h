// pac.ini: the operator's choices kept between runs, as plain values.
//
// All keys live in the section Application.LoadFiles. Reading trims every
// value, maps any slot other than 2 to slot 1 and drops load-file entries
// with a blank name. The window hands its widget texts over untrimmed; the
// write trims what the operator types and the compare applies the file's
// own trimming rules to each side.
#pragma once

#include <QDate>
#include <QString>
#include <QVector>

struct LoadFileEntry {
    QString name;
    bool selected = false;
};

struct PacSettings {
    bool slot2 = false;            // PELRA_FIRMWARE_SLOT is 2
    QString masterConfig;          // MASTERCONFIG
    QString gigeTimeout;           // GIGE_TIMEOUT, milliseconds as text
    QString dcf;                   // DCF
    QString acquireConfig;         // ACQUIRECONFIG
    QString manualRegTambril;      // MANUALREG_TAMBRIL
    QString manualRegOstera;       // MANUALREG_OSTERA
    QString dataPath;              // DATAPATH
    QVector<LoadFileEntry> loadFiles;   // LOADFILE array, in list order
};

// Fills `out` from the file; false (and `out` untouched) when the file is missing.
bool ReadPacSettings(const QString &iniPath, PacSettings &out);

// Writes the settings into an existing file, replacing the whole LOADFILE
// array and leaving unknown keys alone. False when the file is missing or
// could not be written.
bool WritePacSettings(const QString &iniPath, const PacSettings &window);

// True when the file differs from the window in anything that is compared
// (DCF and ACQUIRECONFIG are not); false when equal or the file is missing.
bool PacSettingsDiffer(const QString &iniPath, const PacSettings &window);

// The day's log file: the data path followed directly by "log", yyyyMMdd and
// ".txt". No separator is added, so "data" gives "datalog20261209.txt".
QString LogFileName(const QString &dataPath, const QDate &date);
