// Manual Command tab, block transfers: runs of consecutive card or ASIC
// registers read into the log and written from the data fields, and the
// card's OSTERA address auto-increment switch.
#include "mainwindow.h"

#include "manualcommand.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

namespace {

const QString kInvalidBlockAddress = QStringLiteral("Invalid block address. Expect [0, FFFF]");
const QString kInvalidBlockLength = QStringLiteral("Invalid block length. Expect [1, FFFF]");

}  // namespace

void MainWindow::on_btnASICBlkRead_clicked()
{
    quint16 start = 0;
    quint16 count = 0;
    if (!ManualCommand::ParseAddress(ui->txtASICBlkRdAddr->text(), &start)) {
        Log(kInvalidBlockAddress, true);
        return;
    }
    if (!ManualCommand::ParseBlockLength(ui->txtASICBlkLen->text(), &count)) {
        Log(kInvalidBlockLength, true);
        return;
    }
    const bool wide24 = ui->rdTAMBRIL->isChecked() && ui->chkASICRd24bit->isChecked();
    QVector<quint32> values;
    if (!pelraLink->ReadASICBlock(start, count, values, selectedAsicMask, wide24, ui->chkDMA->isChecked())) {
        Log(QStringLiteral("ASIC block read failed"), true);
        return;
    }
    Log(ManualCommand::BlockReadText(ui->txtASICBlkRdAddr->text(), count, values, wide24), true);
}

void MainWindow::on_btnPELRABlkRead_clicked()
{
    quint16 start = 0;
    quint16 count = 0;
    if (!ManualCommand::ParseAddress(ui->txtPELRABlkRdAddr->text(), &start)) {
        Log(kInvalidBlockAddress, true);
        return;
    }
    if (!ManualCommand::ParseBlockLength(ui->txtPELRABlkLen->text(), &count)) {
        Log(kInvalidBlockLength, true);
        return;
    }
    QVector<quint32> values;
    if (!pelraLink->ReadPELRABlock(start, count, values, selectedPelraMask)) {
        Log(GetPELRAString() + QStringLiteral(" block read failed. ") + pelraLink->ErrorString(), true);
        return;
    }
    Log(ManualCommand::BlockReadText(ui->txtPELRABlkRdAddr->text(), count, values, false), true);
}

// A data error stops the write before anything is sent.
void MainWindow::on_btnASICBlkWrite_clicked()
{
    const QStringList lines = ManualCommand::AsicBlockLines(ui->txtASICBlockData->toPlainText());
    const QString addressText = ui->txtASICBlkWrtAddr->text().trimmed();
    quint16 start = 0;
    if (!ManualCommand::ParseAddress(addressText, &start)) {
        Log(QStringLiteral("Invalid block ") + addressText, true);
        return;
    }
    QVector<quint32> values;
    const int bad = ManualCommand::ParseBlockValues(lines, 0xFFFFFFFF, &values);
    if (bad >= 0) {
        Log(QStringLiteral("Invalid line ") + lines.at(bad));
        return;
    }
    if (pelraLink->WriteASICBlock(start, values.size(), values, selectedAsicMask, ui->chkDMA->isChecked()))
        Log(QStringLiteral("Writing ASIC block succeeded"), true);
    else
        Log(QStringLiteral("Writing ASIC block failed ") + pelraLink->ErrorString(), true);
}

void MainWindow::on_btnPELRABlkWrite_clicked()
{
    const QStringList lines = ManualCommand::PelraBlockLines(ui->txtPELRABlockData->toPlainText());
    const QString addressText = ui->txtPELRABlkWrtAddr->text().trimmed();
    quint16 start = 0;
    if (!ManualCommand::ParseAddress(addressText, &start) || start == 0 || lines.isEmpty()) {
        Log(QStringLiteral("Invalid block ") + addressText, true);
        return;
    }
    QVector<quint32> values;
    const int bad = ManualCommand::ParseBlockValues(lines, 0xFFFF, &values);
    if (bad >= 0) {
        Log(QStringLiteral("Invalid block data ") + lines.at(bad));
        return;
    }
    const QString cards = GetPELRAString();
    if (pelraLink->WritePELRABlock(start, values.size(), values, selectedPelraMask))
        Log(QStringLiteral("Writing ") + cards + QStringLiteral(" block succeeded"), true);
    else
        Log(QStringLiteral("Writing ") + cards + QStringLiteral(" block failed ") + pelraLink->ErrorString(), true);
}

// Read-modify-write of card register 0x0102 bit 0. A failed change leaves
// the tick as the operator set it.
void MainWindow::on_chkOSTERAAddrInc_clicked(bool checked)
{
    const QString cards = GetPELRAString();
    quint32 control = 0;
    if (!pelraLink->ReadPELRAReg(0x0102, control, selectedPelraMask)) {
        Log(QStringLiteral("Reading ") + cards + QStringLiteral(" h0102 for modification of OSTERA Address Increment failed"));
        return;
    }
    const quint32 updated = ManualCommand::WithAddressIncrement(control, checked);
    const QString what = QStringLiteral("Configuration of OSTERA address increment (%1)").arg(updated);
    if (pelraLink->WritePELRAReg(0x0102, updated, selectedPelraMask))
        Log(what + QStringLiteral(" succeeded"));
    else
        Log(what + QStringLiteral(" failed. ") + pelraLink->ErrorString(), true);
}
