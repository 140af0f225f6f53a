// pelra-sim <scenario.ini> [--dir <deviceDir>]
//
// Serves the scenario's cards until SIGINT or SIGTERM. Prints one line per
// link and then "ready", so scripts can wait for it.
#include "pelrasim.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList args = app.arguments().mid(1);
    QString scenario;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir") && i + 1 < args.size()) {
            dir = args[++i];
        } else if (scenario.isEmpty() && !args[i].startsWith(QLatin1String("--"))) {
            scenario = args[i];
        } else {
            scenario.clear();
            break;
        }
    }
    if (scenario.isEmpty()) {
        err << "usage: pelra-sim <scenario.ini> [--dir <deviceDir>]\n";
        return 2;
    }

    pelrasim::Simulator sim;
    if (!dir.isEmpty())
        sim.setDeviceDir(dir);
    QString error;
    if (!sim.loadScenarioFile(scenario, &error) || !sim.start(&error)) {
        err << "pelra-sim: " << error << "\n";
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        err << "pelra-sim: cannot watch for signals\n";
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    for (const QString &line : sim.linkDescriptions())
        out << line << "\n";
    out << "ready" << Qt::endl;

    const int rc = app.exec();
    sim.stop();
    return rc;
}
