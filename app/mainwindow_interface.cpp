// Interface selection: finding the cards, choosing one card and link, and
// switching the link later with the three radio buttons.
#include "mainwindow.h"

#include "cardtexts.h"
#include "interfacelistdlg.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

// The interface check ("Check Interfaces", and once at start-up):
//  1. disable the link radio buttons;
//  2. take the discovery wait from the GigE time-out field;
//  3. discover the cards and log each card's links;
//  4. with several cards, let the operator choose one in InterfaceListDlg;
//  5. show the chosen card's links and firmware slots, tick its current link;
//  6. probe the answering cards and read the firmware type, ticking the
//     matching ASIC family;
//  7. end with the register table of the ticked family (btnInterface_LocalCleanup).
void MainWindow::on_btnInterface_clicked()
{
    Log(QStringLiteral("Check PELRA communication interface..."), true);
    QString question;
    ui->rdCamLink->setEnabled(false);
    ui->rdGigE->setEnabled(false);
    ui->rdUSB->setEnabled(false);

    // Text that is no number counts as 0, which discovery takes as its default wait.
    const int wait = ui->txtGigETimeout->text().trimmed().toInt();
    if (wait < 0) {
        Log(QStringLiteral("Invalid GigE timeout!"));
        btnInterface_LocalCleanup(question);
        return;
    }

    QVector<quint8 *> extraAddresses;
    QVector<PELRA_Card> cards;
    if (!pelraLink->CheckInterfaces(0, wait, extraAddresses, cards))
        Log(QStringLiteral("Checking PELRA interface failed: ") + pelraLink->ErrorString());
    if (cards.isEmpty()) {
        Log(QStringLiteral("No communication interface found"));
        btnInterface_LocalCleanup(question);
        return;
    }

    for (int i = 0; i < cards.size(); ++i) {
        const PELRA_Card &card = cards.at(i);
        const QString prefix = CardLogPrefix(card.cardId);
        if (card.hasGigE)
            Log(prefix + QStringLiteral(" GigE Port connected at IP Address ") + DottedAddress(card));
        if (card.hasUART)
            Log(prefix + QLatin1Char(' ') + pelraLink->PELRASerialPortInfo(i));
        if (card.hasUSB)
            Log(prefix + QStringLiteral(" USB Port connected"));
    }

    PELRA_InterfaceType kind = pelraLink->GetCurrentInterfaceType(&selectedCardId);
    int chosen = 0;
    if (cards.size() >= 2) {
        InterfaceListDlg dialog(this);
        dialog.SetInterfaceList(cards, cards.size());
        if (dialog.exec() == QDialog::Accepted && dialog.SelectedInterface() >= 1) {
            chosen = dialog.SelectedInterface();
            selectedCardId = cards.at(chosen).cardId;
            kind = BestInterface(cards.at(chosen));
            pelraLink->SetCurrentInterfaceType(selectedCardId, kind);
        }
    }
    ShowChosenCard(cards.at(chosen), kind);

    const quint8 answering = GetAvailablePELRAs(false);
    if (!TakeFirmwareFamily(pelraLink->GetAsicType(selectedPelraMask), question)) {
        Log(QStringLiteral("No valid PELRA firmware on ") + GetPELRAString() + QStringLiteral(" detected!"));
        btnInterface_LocalCleanup(question);
        return;
    }
    if (answering)
        Log(QStringLiteral("Checking interface succeeded"));
    btnInterface_LocalCleanup(question);
}

void MainWindow::ShowChosenCard(const PELRA_Card &card, PELRA_InterfaceType kind)
{
    ui->rdGigE->setEnabled(card.hasGigE);
    ui->rdGigE->setText(GigeRadioText(card));
    ui->lblGigETimeout->setEnabled(card.hasGigE);
    ui->txtGigETimeout->setEnabled(card.hasGigE);
    ui->rdCamLink->setEnabled(card.hasUART);
    ui->rdCamLink->setText(CamLinkRadioText(card));
    ui->rdUSB->setEnabled(card.hasUSB);
    ui->rdUSB->setText(UsbRadioText(card));
    ui->grpInterface->setTitle(InterfaceGroupTitle(card.cardId));
    ui->rdSlot1->setText(QStringLiteral("Slot 1: ") + card.firmwareSlot1);
    ui->rdSlot2->setText(QStringLiteral("Slot 2: ") + card.firmwareSlot2);

    switch (kind) {
    case InterfaceGigE: ui->rdGigE->setChecked(true); break;
    case InterfaceUART: ui->rdCamLink->setChecked(true); break;
    case InterfaceUSB: ui->rdUSB->setChecked(true); break;
    case InterfaceNone: break;
    }
}

void MainWindow::OnChangeInterface(bool checked)
{
    if (!checked)
        return;
    PELRA_InterfaceType kind = InterfaceUART;
    if (ui->rdCamLink->isChecked())
        kind = InterfaceUART;
    else if (ui->rdGigE->isChecked())
        kind = InterfaceGigE;
    else if (ui->rdUSB->isChecked())
        kind = InterfaceUSB;
    if (pelraLink->SetCurrentInterfaceType(selectedCardId, kind) != 0)
        Log(QStringLiteral("Changing PELRA interface succeeded"));
    else
        Log(QStringLiteral("Changing PELRA interface failed: ") + pelraLink->ErrorString());
}

QString MainWindow::GetPELRAString() const
{
    return PelraListText(selectedPelraMask);
}
