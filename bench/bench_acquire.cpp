// By-hand check that the window stays responsive during a long run: 100
// frames of 2048 x 2048 pixels from a simulated card over GigE, while a
// timer measures how late the event loop serves it (repaints and the Stop
// button are served the same way). Run inside a private network namespace:
//
//   scripts/netns-run build/bench/bench_acquire [frames]
//
// Prints the run's time, frames saved and the longest event-loop stall.
#include "appfolder.h"
#include "dialogseam.h"
#include "mainwindow.h"
#include "pelrasim.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class NoQuestions : public DialogSeam
{
public:
    bool ask(QWidget *, const QString &, const QString &) override { return false; }
    void inform(QWidget *, const QString &, const QString &) override {}
    bool startViewer(const QString &) override { return true; }
    void closeViewers() override {}
};

const char kCard[] = "[card1]\nid = 0x0412\nposition = 1\nfirmware = tambril\nasics = tambril, tambril\n"
                     "gige = 127.1.1.1\nasic_groups_reg = 0x4000\nasic_reads_reg = 0x4001\n"
                     "asic_resets_reg = 0x4003\nasic_drops_reg = 0x4004\nasic_drops_high_reg = 0x4005\n"
                     "asic_trigger_reg = 0x6900\nasic_trigger_value = 1\nasic_stop_value = 0\n"
                     "science_frame_ms = 0\n";

const char kGroup[] = "NAME: Image\nXSIZE: 2048\nYSIZE: 2048\nGROUP: 4000\nREAD: 4001\nRESET: 4003\n"
                      "DROP: 4004\nDROP2: 4005\nTRGDEST: ASIC\nTRGADDR: 6900\nTRGVAL: 1\nSTOPVAL: 0\n"
                      "TRGDEFVAL: 0\nTIMEOUT: 1500\n";

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("5.2"));
    const int frames = argc > 1 ? QByteArray(argv[1]).toInt() : 100;
    QTemporaryDir appDir;
    QTemporaryDir simDir;
    SetApplicationFolderForTesting(appDir.path());
    qputenv("PELRA_SIM_DIR", simDir.path().toLocal8Bit());
    NoQuestions seam;
    DialogSeam::install(&seam);

    pelrasim::Simulator sim;
    sim.setDeviceDir(simDir.path());
    QString error;
    if (!sim.loadScenarioText(QString::fromLatin1(kCard), &error) || !sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    QFile groups(appDir.filePath(QStringLiteral("acq.ini")));
    QFile ini(appDir.filePath(QStringLiteral("pac.ini")));
    if (!groups.open(QIODevice::WriteOnly) || groups.write(kGroup) < 0 || !ini.open(QIODevice::WriteOnly))
        return 1;
    groups.close();
    ini.write("[Application.LoadFiles]\nPELRA_FIRMWARE_SLOT=2\nGIGE_TIMEOUT=200\nACQUIRECONFIG="
              + groups.fileName().toUtf8() + "\nDATAPATH=" + appDir.path().toUtf8() + "/data/\nLOADFILE\\size=0\n");
    ini.close();

    MainWindow window;
    window.show();
    auto field = [&](const char *name, const QString &text) {
        window.findChild<QLineEdit *>(QLatin1String(name))->setText(text);
    };
    field("txtRamp", QStringLiteral("1"));
    field("txtGroup", QStringLiteral("1"));
    field("txtRead", QString::number(frames));
    field("txtDrop", QStringLiteral("0"));
    window.findChild<QComboBox *>(QStringLiteral("AcqSelect"))->setCurrentIndex(0);

    QElapsedTimer run;
    QElapsedTimer sinceTick;
    qint64 worstGap = 0;
    qint64 worstAt = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        if (gap > worstGap) {
            worstGap = gap;
            worstAt = run.elapsed();
        }
    });
    QTimer::singleShot(0, &window, [&] {
        sinceTick.start();
        ticker.start(10);
        run.start();
        window.findChild<QPushButton *>(QStringLiteral("btnAcquire"))->click();
        ticker.stop();
        const QStringList log = window.findChild<QPlainTextEdit *>(QStringLiteral("txtLog"))->toPlainText().split('\n');
        for (const QString &line : log.filter(QStringLiteral("Exposure acquisition")))
            std::printf("%s\n", qPrintable(line));
        std::printf("%d frames of 2048 x 2048 in %lld ms; longest event-loop stall %lld ms, ending %lld ms into "
                    "the run (timer every 10 ms)\n",
                    frames, static_cast<long long>(run.elapsed()), static_cast<long long>(worstGap),
                    static_cast<long long>(worstAt));
        app.quit();
    });
    return app.exec();
}
