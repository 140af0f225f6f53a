// Science throughput per path: 2048 x 2048 16-bit frames from the simulator
// (in a process of its own, flat out) through PAC's receiver, the 32-channel
// sort and the FITS writer, beside the raw baseline of the same bytes read
// from a plain socket (GigE) or the bridge's pipe (USB) and written with plain
// file writes. Per run: MB/s, frames lost, peak memory above the idle process,
// and the longest stall of a 5 ms timer in the event loop beside it.
//
//   scripts/netns-run build/bench/bench_science [frames [gige|usb]]
#include "framefile.h"
#include "framelayout.h"
#include "ftd3xx.h"
#include "gigeframegrabber.h"
#include "pelrainterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTextStream>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

constexpr quint16 CardId = 0x0412;
constexpr int Width = 2048;
constexpr int Height = 2048;
constexpr qint64 FrameBytes = qint64(Width) * Height * 2;
constexpr quint16 PatternFormat = 0x70;

const char *Scenario = R"([card1]
id=0x0412
position=1
firmware=tambril
asics=tambril
usb_serial=BENCH0412
usb_channels=1
gige=127.1.1.1
science_frame_ms=0
)";

struct Result {
    QString name;
    qint64 bytes = 0;
    double seconds = 0;
    int framesLost = 0;
    qint64 peakKiB = 0;
    qint64 stallMs = 0;
    qint64 sortNs = 0;       // time spent sorting and writing, over all frames
    qint64 writeNs = 0;
    qint64 setUpMs = 0;      // receiver configuration, before the stream
    double mbPerSecond() const { return seconds > 0 ? bytes / seconds / 1e6 : 0; }
};

qint64 StatusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLongLong();
    return 0;
}

// The largest gap between ticks of a 5 ms timer, while a run lets the event
// loop in between frames.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            worst = qMax(worst, clock.restart());
        });
    }
    void start()
    {
        worst = 0;
        clock.start();
        timer.start(5);
    }
    qint64 stop()
    {
        timer.stop();
        return worst;
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 worst = 0;
};

// Starts a run: idle memory noted, peak reset, probe on.
struct RunMeter {
    StallProbe probe;
    qint64 idleKiB = 0;
    QElapsedTimer clock;

    // Before the receiver is set up: its buffers count.
    void begin()
    {
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        if (refs.open(QIODevice::WriteOnly))
            refs.write("5");   // resets the peak resident size
        idleKiB = StatusKiB("VmRSS:");
    }
    // At the trigger: the stream's time and the event loop's stalls.
    void startStream()
    {
        probe.start();
        clock.start();
    }
    void end(Result &r)
    {
        r.seconds = clock.elapsed() / 1000.0;
        r.stallMs = probe.stop();
        r.peakKiB = StatusKiB("VmHWM:") - idleKiB;
    }
};

bool StartPattern(PelraInterface &link, quint16 trigger, int frames)
{
    const QVector<quint32> geometry = {Width - 1, Height - 1, quint32(frames)};
    return link.WritePELRABlock(quint16(trigger + 1), 3, geometry, 1) && link.WritePELRAReg(trigger, 1, 1);
}

// Frame files: each is removed once the next one is written, so the disk
// holds two at most.
class FrameFiles
{
public:
    explicit FrameFiles(const QString &folder) : folder(folder) {}
    ~FrameFiles()
    {
        for (const QString &name : {last, previous})
            if (!name.isEmpty())
                QFile::remove(name);
    }
    QString next(const char *suffix)
    {
        if (!last.isEmpty())
            QFile::remove(last);
        last = previous;
        previous = QStringLiteral("%1/frame%2%3").arg(folder).arg(count++).arg(QLatin1String(suffix));
        return previous;
    }

private:
    QString folder;
    QString previous;
    QString last;
    int count = 0;
};

// PAC's path: whole frames from a receiver, sorted from 32 readout channels,
// written as FITS files.
bool SortAndWrite(quint16 *pixels, FrameFiles &files, QString *why, Result &r)
{
    QElapsedTimer step;
    step.start();
    Frames::SortSettings sort;
    sort.mode = 1;
    sort.channels = 32;
    std::string message;
    if (!Frames::SortChannels(pixels, size_t(Width) * Height, Width, Height, sort, &message)) {
        *why = QString::fromStdString(message);
        return false;
    }
    r.sortNs += step.nsecsElapsed();
    step.restart();
    const Frames::FrameFileResult written =
        Frames::WriteUShortFits(files.next(".fits").toStdString(), {Width, Height}, pixels, size_t(Width) * Height);
    r.writeNs += step.nsecsElapsed();
    if (!written.ok)
        *why = QString::fromStdString(written.errorText);
    return written.ok;
}

bool PlainWrite(const char *bytes, qint64 length, FrameFiles &files)
{
    const int fd = ::open(files.next(".raw").toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, size_t(length - done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return done == length;
}

Result GigePipeline(PelraInterface &link, int frames, const QString &folder)
{
    Result r{QStringLiteral("GigE  PAC receiver + sort + FITS")};
    FrameFiles files(folder);
    RunMeter meter;
    meter.begin();
    GigeFrameGrabber grabber;
    int bufferKB = 0;
    QElapsedTimer setUp;
    setUp.start();
    const bool configured = grabber.ConfigScienceInterface(&link, PatternFormat, Width * Height, 42307, bufferKB, 1);
    r.setUpMs = setUp.elapsed();
    meter.startStream();
    if (!configured || !StartPattern(link, 0x1D1, frames)) {
        QTextStream(stderr) << "GigE set-up failed: " << grabber.ErrorString() << link.ErrorString() << '\n';
        r.framesLost = frames;
        return r;
    }
    int taken = 0;
    QElapsedTimer idle;
    idle.start();
    while (taken < frames && idle.elapsed() < 5000) {
        QCoreApplication::processEvents();
        quint16 *pixels = grabber.GetNextFrameAsync();
        if (!pixels) {
            grabber.IsScienceDataAvailable(2);
            continue;
        }
        idle.restart();
        if (pixels[0] != quint16(256 * taken))
            ++r.framesLost;   // a frame out of order or missing
        QString why;
        if (!SortAndWrite(pixels, files, &why, r))
            QTextStream(stderr) << "frame " << taken << ": " << why << '\n';
        ++taken;
        r.bytes += FrameBytes;
    }
    meter.end(r);
    r.framesLost += frames - taken;
    grabber.CloseScienceInterface(1);
    return r;
}

Result GigeBaseline(PelraInterface &link, int frames, const QString &folder)
{
    // The same card set-up and connection, read without frame assembly.
    Result r{QStringLiteral("GigE  plain socket + write(2)")};
    FrameFiles files(folder);
    std::vector<char> frame(static_cast<size_t>(FrameBytes));
    RunMeter meter;
    meter.begin();
    GigeFrameGrabber socket;
    int bufferKB = 0;
    const bool configured = socket.ConfigScienceInterface(&link, PatternFormat, 0, 42307, bufferKB, 1);
    meter.startStream();
    if (!configured || !StartPattern(link, 0x1D1, frames)) {
        r.framesLost = frames;
        return r;
    }
    qint64 filled = 0;
    QElapsedTimer idle;
    idle.start();
    while (r.bytes < frames * FrameBytes && idle.elapsed() < 5000) {
        QCoreApplication::processEvents();
        if (!socket.IsScienceDataAvailable(2))
            continue;
        idle.restart();
        const qint64 n = socket.GetGigeScienceDataSync0((FrameBytes - filled) / 2, frame.data() + filled);
        filled += n;
        r.bytes += n;
        if (filled == FrameBytes) {
            PlainWrite(frame.data(), FrameBytes, files);
            filled = 0;
        }
    }
    meter.end(r);
    r.framesLost = frames - int(r.bytes / FrameBytes);
    socket.CloseScienceInterface(1);
    return r;
}

Result UsbPipeline(PelraInterface &link, int frames, const QString &folder)
{
    Result r{QStringLiteral("USB   PAC stream + sort + FITS")};
    FrameFiles files(folder);
    RunMeter meter;
    meter.begin();
    QElapsedTimer setUp;
    setUp.start();
    const bool configured = link.ConfigureUSBScienceInterface(PatternFormat, 20, Width * Height, 1, false);
    r.setUpMs = setUp.elapsed();
    meter.startStream();
    if (!configured || !StartPattern(link, 0x1E1, frames)) {
        QTextStream(stderr) << "USB set-up failed: " << link.ErrorString() << '\n';
        r.framesLost = frames;
        return r;
    }
    int taken = 0;
    QElapsedTimer idle;
    idle.start();
    while (taken < frames && idle.elapsed() < 5000) {
        QCoreApplication::processEvents();
        // Only ask for a frame the ring holds: a fetch waits up to 100 ms more.
        if (link.UsbFramesReceived() <= quint64(taken)) {
            QThread::msleep(1);
            continue;
        }
        quint64 bytes = 0;
        quint16 *pixels = link.GetNextUSBImage(0, bytes);
        if (!pixels)
            continue;
        idle.restart();
        if (pixels[0] != quint16(256 * taken))
            ++r.framesLost;
        QString why;
        if (!SortAndWrite(pixels, files, &why, r))
            QTextStream(stderr) << "frame " << taken << ": " << why << '\n';
        ++taken;
        r.bytes += FrameBytes;
    }
    meter.end(r);
    r.framesLost += frames - taken;
    link.CloseUSBScienceInterface(1);
    return r;
}

Result UsbBaseline(PelraInterface &link, int frames, const QString &folder)
{
    // Card science on by register, bytes straight from the bridge's pipe on a
    // handle of its own.
    Result r{QStringLiteral("USB   plain pipe + write(2)")};
    FrameFiles files(folder);
    std::vector<char> frame(static_cast<size_t>(FrameBytes));
    RunMeter meter;
    meter.begin();
    FT_HANDLE handle = nullptr;
    QByteArray serial = link.UsbSerialNumber();
    if (!link.WritePELRAReg(0x1A1, 15, 1) || !link.WritePELRAReg(0x1E0, 0x0F, 1)
        || FT_Create(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK) {
        r.framesLost = frames;
        return r;
    }
    quint32 queued = 0;
    FT_GetReadQueueStatus(handle, 0, &queued);   // opens the science channel
    meter.startStream();
    if (!StartPattern(link, 0x1E1, frames)) {
        FT_Close(handle);
        r.framesLost = frames;
        return r;
    }
    qint64 filled = 0;
    QElapsedTimer idle;
    idle.start();
    while (r.bytes < frames * FrameBytes && idle.elapsed() < 5000) {
        QCoreApplication::processEvents();
        quint32 got = 0;
        FT_ReadPipeEx(handle, 0, reinterpret_cast<uint8_t *>(frame.data() + filled), quint32(FrameBytes - filled), &got, 5);
        if (got == 0)
            continue;
        idle.restart();
        filled += got;
        r.bytes += got;
        if (filled == FrameBytes) {
            PlainWrite(frame.data(), FrameBytes, files);
            filled = 0;
        }
    }
    meter.end(r);
    r.framesLost = frames - int(r.bytes / FrameBytes);
    FT_Close(handle);
    link.WritePELRAReg(0x1E0, 0, 1);
    return r;
}

PELRA_Card CardOn(PELRA_InterfaceType kind)
{
    PELRA_Card card;
    card.cardId = CardId;
    if (kind == InterfaceGigE) {
        card.hasGigE = true;
        const quint8 address[4] = {127, 1, 1, 1};
        std::memcpy(card.ipAddress, address, 4);
    } else {
        card.hasUSB = true;
        std::strcpy(card.usbSerialNumber, "BENCH0412");
    }
    return card;
}

void Print(QTextStream &out, const Result &pac, const Result &base)
{
    for (const Result *r : {&base, &pac})
        out << QStringLiteral("  %1  %2 MB/s  lost %3  peak +%4 MiB  longest stall %5 ms\n")
                   .arg(r->name, -34)
                   .arg(r->mbPerSecond(), 7, 'f', 0)
                   .arg(r->framesLost)
                   .arg(r->peakKiB / 1024.0, 0, 'f', 0)
                   .arg(r->stallMs)
            + (r->sortNs ? QStringLiteral("    set-up %3 ms; per frame: sort %1 ms, FITS write %2 ms\n")
                               .arg(r->sortNs / 1e6 / qMax<qint64>(1, r->bytes / FrameBytes), 0, 'f', 1)
                               .arg(r->writeNs / 1e6 / qMax<qint64>(1, r->bytes / FrameBytes), 0, 'f', 1)
                               .arg(r->setUpMs)
                         : QString());
    out << QStringLiteral("  ratio PAC / baseline: %1\n").arg(base.mbPerSecond() > 0 ? pac.mbPerSecond() / base.mbPerSecond() : 0, 0, 'f', 2);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? QByteArray(argv[1]).toInt() : 100;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();   // "gige" or "usb": one path
    QTextStream out(stdout);

    QTemporaryDir dir;
    QFile scenario(dir.filePath(QStringLiteral("bench.ini")));
    if (!scenario.open(QIODevice::WriteOnly) || scenario.write(Scenario) < 0)
        return 1;
    scenario.close();
    QDir().mkpath(dir.filePath(QStringLiteral("frames")));
    qputenv("PELRA_SIM_DIR", dir.path().toLocal8Bit());

    // The simulator in a process of its own, so that its memory is not counted here.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/pelra-sim"),
              {scenario.fileName(), QStringLiteral("--dir"), dir.path()});
    QByteArray banner;
    while (!banner.contains("ready") && sim.waitForReadyRead(10000))
        banner += sim.readAllStandardOutput();
    if (!banner.contains("ready")) {
        QTextStream(stderr) << "pelra-sim did not start (run inside scripts/netns-run)\n";
        return 1;
    }

    out << QStringLiteral("%1 frames of %2 x %3 pixels (%4 MiB) per run, simulator flat out\n")
               .arg(frames).arg(Width).arg(Height).arg(FrameBytes >> 20);
    const QString folder = dir.filePath(QStringLiteral("frames"));
    if (only != "usb") {
        PelraInterface link;
        link.SetKnownCards({CardOn(InterfaceGigE)});
        link.SetCurrentInterfaceType(CardId, InterfaceGigE);
        out << "GigE:\n";
        const Result base = GigeBaseline(link, frames, folder);
        const Result pac = GigePipeline(link, frames, folder);
        Print(out, pac, base);
        out.flush();
    }
    if (only != "gige") {
        PelraInterface link;
        link.SetKnownCards({CardOn(InterfaceUSB)});
        link.SetCurrentInterfaceType(CardId, InterfaceUSB);
        out << "USB:\n";
        const Result base = UsbBaseline(link, frames, folder);
        const Result pac = UsbPipeline(link, frames, folder);
        Print(out, pac, base);
    }
    sim.terminate();
    sim.waitForFinished(5000);
    return 0;
}
