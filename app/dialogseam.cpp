#include "dialogseam.h"

#include <QFileDialog>
#include <QMessageBox>

#include <QFile>
#include <QProcess>

#include <csignal>
#include <cstdlib>

#include <sys/types.h>

namespace {

DialogSeam *installedSeam = nullptr;

QList<qint64> &StartedViewers()
{
    static QList<qint64> pids;
    return pids;
}

DialogSeam &DefaultSeam()
{
    static DialogSeam seam;
    return seam;
}

}  // namespace

bool DialogSeam::ask(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
           == QMessageBox::Yes;
}

QString DialogSeam::openFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QStringList DialogSeam::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString DialogSeam::saveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString DialogSeam::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    return QFileDialog::getExistingDirectory(
        parent, caption, dir,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog);
}

void DialogSeam::terminate(int code)
{
    std::exit(code);
}

void DialogSeam::inform(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text);
}

bool DialogSeam::startViewer(const QString &fileName)
{
    qint64 pid = 0;
    if (!QProcess::startDetached(QStringLiteral("ds9"), {fileName}, QString(), &pid))
        return false;
    StartedViewers().append(pid);
    return true;
}

void DialogSeam::closeViewers()
{
    for (qint64 pid : StartedViewers()) {
        // A viewer closed by hand may have left its process number to another
        // program: only a process that still runs the viewer is ended.
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray program = cmdline.readAll().split('\0').value(0);
        if (program == "ds9" || program.endsWith("/ds9"))
            ::kill(pid_t(pid), SIGTERM);
    }
    StartedViewers().clear();
}

DialogSeam *DialogSeam::current()
{
    return installedSeam ? installedSeam : &DefaultSeam();
}

void DialogSeam::install(DialogSeam *seam)
{
    installedSeam = seam;
}
