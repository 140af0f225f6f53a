// Register-table files: the whole content of the Manual Command tab (both
// register tables and the block-transfer fields) as an INI file, one file per
// ASIC family.
//
//   [Application.ASIC]            DMA_MSPI
//   [Application.ASIC_Blocks]     R_24BIT, R_ADDR, R_LEN, W_ADDR, W_VAL\i\DATA
//   [Application.ASIC_Registers]  ASIC\i\REG, WVAL, RVAL, 24BIT_MSPI
//   [Application.PELRA_Registers] PELRA\i\REG, WVAL, RVAL
//   [Application.PELRA_Blocks]    R_ADDR, R_LEN, W_ADDR, W_VAL\i\DATA
//
// Texts are trimmed when written and when read; a missing key reads as empty
// text. A boolean is true unless it is empty, "0" or "false"; it is written as
// "1" or "0". Register texts are kept as typed: they are checked only when a
// row is used.
//
// Reading is bounded: whatever the file holds, an array yields at most
// MaxManualRegEntries entries (one per register address), so a garbled or
// hostile size entry cannot make the tab build millions of rows.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

constexpr int MaxManualRegEntries = 65536;

struct ManualRegRow {
    QString reg;
    QString writeValue;
    QString readValue;
    bool flag = false;       // ASIC rows: 24-bit read (TAMBRIL) or mSPI access (OSTERA)
};

struct ManualRegBlocks {
    bool read24 = false;     // ASIC side only
    QString readAddress;
    QString readLength;
    QString writeAddress;
    QStringList writeLines;
};

struct ManualRegTable {
    bool dmaMspi = false;
    ManualRegBlocks asicBlocks;
    QVector<ManualRegRow> asicRows;
    QVector<ManualRegRow> pelraRows;
    ManualRegBlocks pelraBlocks;
};

// The lines of a block-data field as the file keeps them: split at line feeds
// with empty pieces kept, each trimmed ("000000\n" gives "000000" and "").
QStringList BlockDataLines(const QString &plainText);

// Fills `out` from the file; false (and `out` untouched) when there is no file.
bool ReadManualRegFile(const QString &path, ManualRegTable &out);

// Writes the tab into an existing file, replacing each array whole and
// leaving keys this layout does not name alone. False when there is no file
// or it could not be written; a new file is never created.
bool WriteManualRegFile(const QString &path, const ManualRegTable &tab);

// True at the first difference between the tab and the file. The PELRA block
// read address and length are not compared.
bool ManualRegTablesDiffer(const ManualRegTable &tab, const ManualRegTable &file);
