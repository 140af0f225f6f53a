// Master configuration ("Load Master Config"): one file that brings the cards
// and ASICs it names from power-up to a known state.
#include "mainwindow.h"

#include "masterconfig.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

// The master configuration; each failing step ends it and nothing is undone:
//  1. check the master file, the Camera Link camera file, the data folder and
//     the log file;
//  2. read the file; take the card and ASIC selection from it (card 1 and
//     ASIC 1 when it names none);
//  3. reload the firmware of those cards when "Load PELRA Firmware" is ticked;
//  4. run the wait and load lines in file order;
//  5. refresh the buffer estimate, clear the error counters, set the
//     multi-ASIC options by the answering cards and ASICs;
//  6. follow the firmware family and offer its register table.
void MainWindow::on_btMasterConfig_clicked()
{
    const QString fieldText = ui->txtMcf->text();
    const QString path = fieldText.trimmed();
    if (!QFileInfo::exists(path)) {
        Log(QStringLiteral("Master config file ") + fieldText + QStringLiteral(" does not exist!"), true);
        return;
    }
    Log(QStringLiteral("Load master config ") + fieldText + QStringLiteral(" ..."), true);

    if (ui->rdCamLink->isChecked() && !QFileInfo::exists(dcfFile)) {
        Log(QStringLiteral("CameraLink dcf file ") + dcfFile + QStringLiteral(" does not exist!"), true);
        return;
    }
    const QString dataFolder = ui->txtDatapath->text().trimmed();
    if (!QDir(dataFolder).exists()) {
        QDir().mkpath(dataFolder);
        if (!QDir(dataFolder).exists()) {
            Log(QStringLiteral("Creating data directory failed. Please manually create it: ") + dataFolder);
            return;
        }
    }
    if (!ValidateLogFile())
        return;

    QStringList lines;
    switch (MasterConfig::ReadLines(path, lines)) {
    case MasterConfig::ReadStatus::Ok:
        break;
    case MasterConfig::ReadStatus::OpenFailed:
        Log(QStringLiteral("Opening Master Config file failed"));
        return;
    case MasterConfig::ReadStatus::TooLarge:
        Log(QStringLiteral("Opening Master Config file failed: larger than %1 bytes").arg(MasterConfig::MaxFileBytes));
        return;
    }

    const MasterConfig::Selection selection = MasterConfig::ReadSelection(lines);
    for (const QString &line : selection.loggedLines)
        Log(line);
    if (!selection.error.isEmpty()) {
        Log(selection.error);
        return;
    }
    quint8 cardMask = selection.cardMask;
    quint8 asicMask = selection.asicMask;
    if (cardMask == 0) {
        Log(QStringLiteral("Warning: PELRA Ids not defined in pac.ini. Default PELRA 1 will be operated"));
        cardMask = 1;
    }
    if (asicMask == 0) {
        Log(QStringLiteral("Warning: ASIC Ids not defined in pac.ini. Default ASIC 1 will be operated"));
        asicMask = 1;
    }

    if (ui->chkPELRAFirmware->isChecked()) {
        // The reload works on the window's selection; lend it the file's cards.
        const quint8 windowMask = selectedPelraMask;
        selectedPelraMask = cardMask;
        on_btnPELRAFirmware_clicked();
        selectedPelraMask = windowMask;
        if (!ui->btnPELRAFirmware->property("btnPELRAFirmware").toBool())
            return;
    }

    for (const MasterConfig::Command &command : MasterConfig::ReadCommands(lines)) {
        if (command.kind == MasterConfig::Command::Wait) {
            QThread::msleep(command.waitMs);
            continue;
        }
        const QString file = MasterConfig::ResolveLoadPath(command.path, path);
        if (!pelraLink->DownloadSingleFile(file, cardMask, asicMask, false)) {
            Log(QStringLiteral("Failed. ") + pelraLink->ErrorString());
            return;
        }
        Log(QStringLiteral("Loading ") + file + QStringLiteral(" succeeded"));
    }

    PreCalculateBufferSize();

    if (!pelraLink->ResetErrCounters(cardMask)) {
        Log(QStringLiteral("Reset error counters failed"));
        return;
    }
    Log(QStringLiteral("Reset error counters succeeded"));

    const int cards = qPopulationCount(GetAvailablePELRAs(false));
    const int asics = qPopulationCount(GetAvailableASICs(false));
    const bool several = cards > 1 || asics > 1;
    ui->chkMultiFIFO->setChecked(several);
    ui->chkProcessMultiSciData->setChecked(several);

    QString question;
    if (!TakeFirmwareFamily(pelraLink->GetAsicType(cardMask), question))
        Log(QStringLiteral("No valid PELRA firmware detected"));
    AskFamilyRegisterTable(question);
    Log(QStringLiteral("Loading master config file succeeded"));
}
