// Manual Command tab, diagnostics: the card's error counters by name, their
// reset, the FIFO status and the ASIC reset.
#include "mainwindow.h"

#include "cardhealth.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

void MainWindow::on_btnReadErrCnt_clicked()
{
    const QString cards = GetPELRAString();
    QVector<quint32> counters;
    if (!pelraLink->GetPelraFIFOErrCounter(counters, selectedPelraMask)) {
        Log(QStringLiteral("Read ") + cards + QStringLiteral(" error counters failed.") + pelraLink->ErrorString());
        return;
    }
    const QStringList &names = ErrorCounterNames(pelraLink->GetAsicType(selectedPelraMask));
    Log(cards + QStringLiteral(" Error Counters (with errors):"), true);
    const QStringList lines = ErrorCounterLines(counters, names);
    for (const QString &line : lines)
        Log(line);
    if (lines.isEmpty())
        Log(QStringLiteral("No Error found"));
}

void MainWindow::on_btnClearErr_clicked()
{
    if (pelraLink->ResetErrCounters(selectedPelraMask))
        Log(QStringLiteral("Reset error counters succeeded"), true);
    else
        Log(QStringLiteral("Reset error counters failed. ") + pelraLink->ErrorString(), true);
}

// A failed block read ends the report; a failed layout read does not.
void MainWindow::on_btnFIFO_clicked()
{
    const QString cards = GetPELRAString();
    QVector<quint32> words;
    if (!pelraLink->ReadPELRABlock(0x01A0, 12, words, selectedPelraMask)) {
        Log(QStringLiteral("Reading ") + cards + QStringLiteral(" block 0x01a0 for FIFO status failed: ")
            + pelraLink->ErrorString());
        return;
    }
    quint32 layout = 0;
    if (!pelraLink->ReadPELRAReg(0xFFFE, layout, selectedPelraMask)) {
        Log(QStringLiteral("WARNING: Reading ") + cards + QStringLiteral(" 0xfffe for multi-PELRA vs. single-PELRA failed: ")
            + pelraLink->ErrorString());
        layout = 0;
    }
    for (const QString &line : FifoStatusLines(words, IsSingleFifoLayout(layout)))
        Log(line);
}

void MainWindow::on_btnReset_clicked()
{
    Log(QStringLiteral("Reset ASICs, wait...."), true);
    if (pelraLink->ResetASICs(AsicResetPolarity(), selectedPelraMask))
        Log(QStringLiteral("Succeeded. Please reload ASIC firmware for operation"));
    else
        Log(QStringLiteral("Failed: ") + pelraLink->ErrorString(), true);
}

// The reset pulse polarity of the acquisition parameter group selected in
// AcqSelect; with no group loaded, that of a new group (low pulse).
bool MainWindow::AsicResetPolarity() const
{
    const PELRA_Global::AcqParam *group = SelectedAcqParam();
    return group ? group->resetPolarity : PELRA_Global::AcqParam().resetPolarity;
}
