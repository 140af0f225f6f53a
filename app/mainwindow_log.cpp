// Log panel, log file and the Browse buttons of the "Load Files" tab.
#include "mainwindow.h"

#include "dialogseam.h"
#include "logline.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QScopedPointer>

void MainWindow::Log(const QString &text, bool gap)
{
    if (!ui)
        return;
    const QString line = FormatLogLine(QDateTime::currentDateTime(), text, gap);
    ui->txtLog->appendPlainText(line);
    // Workflows block the GUI thread; paint now so that progress stays visible.
    ui->txtLog->viewport()->repaint();
    if (logFile.isOpen()) {
        logStream << line << '\n';
        logStream.flush();
    }
}

// (Re)opens the file named in txtLogFile for appending. On failure the
// previous file stays in use unless it was already closed for the switch.
bool MainWindow::ValidateLogFile()
{
    const QString name = ui->txtLogFile->text().trimmed();
    if (name.isEmpty()) {
        Log(QStringLiteral("Invalid log file name"));
        return false;
    }
    const QString folder = QFileInfo(name).absolutePath();
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        if (!QDir(folder).exists()) {
            Log(QStringLiteral("Creating log file dir failed. Please manually create: ") + folder);
            return false;
        }
    }
    logStream.setDevice(nullptr);
    logFile.close();
    logFile.setFileName(name);
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        Log(QStringLiteral("Opening log file: ") + name + QStringLiteral(" failed"));
        return false;
    }
    logFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    logStream.setDevice(&logFile);
    logStream.setCodec("UTF-8");
    return true;
}

void MainWindow::OnBrowseLoadFile()
{
    const QObject *button = sender();
    if (button == ui->btn_browseMaster) {
        const QString file = dialogs->openFileName(this, QStringLiteral("Select Master Config file .mcf"),
                                                   QFileInfo(ui->txtMcf->text()).absolutePath(),
                                                   QStringLiteral("mcf file (*.mcf);;All files (*.*)"));
        if (!file.isEmpty())
            ui->txtMcf->setText(file);
    } else if (button == ui->btn_datapath) {
        const QString current = QDir::cleanPath(QFileInfo(ui->txtDatapath->text()).absoluteFilePath());
        const QString folder = dialogs->existingDirectory(this, QStringLiteral("Select directory for science data"),
                                                          QFileInfo(current).absolutePath());
        if (!folder.isEmpty())
            ui->txtDatapath->setText(folder);
    } else if (button == ui->btn_browseLogFile) {
        const QString current = ui->txtLogFile->text().trimmed();
        const QString file = dialogs->saveFileName(this, QStringLiteral("Select log file .txt"),
                                                   QFileInfo(current).absolutePath(),
                                                   QStringLiteral("log file (*.txt);;All files (*.*)"));
        // The dialog answers with an absolute path; the field may hold a
        // relative one. The file in use is never reopened.
        if (!file.isEmpty() && QFileInfo(file).absoluteFilePath() != QFileInfo(current).absoluteFilePath()) {
            ui->txtLogFile->setText(file);
            ValidateLogFile();
        }
    }
}

void MainWindow::onLogCustomContextMenuRequested(const QPoint &pos)
{
    QScopedPointer<QMenu> menu(ui->txtLog->createStandardContextMenu(pos));
    menu->addAction(QStringLiteral("Clear"), ui->txtLog, &QPlainTextEdit::clear);
    menu->exec(ui->txtLog->viewport()->mapToGlobal(pos));
}
