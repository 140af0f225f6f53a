// Register round trips per link against the simulator: how many single
// reads and 129-word block reads (a firmware name) each link manages per
// second, and the cost of one discovery run.
//
//   scripts/netns-run build/bench/bench_registers [reads]
#include "pelrainterface.h"
#include "pelrasim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstring>

namespace {

const char *Scenario = R"([card1]
id=0x0412
position=1
firmware=tambril
asics=tambril,tambril
slot1_name=Bench firmware 1
slot1_type=tambril
slot2_name=Bench firmware 2
slot2_type=ostera
usb_serial=BENCH0412
uart=ttySOL0
gige=127.1.1.1
gige_speed=1000
)";

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int reads = argc > 1 ? QByteArray(argv[1]).toInt() : 500;
    QTextStream out(stdout);

    QTemporaryDir dir;
    qputenv("PELRA_SIM_DIR", dir.path().toLocal8Bit());
    pelrasim::Simulator sim;
    sim.setDeviceDir(dir.path());
    QString error;
    if (!sim.loadScenarioText(QString::fromLatin1(Scenario), &error) || !sim.start(&error)) {
        out << "simulator: " << error << '\n';
        return 1;
    }

    PelraInterface link;
    QVector<quint8 *> extra;
    QVector<PELRA_Card> cards;
    QElapsedTimer timer;
    timer.start();
    link.CheckInterfaces(0, 200, extra, cards);
    out << "discovery: " << timer.elapsed() << " ms, " << cards.size() << " card(s)\n";
    if (cards.size() != 1)
        return 1;

    const struct {
        PELRA_InterfaceType kind;
        const char *name;
    } links[] = {{InterfaceUSB, "USB"}, {InterfaceUART, "UART"}, {InterfaceGigE, "GigE"}};
    for (const auto &l : links) {
        if (!link.SetCurrentInterfaceType(0x0412, l.kind))
            return 1;
        quint32 value = 0;
        link.ReadPELRAReg(0xFFFC, value, 1);   // opens the link
        timer.restart();
        int failed = 0;
        for (int i = 0; i < reads; ++i)
            failed += !link.ReadPELRAReg(0xFFFC, value, 1);
        const double single = timer.nsecsElapsed() / 1e3 / reads;
        quint32 block[129];
        const int blocks = qMax(1, reads / 10);
        timer.restart();
        for (int i = 0; i < blocks; ++i)
            failed += !link.ReadPELRABlock(0x3F80, 129, block, 1);
        const double perBlock = timer.nsecsElapsed() / 1e3 / blocks;
        out << l.name << ": single read " << qRound(single) << " us, 129-word block read " << qRound(perBlock)
            << " us, failures " << failed << '\n';
    }
    return 0;
}
