#include "pacsettings.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Application.LoadFiles");
const QString kSlot = QStringLiteral("PELRA_FIRMWARE_SLOT");
const QString kMaster = QStringLiteral("MASTERCONFIG");
const QString kGigeTimeout = QStringLiteral("GIGE_TIMEOUT");
const QString kDcf = QStringLiteral("DCF");
const QString kAcquire = QStringLiteral("ACQUIRECONFIG");
const QString kTambril = QStringLiteral("MANUALREG_TAMBRIL");
const QString kOstera = QStringLiteral("MANUALREG_OSTERA");
const QString kDataPath = QStringLiteral("DATAPATH");
const QString kLoadFile = QStringLiteral("LOADFILE");
const QString kName = QStringLiteral("NAME");
const QString kSelect = QStringLiteral("SELECT");

QString Text(const QSettings &ini, const QString &key)
{
    return ini.value(key).toString().trimmed();
}

bool StoredSlotIs2(const QSettings &ini)
{
    return ini.value(kSlot).toString().trimmed().toUInt() == 2;
}

}  // namespace

bool ReadPacSettings(const QString &iniPath, PacSettings &out)
{
    if (!QFileInfo(iniPath).isFile())
        return false;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    PacSettings s;
    s.slot2 = StoredSlotIs2(ini);
    s.masterConfig = Text(ini, kMaster);
    s.gigeTimeout = Text(ini, kGigeTimeout);
    s.dcf = Text(ini, kDcf);
    s.acquireConfig = Text(ini, kAcquire);
    s.manualRegTambril = Text(ini, kTambril);
    s.manualRegOstera = Text(ini, kOstera);
    s.dataPath = Text(ini, kDataPath);
    const int count = ini.beginReadArray(kLoadFile);
    for (int i = 0; i < count; ++i) {
        ini.setArrayIndex(i);
        const QString name = Text(ini, kName);
        if (name.isEmpty())
            continue;
        s.loadFiles.append({name, ini.value(kSelect).toBool()});
    }
    ini.endArray();
    out = s;
    return true;
}

bool WritePacSettings(const QString &iniPath, const PacSettings &window)
{
    if (!QFileInfo(iniPath).isFile())
        return false;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    ini.setValue(kSlot, window.slot2 ? QStringLiteral("2") : QStringLiteral("1"));
    ini.setValue(kMaster, window.masterConfig.trimmed());
    ini.setValue(kGigeTimeout, window.gigeTimeout.trimmed());
    ini.setValue(kDcf, window.dcf);
    ini.setValue(kAcquire, window.acquireConfig);
    ini.setValue(kTambril, window.manualRegTambril);
    ini.setValue(kOstera, window.manualRegOstera);
    ini.setValue(kDataPath, window.dataPath.trimmed());
    ini.remove(kLoadFile);
    ini.beginWriteArray(kLoadFile, window.loadFiles.size());
    for (int i = 0; i < window.loadFiles.size(); ++i) {
        ini.setArrayIndex(i);
        ini.setValue(kName, window.loadFiles.at(i).name);
        ini.setValue(kSelect, window.loadFiles.at(i).selected ? QStringLiteral("1") : QStringLiteral("0"));
    }
    ini.endArray();
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool PacSettingsDiffer(const QString &iniPath, const PacSettings &window)
{
    if (!QFileInfo(iniPath).isFile())
        return false;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    if (window.slot2 != StoredSlotIs2(ini))
        return true;
    if (Text(ini, kMaster) != window.masterConfig.trimmed())
        return true;
    if (Text(ini, kGigeTimeout) != window.gigeTimeout.trimmed())
        return true;
    // The field is compared as typed, so a stray blank raises the save question.
    if (Text(ini, kDataPath) != window.dataPath)
        return true;
    if (Text(ini, kTambril) != window.manualRegTambril || Text(ini, kOstera) != window.manualRegOstera)
        return true;
    const int count = ini.beginReadArray(kLoadFile);
    bool differs = count != window.loadFiles.size();
    for (int i = 0; i < count && !differs; ++i) {
        ini.setArrayIndex(i);
        const LoadFileEntry &row = window.loadFiles.at(i);
        differs = Text(ini, kName) != row.name.trimmed() || ini.value(kSelect).toBool() != row.selected;
    }
    ini.endArray();
    return differs;
}

QString LogFileName(const QString &dataPath, const QDate &date)
{
    return dataPath + QStringLiteral("log") + date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt");
}
