#include "simservers.h"

#include "simscenario.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace pelrasim {

PtyLinkServer::PtyLinkServer(LinkEndpoint *endpoint, QMutex *lock, QObject *parent)
    : QObject(parent), endpoint(endpoint), lock(lock)
{
}

PtyLinkServer::~PtyLinkServer()
{
    delete readNotifier;
    delete writeNotifier;
    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
        QFile::remove(linkPath + QStringLiteral(".vendor"));
    }
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

bool PtyLinkServer::start(const QString &path, quint16 vendorId, QString *error)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        *error = QStringLiteral("Cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof(name)) != 0) {
        *error = QStringLiteral("Cannot name the pseudo-terminal");
        return false;
    }
    terminalPath = QString::fromLocal8Bit(name);
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = QStringLiteral("Cannot open %1: %2").arg(terminalPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    termios raw;
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    QFile::remove(path);
    if (!QFile::link(terminalPath, path)) {
        *error = QStringLiteral("Cannot publish %1 as %2").arg(terminalPath, path);
        return false;
    }
    linkPath = path;
    QFile vendorFile(path + QStringLiteral(".vendor"));
    vendorFile.remove();
    if (vendorId != GrabberUartVendor) {
        if (!vendorFile.open(QIODevice::WriteOnly)
            || vendorFile.write(QByteArray::number(vendorId, 16).rightJustified(4, '0')) != 4) {
            *error = QStringLiteral("Cannot publish the vendor of %1").arg(path);
            return false;
        }
    }
    readNotifier = new QSocketNotifier(master, QSocketNotifier::Read);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyLinkServer::readMaster);
    writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyLinkServer::flush);
    pacer = new ReplyPacer(this, [this](const QByteArray &bytes) { send(bytes); });
    endpoint->publishedPath = terminalPath;
    return true;
}

void PtyLinkServer::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(master, chunk, sizeof(chunk));
        if (n > 0) {
            stream.append(QByteArray(chunk, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    QByteArray packet;
    while (stream.next(&packet)) {
        // A terminal cannot be dropped: a dropped connection is a missing reply here.
        const Outcome outcome = processPacket(lock, endpoint, packet);
        if (outcome.answer)
            pacer->send(outcome.reply, outcome.delayMs);
    }
}

void PtyLinkServer::send(const QByteArray &bytes)
{
    pending.append(bytes);
    flush();
}

void PtyLinkServer::flush()
{
    while (!pending.isEmpty()) {
        const ssize_t n = ::write(master, pending.constData(), size_t(pending.size()));
        if (n > 0) {
            pending.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    writeNotifier->setEnabled(!pending.isEmpty());
}

}  // namespace pelrasim
