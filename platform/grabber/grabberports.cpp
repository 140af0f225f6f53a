#include "grabberports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QVector<GrabberSerialPort> GrabberSerialPorts()
{
    QVector<GrabberSerialPort> ports;
    const QString base = qEnvironmentVariable("PELRA_SIM_DIR");
    if (base.isEmpty())
        return ports;
    const QDir folder(base + QStringLiteral("/uart"));
    const QFileInfoList entries = folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (!entry.isSymLink())
            continue;
        const QString target = entry.symLinkTarget();
        if (target.isEmpty() || !QFileInfo::exists(target))
            continue;
        GrabberSerialPort port;
        port.portName = target;
        port.vendorId = GrabberVendorId;
        QFile vendorFile(entry.absoluteFilePath() + QStringLiteral(".vendor"));
        if (vendorFile.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const uint vendor = vendorFile.read(8).trimmed().toUInt(&ok, 16);
            if (ok && vendor <= 0xFFFF)
                port.vendorId = quint16(vendor);
        }
        port.description = QStringLiteral("Camera Link serial port ") + entry.fileName();
        ports.append(port);
    }
    return ports;
}
