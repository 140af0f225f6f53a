// The card link: the one object through which PAC talks to PELRA cards.
//
// One card and one link kind (USB, UART or TCP) are current at a time. Ports
// are opened lazily by WritePort and closed again after two idle-timer ticks
// without a transfer. Every command is one packet sent unchanged, and a read
// is answered by a reply of a length that the command fixes. Operations never
// log: they return a result and leave the reason of a failure in lastError,
// which callers fetch with ErrorString.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSerialPort>
#include <QStringList>
#include <QTcpSocket>
#include <QVector>

#include <memory>
#include <vector>

#include "pelra_global.h"

class QTimerEvent;
class SciLog;
class UsbScienceStream;

class PelraInterface : public QObject
{
    Q_OBJECT

public:
    explicit PelraInterface(QObject *parent = nullptr);
    ~PelraInterface() override;

    // --- link (transports and framing) ---
    QString ErrorString() const;
    PELRA_InterfaceType GetCurrentInterfaceType(quint16 *cardId);
    void SetAsicType(PELRA_ASICType type);
    int SetCurrentInterfaceType(quint16 cardId, PELRA_InterfaceType kind);
    bool OpenUSBPort();
    bool ConfigureUSBPipeMode(bool twoChannels);
    bool OpenUARTPort();
    bool OpenTcpPort();
    void ClosePort();
    bool WritePort(const QByteArray &packet);
    bool ReadPort(int count, QByteArray &reply);
    QString PELRASerialPortInfo(int index);

    // --- card registers ---
    bool WritePELRAReg(quint16 address, quint32 value, quint8 select);
    bool ReadPELRAReg(quint16 address, quint32 &value, quint8 select);
    bool WritePELRABlock(quint16 address, int count, const quint32 *values, quint8 select);
    bool ReadPELRABlock(quint16 address, int count, quint32 *values, quint8 select);
    // The same for values kept in a vector; a read grows it to `count` entries.
    bool WritePELRABlock(quint16 address, int count, const QVector<quint32> &values, quint8 select);
    bool ReadPELRABlock(quint16 address, int count, QVector<quint32> &values, quint8 select);

    // --- ASIC registers ---
    bool WriteASICReg(quint16 address, quint32 value, quint16 asicSelect, bool dma);
    bool ReadASICReg(quint16 address, quint32 &value, quint16 asicSelect, bool wide24, bool dma);
    bool WriteASICBlock(quint16 address, int count, const quint32 *values, quint16 asicSelect, bool dma);
    bool ReadASICBlock(quint16 address, int count, quint32 *values, quint16 asicSelect, bool wide24, bool dma);
    bool WriteASICBlock(quint16 address, int count, const QVector<quint32> &values, quint16 asicSelect, bool dma);
    bool ReadASICBlock(quint16 address, int count, QVector<quint32> &values, quint16 asicSelect, bool wide24,
                       bool dma);

    // --- housekeeping ---
    PELRA_ASICType GetAsicType(quint8 select);
    bool ResetErrCounters(quint8 select);
    bool GetPelraFIFOErrCounter(QVector<quint32> &counters, quint8 select);
    bool ResetASICs(bool highPulse, quint8 select);
    bool CloseSPI(quint8 select);
    bool SetPelraClock(float mhz, quint8 select);
    bool GetPelraClock(float &mhz, quint8 select);
    bool SetCamlinkParamters(quint32 value, quint8 select);
    bool GetCamlinkParamters(quint32 &value, quint8 select);

    // --- discovery ---
    bool CheckInterfaces(quint16 tcpPort, int gigeTimeoutMs, QVector<quint8 *> &extraAddresses,
                         QVector<PELRA_Card> &cardsOut);

    quint8 GetAvailablePELRAs();
    quint8 GetAvailableASICs();

    // --- firmware slots ---
    bool GetPELRAFirmwareNames(QStringList &names, quint8 select);
    quint16 LoadPELRAFirmware(bool slot1, quint16 select);

    // --- register load files (pelra_loadfile.cpp) ---
    // Runs a .glf/.ald/.mcd file line by line against the masked cards and
    // ASICs; `dma` is the DMA flag until an asic_mode line changes it. False
    // at the first failure, with lastError saying which line of which file.
    bool DownloadSingleFile(const QString &path, quint8 cardMask, quint8 asicMask, bool dma);

    // --- telemetry converter (pelra_telemetry.cpp) ---
    // Each measurement switches the telemetry clock on if it was off and
    // leaves 0x0480 as it found it, also after a failure.
    bool SetTLMConfig(quint16 voltageRate, quint16 voltageAveraging, quint16 currentRate, quint16 currentAveraging,
                      quint16 groundReference, quint8 select);
    bool GetTLMConfig(quint16 &voltageRate, quint16 &voltageAveraging, quint16 &currentRate,
                      quint16 &currentAveraging, quint16 &groundReference, quint8 select);
    bool GetOneTelemetry(quint16 code, float &value, quint8 select);
    bool GetTwoTelemetries(quint16 supplyCode, float &voltage, float &current, quint8 select);
    // values: one per code, in the order of `codes`
    bool GetTelemetrySet(const quint16 *codes, quint16 count, float *values, quint8 select);

    // --- USB science stream (pelra_usbbuffer.cpp) ---
    // Sizes the bridge library's transfer buffers for nBuffers frames of
    // pixelsPerFrame 16-bit pixels: requests of at most 1 MiB and at least
    // 16 KiB. False (lastError set) for no buffers, no pixels, or more than
    // 65535 requests.
    bool GetUSBBufferSize(qint16 nBuffers, quint32 pixelsPerFrame, quint16 &transferCount, quint32 &transferBytes);

    // --- USB science stream (pelra_usbscience.cpp) ---
    // A reader thread fills a ring of nBuffers frame slots from the science
    // pipe; register traffic goes on beside it. dataFormat: bits 0-1 word
    // format, bits 4-6 data source, bit 8 dual-pipe mode.
    bool ConfigureUSBScienceInterface(quint16 dataFormat, qint16 nBuffers, quint32 pixelsPerFrame, quint8 cardSelection,
                                      bool logToFile);
    // Bytes received and not taken, and what the bridge still holds.
    quint32 AvailableUSBScienceData();
    // Whole frames of them.
    quint32 AvailableUSBImages();
    // Copies the next frame (at most nPixels pixels) into destination, waiting
    // up to timeoutMs; on a time-out the pixels received so far. Returns the
    // pixels delivered.
    qint64 GetUSBScienceData(int timeoutMs, qint64 nPixels, quint16 *destination);
    // The next whole frame, valid until the next call, or nullptr.
    quint16 *GetNextUSBImage(int timeoutMs, quint64 &bytesReceived);
    bool CloseUSBScienceInterface(quint8 cardSelection);
    // Frame slots of the stream's ring, and counters for the window and the benchmark.
    int UsbFrameBufferCount() const;
    quint64 UsbFramesReceived() const;
    int UsbRingHighWater() const;

    // --- state, for the window and the tests ---
    const QVector<PELRA_Card> &KnownCards() const { return cards; }
    // Takes a card list found earlier (the cards a discovery reported) as the
    // one to choose from, without probing again.
    void SetKnownCards(const QVector<PELRA_Card> &list) { cards = list; }
    quint16 AsicTypeId() const { return asicTypeId; }
    QString SerialPortName() const { return serialPort.portName(); }
    QHostAddress HostAddress() const { return hostAddress; }
    quint16 TcpPort() const { return tcpPort; }
    QByteArray UsbSerialNumber() const { return QByteArray(usbSerialNumber); }
    quint16 SciencePipe() const { return sciencePipe; }
    // True while any of the three links holds an open port or handle.
    bool IsPortOpen() const;
    // Idle closing: -1 while a transfer runs, 0 after one, 1 after one idle tick.
    qint16 IdleState() const { return idleState; }
    bool IdleTimerRunning() const { return idleTimerId != 0; }

    // Shorter waits for tests; the defaults are the card's real timing.
    void SetIdleTimerPeriod(int ms);
    void SetFirmwareLoadTimeout(int ms) { firmwareLoadTimeoutMs = ms; }
    // Telemetry: limit of a single measurement, limit of a set and the pause
    // between the status polls of a set.
    void SetTelemetryWaits(int singleMs, int setMs, int setPollMs);

public slots:
    void GigEError(QAbstractSocket::SocketError error);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    // Drops whatever a link received before the next request, so that a reply
    // that came after its time-out is never taken for the next one's.
    void DiscardStaleInput();
    void ApplySerialSettings();
    bool ProbeCard(quint8 &select, quint16 &cardId, QStringList *names);
    PELRA_Card &ListedCard(quint16 cardId, quint8 select);
    void AddNetworkCard(const quint8 address[4]);
    void TakeCardAddresses(const PELRA_Card &card);
    void CloseUSBHandle();

    // USB science stream: the reader must stop before the handle closes.
    void StopUsbScienceReader();
    std::unique_ptr<UsbScienceStream> usbScience;
    std::unique_ptr<SciLog> usbSciLog;
    quint64 usbFrameBytes = 0;

    PELRA_InterfaceType interfaceType = InterfaceNone;
    quint16 currentCardId = 0;
    QVector<PELRA_Card> cards;
    QSerialPort serialPort;
    QTcpSocket tcpSocket;
    QHostAddress hostAddress;
    quint16 tcpPort = PELRA_Global::DEFAULT_TCP_PORT;
    FT_HANDLE usbHandle = nullptr;
    char usbSerialNumber[16] = {0};
    quint16 usbReadTimeoutMs = 500;
    quint16 sciencePipe = 0x82;
    int idleTimerId = 0;
    qint16 idleState = -1;
    QString lastError;
    quint16 asicTypeId = 0;
    int idlePeriodMs = 2000;
    int firmwareLoadTimeoutMs = 11000;

    // telemetry converter
    bool MeasureTelemetryItem(quint16 code, bool settle, quint32 &raw, const QString &readFailure, quint8 select);
    bool RestoreTelemetryConfig(quint32 saved, const QString &localError, quint8 select);
    int telemetrySingleLimitMs = 3000;
    int telemetrySetLimitMs = 30000;
    int telemetrySetPollMs = 500;
};
