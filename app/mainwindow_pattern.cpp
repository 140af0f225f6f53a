// The card's test pattern: its frame geometry, the FIFO mode for the ASIC
// FIFO patterns and the restore of that mode after the run.
#include "mainwindow.h"

#include "patternfifo.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QCheckBox>

using PELRA_Global::AcqParam;

// Used instead of the ramp set-up: one exposure of `txtRead` pattern frames
// without resets. Returns the frames per exposure, or 0 after logging why not.
int MainWindow::ConfigPELRATestPattern(int &firstFrameTimeout, int &frameTimeout)
{
    const AcqParam *g = SelectedAcqParam();
    if (!g) {
        Log(QStringLiteral("Invalid acquisition code type. No entry available in the parameter list"));
        return 0;
    }
    const quint16 width = ui->txtImgWidth->text().trimmed().toUShort();
    const quint16 height = ui->txtImgHight->text().trimmed().toUShort();
    const quint16 frames = ui->txtRead->text().trimmed().toUShort();
    ui->txtRamp->setText(QStringLiteral("1"));
    ui->txtGroup->setText(QStringLiteral("1"));
    ui->txtReset->setText(QStringLiteral("0"));
    if (width == 0 || height == 0 || frames == 0) {
        Log(QStringLiteral("Invalid Image width, height and number of reads. Should be in the range [1, 65535]"));
        return 0;
    }

    const quint16 base = AcqPattern::GeometryBase(g->testPattern, ChosenLink());
    const quint32 geometry[] = {quint32(width - 1), quint32(height - 1), frames};
    for (quint16 i = 0; i < 3; ++i) {
        if (!pelraLink->WritePELRAReg(quint16(base + i), geometry[i], selectedPelraMask)) {
            Log(GetPELRAString() + QStringLiteral(" test pattern configuration for image width, height and number of images failed"));
            return 0;
        }
    }
    Log(GetPELRAString() + QStringLiteral(" pattern configuration for for image width, height and number of images succeeded"));
    firstFrameTimeout = frameTimeout = g->timeout * 2 + 5000;
    return frames;
}

// The ASIC FIFO patterns need the cards' FIFOs in pattern mode and the FIFO
// of every selected ASIC enabled:
//  1. keep 0x1B0 of the cards for the restore and switch on the pattern mode bits;
//  2. read the enable bits 0x1B1 and add those of the selected ASICs, card by
//     card, selecting every card that gets a new value.
bool MainWindow::ConfigurePELRAPatternFFO()
{
    const AcqParam *g = SelectedAcqParam();
    if (!g)
        return true;
    const AcqPattern::FifoMode mode = AcqPattern::FifoModeFor(*g, ChosenLink());
    if (mode == AcqPattern::FifoMode::None)
        return true;

    fifoConfigSaved = false;
    if (!pelraLink->ReadPELRAReg(AcqPattern::FifoModeRegister, savedFifoConfig, 0xFF)) {
        Log(QStringLiteral("Reading PELRA register 0x1b0 for preparing PELRA pattern configuration failed"));
        return false;
    }
    fifoConfigSaved = true;
    if (!pelraLink->WritePELRAReg(AcqPattern::FifoModeRegister, savedFifoConfig | AcqPattern::FifoPatternModeBits, 0xFF)) {
        Log(QStringLiteral("Configuration for FIFO mode of PELRA test pattern failed (writing PELRA 0x01b0)"));
        return false;
    }
    quint32 enabled = 0;
    if (!pelraLink->ReadPELRAReg(AcqPattern::FifoEnableRegister, enabled, 0xFF)) {
        Log(QStringLiteral("Reading all PELRAs 0x1b1 to prepare the pattern triggering failed"));
        return false;
    }
    if (mode == AcqPattern::FifoMode::Unknown) {
        Log(QStringLiteral("Unexpected PELRA Test Pattern in Config_Acquire.ini file"));
        return false;
    }

    const bool twoX = mode == AcqPattern::FifoMode::TwoX;
    QCheckBox *const cardBoxes[] = {ui->chkPELRA1, ui->chkPELRA2, ui->chkPELRA3, ui->chkPELRA4,
                                    ui->chkPELRA5, ui->chkPELRA6, ui->chkPELRA7, ui->chkPELRA8};
    for (const AcqPattern::CardWrite &w : AcqPattern::FifoEnableWrites(mode, enabled, selectedAsicMask)) {
        const quint8 card = quint8(1u << (w.card - 1));
        cardBoxes[w.card - 1]->setChecked(true);
        selectedPelraMask |= card;
        if (!pelraLink->WritePELRAReg(AcqPattern::FifoEnableRegister, w.value, card)) {
            Log(QStringLiteral("Configuration for PELRA %1 pattern (%2) failed. ")
                    .arg(w.card)
                    .arg(twoX ? QStringLiteral("FIFO_2X") : QStringLiteral("FIFO_1X"))
                + pelraLink->ErrorString());
            return false;
        }
    }
    Log(twoX ? QStringLiteral("Configuration for PELRA FIFO_2X succeeded")
             : QStringLiteral("Configuraiton for PELRA FIFO_1X succeeded"));
    return true;
}

// Puts back the FIFO mode that ConfigurePELRAPatternFFO found; the enable
// bits of 0x1B1 stay. Nothing is written unless that mode was read, so a
// set-up that failed before reading it cannot overwrite the card's mode.
bool MainWindow::RestorePELRAPatternFFO()
{
    const AcqParam *g = SelectedAcqParam();
    if (!g || g->trgDest != 0 || ChosenLink() == InterfaceUART
        || g->testPattern.toUpper() == QLatin1String("PORT_FIFO") || !fifoConfigSaved)
        return true;
    fifoConfigSaved = false;
    if (!pelraLink->WritePELRAReg(AcqPattern::FifoModeRegister, savedFifoConfig, 0xFF)) {
        Log(QStringLiteral("Restoring default PELRA FIFO configuration at register 0x1b0 failed. ")
            + pelraLink->ErrorString());
        return false;
    }
    return true;
}
