// A simulator on a thread of its own, publishing its devices in a private
// temporary folder, and a card link pointed straight at one of its cards.
#pragma once

#include "pelrainterface.h"
#include "pelrasim.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

struct SimFixture {
    QTemporaryDir dir;
    std::unique_ptr<pelrasim::Simulator> sim;

    // Starts the scenario; returns an empty text or the failure.
    QString start(const QString &scenario)
    {
        qputenv("PELRA_SIM_DIR", dir.path().toLocal8Bit());
        sim.reset(new pelrasim::Simulator);
        sim->setDeviceDir(dir.path());
        QString error;
        if (!sim->loadScenarioText(scenario, &error) || !sim->start(&error))
            return error.isEmpty() ? QStringLiteral("simulator did not start") : error;
        return QString();
    }

    // Stops the cards; the link's next transfer finds them gone.
    void stop() { sim.reset(); }

    // A card record for the card as the simulator publishes it on `kind`.
    PELRA_Card cardOn(quint16 cardId, PELRA_InterfaceType kind) const
    {
        PELRA_Card card;
        card.cardId = cardId;
        if (kind == InterfaceGigE) {
            card.hasGigE = true;
            const auto parts = sim->gigeAddress(cardId).split(QLatin1Char('.'));
            for (int i = 0; i < 4 && i < parts.size(); ++i)
                card.ipAddress[i] = static_cast<quint8>(parts.at(i).toUInt());
        } else if (kind == InterfaceUART) {
            card.hasUART = true;
            card.serialPortName = sim->uartPortName(cardId);
        } else if (kind == InterfaceUSB) {
            card.hasUSB = true;
            const QByteArray serial = sim->usbSerialNumber(cardId).toLatin1().left(15);
            std::memcpy(card.usbSerialNumber, serial.constData(), static_cast<size_t>(serial.size()));
        }
        return card;
    }

    // Makes the card current on `kind`, as if discovery had found it there.
    bool attach(PelraInterface &link, quint16 cardId, PELRA_InterfaceType kind) const
    {
        link.SetKnownCards({cardOn(cardId, kind)});
        return link.SetCurrentInterfaceType(cardId, kind) != 0;
    }
};

// One TAMBRIL card with two ASICs, reachable on all three links.
inline QString OneCardScenario()
{
    return QStringLiteral(R"([card1]
id=0x0412
position=1
firmware=tambril
asics=tambril,tambril
slot1_name="  PELRA TAMBRIL \xc3\xa9dition 3.1  "
slot1_type=tambril
slot2_name=PELRA OSTERA 2.0
slot2_type=ostera
reload_ms=200
usb_serial=PELRA0412
usb_version=3
uart=ttySOL0
gige=127.1.1.1
gige_speed=1000
)");
}
