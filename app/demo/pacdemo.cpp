// pac-demo: a scripted tour of the real window against simulated cards, for
// a machine without a display (scripts/demo). It presses the buttons an
// operator would (interface check, master configuration, power, telemetry,
// a test-pattern and an image acquisition), saves a screenshot of each tab
// and leaves the acquired FITS files in the output folder, then ends.
//
//   pac-demo <output folder> <master configuration file>
//
// Questions are answered No, information boxes and viewer commands are
// printed: nothing waits for a person.
#include "dialogseam.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

class UnattendedSeam : public DialogSeam
{
public:
    bool ask(QWidget *, const QString &title, const QString &text) override
    {
        Say(QStringLiteral("question (answered No): ") + title + QStringLiteral(" | ") + text);
        return false;
    }
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QStringList openFileNames(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QString existingDirectory(QWidget *, const QString &, const QString &) override { return {}; }
    void inform(QWidget *, const QString &title, const QString &text) override
    {
        Say(QStringLiteral("information: ") + title + QStringLiteral(" | ") + text);
    }
    bool startViewer(const QString &fileName) override
    {
        Say(QStringLiteral("viewer: ds9 ") + fileName);
        return true;
    }
    void closeViewers() override {}

    static void Say(const QString &text)
    {
        std::fprintf(stdout, "%s\n", qPrintable(text));
        std::fflush(stdout);
    }
};

template <class T>
T *Find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QLatin1String(name));
    if (!widget) {
        UnattendedSeam::Say(QStringLiteral("demo: no widget ") + QLatin1String(name));
        std::exit(1);
    }
    return widget;
}

void Shoot(QWidget *window, const char *tab, const QString &folder, const QString &name = QString())
{
    auto *tabs = Find<QTabWidget>(window, "tabWidget");
    tabs->setCurrentWidget(Find<QWidget>(window, tab));
    QApplication::processEvents();
    const QString file = QDir(folder).filePath((name.isEmpty() ? QLatin1String(tab) : name) + QStringLiteral(".png"));
    if (!window->grab().save(file)) {
        UnattendedSeam::Say(QStringLiteral("demo: cannot save ") + file);
        std::exit(1);
    }
    UnattendedSeam::Say(QStringLiteral("screenshot: ") + file);
}

void SelectGroup(QWidget *window, const QString &name)
{
    auto *groups = Find<QComboBox>(window, "AcqSelect");
    const int index = groups->findText(name);
    if (index < 0) {
        UnattendedSeam::Say(QStringLiteral("demo: no acquisition group ") + name);
        std::exit(1);
    }
    groups->setCurrentIndex(index);
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PAC_VERSION));
    if (argc != 3) {
        std::fprintf(stderr, "usage: pac-demo <output folder> <master configuration file>\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString master = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "pac-demo: cannot make %s\n", argv[1]);
        return 1;
    }
    UnattendedSeam seam;
    DialogSeam::install(&seam);

    MainWindow window;
    window.show();
    QApplication::processEvents();

    // Every step runs from the event loop, as an operator's click would.
    QTimer::singleShot(0, &window, [&] {
        QWidget *w = &window;
        Find<QPushButton>(w, "btnInterface")->click();
        Shoot(w, "tabInit", folder);

        // The card keeps the firmware it started with, so that the tour's
        // groups fit its ASICs.
        Find<QCheckBox>(w, "chkPELRAFirmware")->setChecked(false);
        Find<QLineEdit>(w, "txtMcf")->setText(master);
        Find<QPushButton>(w, "btMasterConfig")->click();
        Shoot(w, "tabInit", folder, QStringLiteral("tabInit-master"));

        Find<QTabWidget>(w, "tabWidget")->setCurrentWidget(Find<QWidget>(w, "tabPwrControl"));
        Find<QPushButton>(w, "btnSetVolt")->click();
        Find<QPushButton>(w, "btGetVolt")->click();
        Shoot(w, "tabPwrControl", folder);

        Find<QTabWidget>(w, "tabWidget")->setCurrentWidget(Find<QWidget>(w, "tabAnalysis"));
        Find<QPushButton>(w, "btnMeasureAll")->click();
        Shoot(w, "tabAnalysis", folder);

        Find<QTabWidget>(w, "tabWidget")->setCurrentWidget(Find<QWidget>(w, "tabAcq"));
        Find<QLineEdit>(w, "txtDatapath")->setText(folder + QStringLiteral("/data/"));
        Find<QCheckBox>(w, "chkImgViewer")->setChecked(true);
        SelectGroup(w, QStringLiteral("Test pattern PORT_FIFO"));
        Find<QLineEdit>(w, "txtRead")->setText(QStringLiteral("4"));
        Find<QPushButton>(w, "btnAcquire")->click();
        SelectGroup(w, QStringLiteral("TAMBRIL image 2048x2048"));
        for (const char *field : {"txtRamp", "txtGroup"})
            Find<QLineEdit>(w, field)->setText(QStringLiteral("1"));
        Find<QLineEdit>(w, "txtRead")->setText(QStringLiteral("3"));
        Find<QLineEdit>(w, "txtDrop")->setText(QStringLiteral("0"));
        Find<QLineEdit>(w, "FileName_Prefix")->setText(QStringLiteral("Image"));
        Find<QPushButton>(w, "btnAcquire")->click();
        Shoot(w, "tabAcq", folder);

        Find<QTabWidget>(w, "tabWidget")->setCurrentWidget(Find<QWidget>(w, "tabCmd"));
        Find<QPushButton>(w, "btnReadErrCnt")->click();
        Shoot(w, "tabCmd", folder);

        QFile log(QDir(folder).filePath(QStringLiteral("log.txt")));
        if (log.open(QIODevice::WriteOnly | QIODevice::Text))
            QTextStream(&log) << Find<QPlainTextEdit>(w, "txtLog")->toPlainText() << '\n';
        QApplication::exit(0);
    });
    // The tour never waits for a person; this only ends a tour that hangs.
    QTimer::singleShot(600000, &app, [] {
        UnattendedSeam::Say(QStringLiteral("demo: the tour did not finish"));
        QApplication::exit(1);
    });
    // Ends without closing the window: its close questions are for an operator.
    return app.exec();
}
