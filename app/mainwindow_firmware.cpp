// Firmware reload from the ticked EEPROM slot.
#include "mainwindow.h"

#include "cardtexts.h"
#include "dialogseam.h"
#include "manualcommand.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

// Reload ("ReLoad\nFirmware", and the first step of the master configuration):
//  1. mark the reload as not (yet) successful in the button's property;
//  2. reload the selected cards from the ticked slot;
//  3. log the firmware type the cards report;
//  4. when the operator pressed the button, tick the ASIC family that the new
//     firmware serves and offer that family's register table;
//  5. mark success for TAMBRIL or OSTERA firmware; the master configuration
//     stops on anything else.
void MainWindow::on_btnPELRAFirmware_clicked()
{
    const char *resultProperty = "btnPELRAFirmware";
    ui->btnPELRAFirmware->setProperty(resultProperty, false);
    const bool byOperator = sender() == ui->btnPELRAFirmware;
    const QString cards = GetPELRAString();
    const bool slot1 = ui->rdSlot1->isChecked();
    if (byOperator)
        Log(QStringLiteral("Load PELRA firmware in slot %1 ...").arg(slot1 ? 1 : 2), true);
    if (selectedPelraMask == 0) {
        Log(QStringLiteral("Invalid PELRA Ids. Select PELRAs on GUI"));
        return;
    }

    const quint16 typeCode = pelraLink->LoadPELRAFirmware(slot1, selectedPelraMask);
    bool operational = false;
    Log(FirmwareReloadMessage(typeCode, cards, &operational));
    if (!operational)
        return;

    if (byOperator) {
        QString question;
        if (typeCode == PELRA_Global::FIRMWARE_ID_OSTERA && !ui->rdOSTERA->isChecked()) {
            ui->rdOSTERA->setChecked(true);
            question = ManualCommand::FamilySwitchQuestion(false);
        } else if (typeCode == PELRA_Global::FIRMWARE_ID_TAMBRIL && !ui->rdTAMBRIL->isChecked()) {
            ui->rdTAMBRIL->setChecked(true);
            question = ManualCommand::FamilySwitchQuestion(true);
        }
        AskFamilyRegisterTable(question);
    }
    ui->btnPELRAFirmware->setProperty(resultProperty, true);
}
