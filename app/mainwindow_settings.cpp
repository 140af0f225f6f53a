// pac.ini: reading it into the window, writing the window into it, and the
// comparison behind the save question at close.
#include "mainwindow.h"

#include "appfolder.h"
#include "dialogseam.h"
#include "pacsettings.h"
#include "ui_mainwindow.h"

#include <QDate>
#include <QFileInfo>
#include <QListWidgetItem>

QString MainWindow::PacIniPath() const
{
    return ApplicationFolder() + QStringLiteral("/pac.ini");
}

PacSettings MainWindow::SettingsFromWindow() const
{
    PacSettings s;
    s.slot2 = ui->rdSlot2->isChecked();
    s.masterConfig = ui->txtMcf->text();
    s.gigeTimeout = ui->txtGigETimeout->text();
    s.dcf = dcfFile;
    s.acquireConfig = acqConfigFile;
    s.manualRegTambril = manualRegFileTambril;
    s.manualRegOstera = manualRegFileOstera;
    s.dataPath = ui->txtDatapath->text();
    for (int row = 0; row < ui->lstLoadFiles->count(); ++row) {
        const QListWidgetItem *item = ui->lstLoadFiles->item(row);
        s.loadFiles.append({item->text(), item->checkState() == Qt::Checked});
    }
    return s;
}

void MainWindow::SettingsToWindow(const PacSettings &s)
{
    (s.slot2 ? ui->rdSlot2 : ui->rdSlot1)->setChecked(true);
    ui->txtMcf->setText(s.masterConfig);
    ui->txtGigETimeout->setText(s.gigeTimeout);
    dcfFile = s.dcf;
    acqConfigFile = s.acquireConfig;
    manualRegFileTambril = s.manualRegTambril;
    manualRegFileOstera = s.manualRegOstera;
    ui->txtDatapath->setText(s.dataPath);
    ui->txtLogFile->setText(LogFileName(s.dataPath, QDate::currentDate()));
    ui->lstLoadFiles->clear();
    for (const LoadFileEntry &entry : s.loadFiles) {
        auto *item = new QListWidgetItem(entry.name, ui->lstLoadFiles);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(entry.selected ? Qt::Checked : Qt::Unchecked);
    }
}

bool MainWindow::ReadWritePacConfigIniFile(quint8 mode)
{
    const QString path = PacIniPath();
    if (!QFileInfo(path).isFile()) {
        Log(QStringLiteral("pac.ini file doesn't exist"));
        return false;
    }
    switch (mode) {
    case 0: {
        PacSettings settings;
        if (!ReadPacSettings(path, settings)) {
            Log(QStringLiteral("pac.ini file doesn't exist"));
            return false;
        }
        SettingsToWindow(settings);
        const bool logOpen = ValidateLogFile();
        on_btnFresh_clicked();
        return logOpen;
    }
    case 1:
        if (!WritePacSettings(path, SettingsFromWindow())) {
            Log(QStringLiteral("Saving pac.ini file failed: ") + path + QStringLiteral(" cannot be written"));
            return false;
        }
        return true;
    case 2:
        return PacSettingsDiffer(path, SettingsFromWindow());
    default:
        return true;
    }
}

void MainWindow::on_btnReadInI_clicked()
{
    if (dialogs->ask(this, QStringLiteral("PAC"), QStringLiteral("Re-load pac.ini file?")))
        ReadWritePacConfigIniFile(0);
}

void MainWindow::on_btnSaveInI_clicked()
{
    if (dialogs->ask(this, QStringLiteral("PAC"), QStringLiteral("Save pac.ini file?")))
        ReadWritePacConfigIniFile(1);
}
