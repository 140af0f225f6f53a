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

#include <vector>

#include "pelra_global.h"

class QTimerEvent;

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
    bool ReadPELRAReg(quint16 address, quint32 *value, quint8 select) { return ReadPELRAReg(address, *value, select); }
    bool WritePELRABlock(quint16 address, int count, const quint32 *values, quint8 select);
    bool ReadPELRABlock(quint16 address, int count, quint32 *values, quint8 select);
    // The same for values kept in a vector; a read grows it to `count` entries.
    bool WritePELRABlock(quint16 address, int count, const QVector<quint32> &values, quint8 select);
    bool ReadPELRABlock(quint16 address, int count, QVector<quint32> &values, quint8 select);

    // --- ASIC registers ---
    bool WriteASICReg(quint16 address, quint32 value, quint16 asicSelect, bool dma);
    bool ReadASICReg(quint16 address, quint32 &value, quint16 asicSelect, bool wide24, bool dma);
    bool ReadASICReg(quint16 address, quint32 *value, quint16 asicSelect, bool wide24, bool dma)
    {
        return ReadASICReg(address, *value, asicSelect, wide24, dma);
    }
    bool WriteASICBlock(quint16 address, int count, const quint32 *values, quint16 asicSelect, bool dma);
    bool ReadASICBlock(quint16 address, int count, quint32 *values, quint16 asicSelect, bool wide24, bool dma);
    bool WriteASICBlock(quint16 address, int count, const QVector<quint32> &values, quint16 asicSelect, bool dma);
    bool ReadASICBlock(quint16 address, int count, QVector<quint32> &values, quint16 asicSelect, bool wide24,
                       bool dma);

    // --- housekeeping ---
    PELRA_ASICType GetAsicType(quint8 select);
    bool ResetErrCounters(quint8 select);
    bool GetPelraFIFOErrCounter(QVector<quint32> &counters, quint8 select);
    bool GetPelraFIFOErrCounter(QVector<quint32> *counters, quint8 select) { return GetPelraFIFOErrCounter(*counters, select); }
    bool ResetASICs(bool highPulse, quint8 select);
    bool CloseSPI(quint8 select);
    bool SetPelraClock(float mhz, quint8 select);
    bool GetPelraClock(float &mhz, quint8 select);
    bool GetPelraClock(float *mhz, quint8 select) { return GetPelraClock(*mhz, select); }
    bool SetCamlinkParamters(quint32 value, quint8 select);
    bool GetCamlinkParamters(quint32 &value, quint8 select);
    bool GetCamlinkParamters(quint32 *value, quint8 select) { return GetCamlinkParamters(*value, select); }

    // --- discovery ---
    bool CheckInterfaces(quint16 tcpPort, int gigeTimeoutMs, QVector<quint8 *> &extraAddresses,
                         QVector<PELRA_Card> &cardsOut);
    // Same, for callers that keep their addresses or cards in standard vectors.
    template <class AddressVector, class CardVector>
    bool CheckInterfaces(quint16 tcpPort, int gigeTimeoutMs, AddressVector &extraAddresses, CardVector &cardsOut)
    {
        QVector<quint8 *> extra;
        for (auto address : extraAddresses)
            extra.append(reinterpret_cast<quint8 *>(const_cast<void *>(static_cast<const void *>(address))));
        QVector<PELRA_Card> found;
        const bool ok = CheckInterfaces(tcpPort, gigeTimeoutMs, extra, found);
        AddressVector kept;
        for (auto address : extraAddresses)
            if (extra.contains(reinterpret_cast<quint8 *>(const_cast<void *>(static_cast<const void *>(address)))))
                kept.push_back(address);
        extraAddresses = kept;
        cardsOut.clear();
        for (const PELRA_Card &card : found)
            cardsOut.push_back(card);
        return ok;
    }

    quint8 GetAvailablePELRAs();
    quint8 GetAvailableASICs();

    // --- firmware slots ---
    bool GetPELRAFirmwareNames(QStringList &names, quint8 select);
    bool GetPELRAFirmwareNames(QStringList *names, quint8 select) { return GetPELRAFirmwareNames(*names, select); }
    quint16 LoadPELRAFirmware(bool slot1, quint16 select);

    // Shorter waits for tests; the defaults are the card's real timing.
    void SetIdleTimerPeriod(int ms);
    void SetFirmwareLoadTimeout(int ms) { firmwareLoadTimeoutMs = ms; }

public slots:
    void GigEError(QAbstractSocket::SocketError error);

protected:
    void timerEvent(QTimerEvent *event) override;

public:
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

private:
    bool ProbeCard(quint8 &select, quint16 &cardId, QStringList *names);
    PELRA_Card &ListedCard(quint16 cardId, quint8 select);
    void AddNetworkCard(const quint8 address[4]);
    void TakeCardAddresses(const PELRA_Card &card);
    void CloseUSBHandle();

    int idlePeriodMs = 2000;
    int firmwareLoadTimeoutMs = 11000;
};
