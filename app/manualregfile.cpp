#include "manualregfile.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kAsic = QStringLiteral("Application.ASIC");
const QString kAsicBlocks = QStringLiteral("Application.ASIC_Blocks");
const QString kAsicRegisters = QStringLiteral("Application.ASIC_Registers");
const QString kPelraRegisters = QStringLiteral("Application.PELRA_Registers");
const QString kPelraBlocks = QStringLiteral("Application.PELRA_Blocks");
const QString kDmaMspi = QStringLiteral("DMA_MSPI");
const QString kRead24 = QStringLiteral("R_24BIT");
const QString kReadAddress = QStringLiteral("R_ADDR");
const QString kReadLength = QStringLiteral("R_LEN");
const QString kWriteAddress = QStringLiteral("W_ADDR");
const QString kWriteValues = QStringLiteral("W_VAL");
const QString kData = QStringLiteral("DATA");
const QString kAsicArray = QStringLiteral("ASIC");
const QString kPelraArray = QStringLiteral("PELRA");
const QString kReg = QStringLiteral("REG");
const QString kWriteValue = QStringLiteral("WVAL");
const QString kReadValue = QStringLiteral("RVAL");
const QString kFlag = QStringLiteral("24BIT_MSPI");

// An unquoted value with commas comes back from the INI reader as a list.
QString Text(const QSettings &ini, const QString &key)
{
    const QVariant value = ini.value(key);
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", ")).trimmed();
    return value.toString().trimmed();
}

bool Flag(const QSettings &ini, const QString &key)
{
    const QString text = Text(ini, key);
    return !text.isEmpty() && text != QLatin1String("0") && text.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}

QString FlagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

int BoundedArray(QSettings &ini, const QString &name)
{
    return qBound(0, ini.beginReadArray(name), MaxManualRegEntries);
}

QStringList ReadLines(QSettings &ini)
{
    QStringList lines;
    const int count = BoundedArray(ini, kWriteValues);
    for (int i = 0; i < count; ++i) {
        ini.setArrayIndex(i);
        lines << Text(ini, kData);
    }
    ini.endArray();
    return lines;
}

void WriteLines(QSettings &ini, const QStringList &lines)
{
    ini.remove(kWriteValues);
    ini.beginWriteArray(kWriteValues, lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        ini.setArrayIndex(i);
        ini.setValue(kData, lines.at(i).trimmed());
    }
    ini.endArray();
}

void ReadBlocks(QSettings &ini, const QString &section, ManualRegBlocks &blocks)
{
    ini.beginGroup(section);
    blocks.read24 = Flag(ini, kRead24);
    blocks.readAddress = Text(ini, kReadAddress);
    blocks.readLength = Text(ini, kReadLength);
    blocks.writeAddress = Text(ini, kWriteAddress);
    blocks.writeLines = ReadLines(ini);
    ini.endGroup();
}

void WriteBlocks(QSettings &ini, const QString &section, const ManualRegBlocks &blocks, bool withRead24)
{
    ini.beginGroup(section);
    if (withRead24)
        ini.setValue(kRead24, FlagText(blocks.read24));
    ini.setValue(kReadAddress, blocks.readAddress.trimmed());
    ini.setValue(kReadLength, blocks.readLength.trimmed());
    ini.setValue(kWriteAddress, blocks.writeAddress.trimmed());
    WriteLines(ini, blocks.writeLines);
    ini.endGroup();
}

QVector<ManualRegRow> ReadRows(QSettings &ini, const QString &section, const QString &array, bool withFlag)
{
    QVector<ManualRegRow> rows;
    ini.beginGroup(section);
    const int count = BoundedArray(ini, array);
    for (int i = 0; i < count; ++i) {
        ini.setArrayIndex(i);
        ManualRegRow row;
        row.reg = Text(ini, kReg);
        row.writeValue = Text(ini, kWriteValue);
        row.readValue = Text(ini, kReadValue);
        row.flag = withFlag && Flag(ini, kFlag);
        rows << row;
    }
    ini.endArray();
    ini.endGroup();
    return rows;
}

void WriteRows(QSettings &ini, const QString &section, const QString &array, const QVector<ManualRegRow> &rows,
               bool withFlag)
{
    ini.beginGroup(section);
    ini.remove(array);
    ini.beginWriteArray(array, rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        ini.setArrayIndex(i);
        const ManualRegRow &row = rows.at(i);
        ini.setValue(kReg, row.reg.trimmed());
        ini.setValue(kWriteValue, row.writeValue.trimmed());
        ini.setValue(kReadValue, row.readValue.trimmed());
        if (withFlag)
            ini.setValue(kFlag, FlagText(row.flag));
    }
    ini.endArray();
    ini.endGroup();
}

bool LinesDiffer(const QStringList &tab, const QStringList &file)
{
    if (tab.size() != file.size())
        return true;
    for (int i = 0; i < tab.size(); ++i)
        if (tab.at(i).trimmed() != file.at(i).trimmed())
            return true;
    return false;
}

bool RowsDiffer(const QVector<ManualRegRow> &tab, const QVector<ManualRegRow> &file, bool withFlag)
{
    if (tab.size() != file.size())
        return true;
    for (int i = 0; i < tab.size(); ++i) {
        const ManualRegRow &a = tab.at(i);
        const ManualRegRow &b = file.at(i);
        if (a.reg.trimmed() != b.reg.trimmed() || a.writeValue.trimmed() != b.writeValue.trimmed()
            || a.readValue.trimmed() != b.readValue.trimmed() || (withFlag && a.flag != b.flag))
            return true;
    }
    return false;
}

}  // namespace

QStringList BlockDataLines(const QString &plainText)
{
    QStringList lines = plainText.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    return lines;
}

bool ReadManualRegFile(const QString &path, ManualRegTable &out)
{
    if (!QFileInfo(path).isFile())
        return false;
    QSettings ini(path, QSettings::IniFormat);
    ManualRegTable t;
    ini.beginGroup(kAsic);
    t.dmaMspi = Flag(ini, kDmaMspi);
    ini.endGroup();
    ReadBlocks(ini, kAsicBlocks, t.asicBlocks);
    t.asicRows = ReadRows(ini, kAsicRegisters, kAsicArray, true);
    t.pelraRows = ReadRows(ini, kPelraRegisters, kPelraArray, false);
    ReadBlocks(ini, kPelraBlocks, t.pelraBlocks);
    t.pelraBlocks.read24 = false;
    out = t;
    return true;
}

bool WriteManualRegFile(const QString &path, const ManualRegTable &tab)
{
    if (!QFileInfo(path).isFile())
        return false;
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(kAsic);
    ini.setValue(kDmaMspi, FlagText(tab.dmaMspi));
    ini.endGroup();
    WriteBlocks(ini, kAsicBlocks, tab.asicBlocks, true);
    WriteRows(ini, kAsicRegisters, kAsicArray, tab.asicRows, true);
    WriteRows(ini, kPelraRegisters, kPelraArray, tab.pelraRows, false);
    WriteBlocks(ini, kPelraBlocks, tab.pelraBlocks, false);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool ManualRegTablesDiffer(const ManualRegTable &tab, const ManualRegTable &file)
{
    if (tab.dmaMspi != file.dmaMspi || tab.asicBlocks.read24 != file.asicBlocks.read24)
        return true;
    const ManualRegBlocks &a = tab.asicBlocks;
    const ManualRegBlocks &b = file.asicBlocks;
    if (a.readAddress.trimmed() != b.readAddress.trimmed() || a.readLength.trimmed() != b.readLength.trimmed()
        || a.writeAddress.trimmed() != b.writeAddress.trimmed() || LinesDiffer(a.writeLines, b.writeLines))
        return true;
    if (RowsDiffer(tab.asicRows, file.asicRows, true) || RowsDiffer(tab.pelraRows, file.pelraRows, false))
        return true;
    return tab.pelraBlocks.writeAddress.trimmed() != file.pelraBlocks.writeAddress.trimmed()
           || LinesDiffer(tab.pelraBlocks.writeLines, file.pelraBlocks.writeLines);
}
