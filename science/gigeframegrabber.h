// The GigE science receiver: science frames on a second TCP connection to the
// card's network module, beside the register connection of the card link.
//
// Configuration (ConfigScienceInterface), in order:
//   1. card registers: Camera Link and USB science off (0x1C0, 0x1E0), main
//      FIFO reset (0x1A1), GigE science mode (0x1D0);
//   2. the 14-word block at 0x1820 asks the module to open its science port
//      (no reply), and 20 ms later the receiver connects to it, with its
//      receive buffer already raised (Linux fixes the window scale at connect);
//   3. the block read back must show this very connection (peer address and
//      port, state 3); then 0x33 in 0x182D tells the module to send;
//   4. a receiver thread fills a preallocated ring of frame slots.
//
// The receiver thread stops reading while every slot holds a frame the
// consumer has not taken, so the card is held back by TCP flow control and no
// frame is ever overwritten. A frame still incomplete when the stream ends is
// never handed out. The register link stays with PelraInterface; the thread
// never touches it.
#pragma once

#include "framering.h"
#include "scilog.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class PelraInterface;

class GigeFrameGrabber : public QObject
{
    Q_OBJECT

public:
    // With logToFile the diagnostic log gigESciLog.txt is written in the
    // application's folder.
    explicit GigeFrameGrabber(bool logToFile = false, QObject *parent = nullptr);
    ~GigeFrameGrabber() override;

    // Configures the card for GigE science and opens the science connection.
    // format: the science data-format word; pixels: pixels per frame (0: no
    // frames are assembled, the stream is read with the Sync calls);
    // bufferKB: the granted socket receive buffer / 1000.
    bool ConfigScienceInterface(PelraInterface *link, quint16 format, quint32 pixels, quint16 port, int &bufferKB,
                                quint8 cards);
    bool ConfigScienceInterface(PelraInterface *link, quint16 format, quint32 pixels, quint16 port, int *bufferKB,
                                quint8 cards);
    // Stops the card's GigE science (0x1D0), closes the connection, clears the
    // module's connection flag (0x182D).
    void CloseScienceInterface(quint8 cards);

    // Whole frames waiting.
    int AvailableFrames();
    // The next waiting frame's pixels, or nullptr. They stay valid until the
    // next call (or until the grabber is configured again or destroyed).
    quint16 *GetNextFrameAsync();
    // Waits up to ms for received data.
    bool IsScienceDataAvailable(int ms);
    // Bytes received and not taken: the frames waiting, the part of the next
    // frame, and what the socket holds.
    qint64 AvailableBytes();
    // Reads what the socket holds, at most 2n bytes and an even count, without
    // waiting. Only without frame assembly (pixels 0); returns the bytes read.
    qint64 GetGigeScienceDataSync(qint64 n, QByteArray &bytes);
    qint64 GetGigeScienceDataSync0(qint64 n, char *bytes);

    QString ErrorString() const { return errorText; }
    // Number of frame slots of the ring (0 before a configuration with frames).
    int FrameBufferCount() const { return ringSize; }
    // Slots for frames of `framePixels` 16-bit pixels: 32 MiB worth, at least
    // 2, at most FrameRing::MaxSlots.
    static int RingSizeFor(quint32 framePixels);

    // Counters for the window and the benchmark, readable at any time.
    quint64 FramesReceived() const { return frameRing.Produced(); }
    quint64 FramesTaken() const { return frameRing.Consumed(); }
    int RingHighWater() const { return frameRing.HighWater(); }
    quint64 ReceiverStalls() const { return frameRing.ProducerStalls(); }
    quint64 BytesReceived() const { return bytesReceived.load(); }
    // True once the card closed the science connection or it failed.
    bool StreamEnded() const { return streamEnded.load(); }

public slots:
    // Maps a socket error to the error text; the receiver thread reports the
    // errors it meets through it.
    void GigeImageError(QAbstractSocket::SocketError error);

private:
    bool Fail(int step, const QString &detail = QString());
    bool OpenScienceSocket(quint32 address, quint16 port, QString *why);
    void CloseSocket();
    void StartReceiver();
    void StopReceiver();
    void ReceiverLoop();
    qint64 SocketBytesWaiting() const;

    PelraInterface *cardLink = nullptr;
    quint8 cardSelection = 0;
    quint32 framePixels = 0;
    int ringSize = 0;
    int socketFd = -1;
    int grantedBuffer = 0;
    QString errorText;

    FrameRing frameRing;
    std::thread receiver;
    std::atomic<bool> stopReceiver{false};
    std::atomic<bool> streamEnded{false};
    std::atomic<int> receiverErrno{0};
    std::atomic<quint64> bytesReceived{0};

    bool logToFile = false;
    SciLog log;
};
