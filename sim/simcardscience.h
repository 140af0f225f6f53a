// The science side of one simulated card: what starts and stops frames, which
// path they take, and what the card's FIFO status and error counters show.
//
// Frames start
//   - with the port-FIFO test pattern: 0x1D1 (GigE) or 0x1E1 (USB) <- non-zero
//     while that path is on (0x1D0 / 0x1E0 bit 0); geometry at 0x1D2 / 0x1E2
//     (width - 1, height - 1, frames); <- 0 stops it;
//   - with the ASIC-FIFO test pattern: 0x1B0 in pattern mode (0x2F set) and
//     ASIC FIFOs enabled in 0x1B1 (bit 0: first ASIC, bit 2: second) when a
//     path is switched on; geometry at 0x1B2; two ASIC FIFOs are interleaved
//     in blocks of 0x1B6 + 1 pixels when 0x1B5 holds 0x10FF;
//   - with an ASIC exposure: the trigger value written to the ASICs' trigger
//     register (simexposure.h) sends the ramp its registers hold: reset frames
//     (when the send-reset bit is set), then groups x reads read frames, one
//     per frame time; the stop value ends the ramp after the current frame.
// A FIFO reset (0x1A1) or switching the path off drops what is not sent.
//
// FIFO status word 0x1A0: bits 4-6 (main, GigE, USB FIFO empty) while nothing
// is sent; bits 0-2 (full) while the receiver holds the sender back. Error
// counters: a frame stopped half-way counts in 0x0188 (Science Stop Error1),
// a dropped connection in 0x002F (GigE) or 0x002E (USB).
#pragma once

#include "simscienceframes.h"
#include "simsciencesender.h"

#include <QString>
#include <QtGlobal>

#include <vector>

namespace pelrasim {

class CardModel;
class GigeSciencePort;

struct ScienceSettings {
    SceneLayout layout;            // ASIC image geometry and transmission order
    int frameMs = 10;              // one frame per frameMs; 0 = flat out
    quint16 sendResetReg = 0;      // ASIC register whose bit sendResetBit sends reset frames
    int sendResetBit = 0;
    quint32 seed = 1;
};

// Scenario keys science_* (sim/README.md). False with `error` for a bad
// value; `known` tells whether the key is one of them.
bool parseScienceKey(const QString &key, const QString &value, ScienceSettings *s, bool *known, QString *error);

class CardScience
{
public:
    explicit CardScience(CardModel *card);

    void setSettings(const ScienceSettings &s) { settings = s; }
    const ScienceSettings &scienceSettings() const { return settings; }
    void attachGige(GigeSciencePort *port) { gige = port; }
    void attachUsb(ScienceSender *sender) { usb = sender; }

    // Register hooks of the card, called under the simulator's lock.
    void cardWrote(quint16 address, quint16 value);
    void cardReads(quint16 address);
    void asicTriggered(int index);
    void asicStopped(int index);
    // End of one command packet: exposures triggered by it start now, so that
    // ASICs triggered by one write send one interleaved frame.
    void flush();
    // What a sender reports about this card's frames.
    void senderEvent(Link link, SenderEvent e);

    void setFault(Link link, ScienceFault fault, int frameIndex);
    quint64 framesSent(Link link) const;

private:
    ScienceSender *activeSender() const;
    void startPattern(ScienceSender *to, quint16 base);
    void startAsicFifoPattern();
    void setStatusBits(quint16 set, quint16 clear);
    void bumpCounter(quint16 address);

    CardModel *card;
    ScienceSettings settings;
    GigeSciencePort *gige = nullptr;
    ScienceSender *usb = nullptr;
    std::vector<int> triggered;
};

}  // namespace pelrasim
