// The Stop button of the Data Acquisition tab and the check that long waits
// of an acquisition make between their steps.
#include "mainwindow.h"

#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QThread>

namespace {

const char StopFlag[] = "bStopAcqFlag";

QString Hex4(quint32 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

}  // namespace

void MainWindow::on_btnStopAcq_clicked()
{
    ui->btnStopAcq->setProperty(StopFlag, true);
}

// Serves the window (so that Stop can be pressed) and, once Stop was pressed,
// stops the exposure or the test pattern:
//  1. image acquisition: write the group's STOPVAL to its trigger register;
//  2. test pattern: write 0 to the link's pattern trigger register;
//  3. give the frame in flight the group's time-out and half a second to end.
// The request stays set after a clean stop, so that the run ends; a failed
// stop clears it.
int MainWindow::GUI_IsAcquistionStopped()
{
    QCoreApplication::processEvents();
    if (!ui->btnStopAcq->property(StopFlag).toBool())
        return 0;
    Log(QStringLiteral("Stop button pressed. Acquisition will stop after the current frame is completed, wait..."));

    const PELRA_Global::AcqParam *g = SelectedAcqParam();
    if (!g || g->trgDest != 0) {
        if (!g || g->stopVal == PELRA_Global::ACQ_VALUE_UNDEFINED) {
            Log(QStringLiteral("The parameter (stopval) for stopping exposure is not defined in ") + acqConfigFile);
            ui->btnStopAcq->setProperty(StopFlag, false);
            return 2;
        }
        if (!pelraLink->WriteASICReg(g->trgReg, g->stopVal, selectedAsicMask, false)) {
            Log(QStringLiteral("Stopping acquisition by writing ASIC 0x") + Hex4(g->trgReg) + QStringLiteral(" with 0x")
                + Hex4(g->stopVal) + QStringLiteral(" failed: ") + pelraLink->ErrorString());
            ui->btnStopAcq->setProperty(StopFlag, false);
            return 2;
        }
    } else {
        const PELRA_InterfaceType link = ChosenLink();
        const quint16 reg = link == InterfaceGigE ? 0x1D1 : link == InterfaceUSB ? 0x1E1 : 0x1C0;
        if (!pelraLink->WritePELRAReg(reg, 0, selectedPelraMask)) {
            Log(QStringLiteral("Stopping pattern by writing ") + GetPELRAString() + QStringLiteral(" 0x") + Hex4(reg)
                + QStringLiteral(" with 0 failed: ") + pelraLink->ErrorString());
            ui->btnStopAcq->setProperty(StopFlag, false);
            return 2;
        }
    }
    QThread::msleep(g->timeout + 500u);
    Log(QStringLiteral("Acquisition stopped"));
    return 1;
}
