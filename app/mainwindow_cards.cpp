// Available cards and ASICs: probing the positions behind the current link
// and keeping the operator's card and ASIC selection masks.
#include "mainwindow.h"

#include "cardtexts.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QDateTime>

namespace {

QVector<QCheckBox *> PelraBoxes(const Ui::MainWindow *ui)
{
    return {ui->chkPELRA1, ui->chkPELRA2, ui->chkPELRA3, ui->chkPELRA4,
            ui->chkPELRA5, ui->chkPELRA6, ui->chkPELRA7, ui->chkPELRA8};
}

QVector<QCheckBox *> AsicBoxes(const Ui::MainWindow *ui)
{
    return {ui->chkASIC1, ui->chkASIC2, ui->chkASIC3, ui->chkASIC4,
            ui->chkASIC5, ui->chkASIC6, ui->chkASIC7, ui->chkASIC8};
}

quint8 MaskOf(const QVector<QCheckBox *> &boxes)
{
    quint8 mask = 0;
    for (int n = 0; n < boxes.size(); ++n) {
        if (boxes.at(n)->isChecked())
            mask |= quint8(1u << n);
    }
    return mask;
}

void TickByMask(const QVector<QCheckBox *> &boxes, quint8 mask)
{
    for (int n = 0; n < boxes.size(); ++n)
        boxes.at(n)->setChecked(mask & (1u << n));
}

}  // namespace

// The result line goes to the panel only, not to the log file.
void MainWindow::AppendHtmlToLog(const QString &html)
{
    ui->txtLog->appendHtml(html);
    ui->txtLog->viewport()->repaint();
}

quint8 MainWindow::GetAvailablePELRAs(bool tick)
{
    const quint8 mask = pelraLink->GetAvailablePELRAs();
    AppendHtmlToLog(AvailablePelrasHtml(QDateTime::currentDateTime(), mask));
    if (tick) {
        TickByMask(PelraBoxes(ui), mask);
        selectedPelraMask = mask;
    }
    return mask;
}

quint8 MainWindow::GetAvailableASICs(bool tick)
{
    const QDateTime when = QDateTime::currentDateTime();
    const quint8 mask = pelraLink->GetAvailableASICs();
    AppendHtmlToLog(AvailableAsicsHtml(when, mask, pelraLink->ErrorString()));
    if (tick) {
        TickByMask(AsicBoxes(ui), mask);
        selectedAsicMask = mask;
    }
    return mask;
}

void MainWindow::OnSelectPELRA_ASIC()
{
    selectedAsicMask = MaskOf(AsicBoxes(ui));
    selectedPelraMask = MaskOf(PelraBoxes(ui));
}

void MainWindow::on_btnGetPELRA_ASIC_clicked()
{
    Log(QStringLiteral("Get Available PELRAs and ASICs..."), true);
    GetAvailablePELRAs(true);
    const PELRA_ASICType type = pelraLink->GetAsicType(selectedPelraMask);
    GetAvailableASICs(true);
    if (type != AsicTambril && type != AsicOstera)
        Log(QStringLiteral("WARNING: No operational PELRA firmware (for TAMBRIL or OSTERA) detected!"));
}
