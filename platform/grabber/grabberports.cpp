#include "grabberports.h"

#include <QDir>
#include <QFileInfo>

QVector<GrabberSerialPort> GrabberSerialPorts()
{
    QString base = qEnvironmentVariable("PELRA_SIM_DIR");
    if (base.isEmpty())
        base = QStringLiteral("/tmp/pelra-sim");
    const QDir folder(base + QStringLiteral("/uart"));
    QVector<GrabberSerialPort> ports;
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
        port.description = QStringLiteral("Camera Link serial port ") + entry.fileName();
        ports.append(port);
    }
    return ports;
}
