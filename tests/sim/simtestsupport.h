// Helpers for tests that talk to a running Simulator through the USB bridge
// stand-in, in a device folder of their own.
//
//   SimUnderTest sim;
//   QVERIFY2(sim.start(scenarioText), qPrintable(sim.error));
//   UsbPort port;
//   QVERIFY(port.open("PELRA0412"));
//   QCOMPARE(port.ask(protocol::cardRead(0x01, 0xFFFC), 5), QByteArray::fromHex("40fffc0412"));
#pragma once

#include "ftd3xx.h"
#include "pelrasim.h"

#include <QByteArray>
#include <QTemporaryDir>

struct SimUnderTest {
    QTemporaryDir dir;
    pelrasim::Simulator sim;
    QString error;

    bool start(const QString &scenario)
    {
        qputenv("PELRA_SIM_DIR", dir.path().toUtf8());
        sim.setDeviceDir(dir.path());
        return sim.loadScenarioText(scenario, &error) && sim.start(&error);
    }
};

class UsbPort
{
public:
    ~UsbPort() { close(); }

    bool open(const char *serial, uint32_t readTimeoutMs = 500)
    {
        close();
        if (FT_Create(const_cast<char *>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK)
            return false;
        return FT_SetPipeTimeout(handle, 0x02, 500) == FT_OK && FT_SetPipeTimeout(handle, 0x82, readTimeoutMs) == FT_OK;
    }

    void close()
    {
        if (handle)
            FT_Close(handle);
        handle = nullptr;
    }

    bool send(const QByteArray &packet)
    {
        uint32_t written = 0;
        return FT_WritePipe(handle, 0x02, reinterpret_cast<uint8_t *>(const_cast<char *>(packet.constData())),
                            uint32_t(packet.size()), &written, nullptr) == FT_OK
               && written == uint32_t(packet.size());
    }

    // Reads up to n bytes from pipe 0x82; status and count as the call left them.
    QByteArray read(int n, FT_STATUS *status = nullptr)
    {
        QByteArray reply(n, 0);
        uint32_t got = 0;
        const FT_STATUS st = FT_ReadPipe(handle, 0x82, reinterpret_cast<uint8_t *>(reply.data()), uint32_t(n), &got, nullptr);
        if (status)
            *status = st;
        reply.truncate(int(got));
        return reply;
    }

    QByteArray ask(const QByteArray &packet, int replyLength)
    {
        return send(packet) ? read(replyLength) : QByteArray();
    }

    // Waits until the card has taken every packet sent before: packets are
    // handled in order and this read is answered.
    bool sync() { return ask(QByteArray::fromHex("88ff0008"), 5).size() == 5; }

    FT_HANDLE handle = nullptr;
};
