// pelra-sim: simulated PELRA cards on every link.
//
// Usage (tests):
//   pelrasim::Simulator sim;
//   QString err;
//   QVERIFY2(sim.loadScenarioFile(PAC_SOURCE_DIR "/config/sim-one-card.ini", &err), qPrintable(err));
//   QVERIFY2(sim.start(&err), qPrintable(err));   // servers run on a thread of their own
//   ... talk to the cards through PelraInterface, then inspect:
//   QCOMPARE(sim.cardRegister(0x0412, 0x0010), quint16(39));
//
// The card link's blocking calls need the simulator on another thread (or in
// another process: the executable pelra-sim runs the same class).
#pragma once

#include "simexposure.h"
#include "simwritelog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

namespace pelrasim {

enum class Link { USB, UART, GigE };

// What a link does with the next replies (see setFault).
enum class Fault {
    None,
    NoReply,          // the command is taken but nothing is answered
    ShortReply,       // only the first half of the reply is sent
    WrongCode,        // the reply code is wrong
    WrongEcho,        // the echoed address bytes are wrong
    LateReply,        // the reply comes after lateMs
    DropConnection,   // the link is closed (TCP / USB socket) instead of answering
    RefuseWrites      // USB: the reply is sent, then the bridge takes no more commands (writes fail)
};

// What a card's science path does wrong (see setScienceFault).
enum class ScienceFault {
    None,
    StopMidFrame,     // half of a frame is sent, then the card stops sending
    DropConnection,   // half of a frame is sent, then the connection is closed
    OtherPeer         // GigE: the module reports another peer port in 0x1826/0x1827
};

class SimulatorPrivate;

class Simulator
{
public:
    Simulator();
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Scenario: an INI text, documented in sim/README.md.
    bool loadScenarioFile(const QString &path, QString *error);
    bool loadScenarioText(const QString &text, QString *error);

    // Folder in which USB devices and serial ports are published; defaults to
    // $PELRA_SIM_DIR, and start() fails without one. Set it before start().
    void setDeviceDir(const QString &dir);
    QString deviceDir() const;

    bool start(QString *error);
    void stop();

    // --- inspection and control; safe from any thread ---
    quint16 cardRegister(quint16 cardId, quint16 address) const;
    void setCardRegister(quint16 cardId, quint16 address, quint16 value);
    quint32 asicRegister(quint16 cardId, int asicIndex, quint16 address) const;   // asicIndex 0 or 1
    void setAsicRegister(quint16 cardId, int asicIndex, quint16 address, quint32 value);
    // Rising edges of the ASIC reset bit in card register 0x0210 (one per reset pulse).
    int asicResetPulses(quint16 cardId) const;
    // Adds to error counter `index` (0-32, in the order the card link reads
    // the counters; simcardhealth.h), as a link or ASIC fault would.
    void raiseErrorCounter(quint16 cardId, int index, quint16 amount = 1);
    // Exposure state of an ASIC: triggered or not, trigger and stop writes so
    // far, and the ramp its registers hold (simexposure.h, scenario keys asic_*).
    ExposureState asicExposure(quint16 cardId, int asicIndex) const;
    // Every card and ASIC register write the card carried out, oldest first,
    // with its time (simwritelog.h); setCardRegister/setAsicRegister are not
    // writes. Wait for the last write with a read before looking.
    QVector<RegisterWrite> registerWrites(quint16 cardId) const;
    void clearRegisterWrites();

    // Science path fault of the card on `link`: StopMidFrame and
    // DropConnection hit frame `frameIndex` (0: the next frame the card sends);
    // OtherPeer lasts until ScienceFault::None.
    void setScienceFault(quint16 cardId, Link link, ScienceFault fault, int frameIndex = 0);
    // Whole frames the card's science sender on `link` has sent so far.
    quint64 scienceFramesSent(quint16 cardId, Link link) const;

    // Fault for the next `count` replies (-1: until cleared) on the link
    // through which the card is reached.
    void setFault(quint16 cardId, Link link, Fault fault, int count = -1, int lateMs = 0);
    void clearFaults();

    // Every packet a card's link received, in order, as raw bytes.
    QList<QByteArray> receivedPackets(quint16 cardId, Link link) const;
    int packetCount(quint16 cardId, Link link) const;
    void clearTraffic();
    // Number of connections (TCP, USB socket) accepted so far on a card's link.
    int connectionCount(quint16 cardId, Link link) const;

    // Where each card's links can be reached.
    QString uartPortName(quint16 cardId) const;      // pseudo-terminal path
    QString usbSerialNumber(quint16 cardId) const;
    QString gigeAddress(quint16 cardId) const;       // dotted IPv4 of the network module

    // Bytes on an IN pipe (0x82 or 0x83) of every open connection to the
    // card's USB bridge, e.g. science data for stream tests.
    void sendUsbData(quint16 cardId, quint8 pipe, const QByteArray &bytes);
    // One line per link: kind, name, where it is published and its cards.
    QStringList linkDescriptions() const;

private:
    std::unique_ptr<SimulatorPrivate> d;
};

}  // namespace pelrasim
