// Acquisition configuration file: reading its parameter groups into the
// selector of the Data Acquisition tab and applying the chosen group.
#include "mainwindow.h"

#include "acqconfigparser.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>

using PELRA_Global::AcqParam;

const AcqParam *MainWindow::SelectedAcqParam() const
{
    const int index = ui->AcqSelect->currentIndex();
    if (index < 0 || index >= acqParams.size())
        return nullptr;
    return &acqParams.at(index);
}

PELRA_InterfaceType MainWindow::ChosenLink() const
{
    if (ui->rdCamLink->isChecked())
        return InterfaceUART;
    if (ui->rdGigE->isChecked())
        return InterfaceGigE;
    if (ui->rdUSB->isChecked())
        return InterfaceUSB;
    return InterfaceNone;
}

// Refresh:
//  1. a click on Refresh opens a log section (a refresh after pac.ini is read does not);
//  2. a missing or unreadable file leaves the groups and the selector as they are;
//  3. parse the file, reporting its bad lines;
//  4. refill the selector and keep the group of the same name selected (else the first);
//  5. say so when the file held no group.
void MainWindow::on_btnFresh_clicked()
{
    const QString path = acqConfigFile;
    const bool clicked = sender() == ui->btnFresh;
    if (clicked)
        Log(QStringLiteral("Read ") + path + QStringLiteral(" and refresh the Acquisition list"), true);
    // A pac.ini that names no file is not worth a line at start-up.
    else if (path.isEmpty())
        return;

    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        Log(path + QStringLiteral(" listed in pac.ini does not exist"));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Log(QStringLiteral("Opening ") + path + QStringLiteral(" listed in pac.ini failed"));
        return;
    }
    if (file.size() > AcqConfig::MaxFileBytes) {
        Log(QStringLiteral("Opening ") + path + QStringLiteral(" listed in pac.ini failed: the file is larger than %1 MiB")
                                                    .arg(AcqConfig::MaxFileBytes >> 20));
        return;
    }
    // With its size: a NUL byte must not end the text early.
    const QByteArray content = file.read(AcqConfig::MaxFileBytes);
    file.close();
    const AcqConfig::ParseResult parsed = AcqConfig::Parse(QString::fromUtf8(content.constData(), content.size()));
    for (const QString &message : parsed.messages)
        Log(message);
    if (parsed.unreportedMessages > 0)
        Log(QStringLiteral("%1 more invalid lines in %2 are not listed").arg(parsed.unreportedMessages).arg(path));

    acqParams = parsed.groups;
    const QString remembered = ui->AcqSelect->currentText().trimmed();
    int chosen = acqParams.isEmpty() ? -1 : 0;
    {
        const QSignalBlocker blocker(ui->AcqSelect);
        ui->AcqSelect->clear();
        for (int i = 0; i < acqParams.size(); ++i) {
            ui->AcqSelect->addItem(acqParams.at(i).name);
            if (acqParams.at(i).name == remembered)
                chosen = i;
        }
        ui->AcqSelect->setCurrentIndex(chosen);
    }
    on_AcqSelect_currentIndexChanged(chosen);

    if (acqParams.isEmpty())
        Log(QStringLiteral("No valid image acquisition parameter group in ") + path);
}

void MainWindow::on_AcqSelect_currentIndexChanged(int index)
{
    if (index < 0 || index >= acqParams.size())
        return;
    const AcqParam &g = acqParams.at(index);
    ui->txtImgWidth->setText(QString::number(g.xSize));
    ui->txtImgHight->setText(QString::number(g.ySize));
    ui->lblDrop->setText(g.drop2Reg != 0 ? QStringLiteral("Drop lines") : QStringLiteral("Drop Frames"));
    ui->chkClkDrop->setChecked(g.clkDrpReg != 0);
    ui->txtCLWidth->setText(QString::number(g.clWidth));
    ui->txtCLHight->setText(QString::number(g.clHeight));

    on_txtImgWidth_editingFinished();
    on_txtImgHight_editingFinished();
    PreCalculateBufferSize();

    ui->txtExtraPixels->setText(QString::number(g.extraPixels));
    ui->chkGuide->setChecked(g.guideModeEn);
    ui->txtGuideX->setText(QString::number(g.guideXSize));
    ui->txtGuideY->setText(QString::number(g.guideYSize));
    ui->txtGuideStart->setText(QString::number(g.guideStartRow));
    ui->txtGuideReads->setText(QString::number(g.guideNReads));
    ui->txtGuideRows->setText(QString::number(g.guideNRows));
    ui->chkGuideEnd->setChecked(g.guideEnd != 0);

    const bool sync = !g.syncScript.isEmpty();
    for (QWidget *choice : {static_cast<QWidget *>(ui->rdSyncAcq), static_cast<QWidget *>(ui->rdSyncExp),
                            static_cast<QWidget *>(ui->rdNoSync)})
        choice->setEnabled(sync);
}

// Camera Link carries neither guide windows nor extra pixels, and only USB
// has buffers to set.
void MainWindow::RefreshAcquisitionTab()
{
    const bool camLink = ui->rdCamLink->isChecked();
    ui->grpCL->setEnabled(camLink);
    if (camLink) {
        ui->txtExtraPixels->setText(QStringLiteral("0"));
        ui->chkGuide->setChecked(false);
    }
    on_chkGuide_stateChanged(ui->chkGuide->checkState());
    for (QWidget *w : {static_cast<QWidget *>(ui->chkGuide), static_cast<QWidget *>(ui->lblExtraPixels),
                       static_cast<QWidget *>(ui->txtExtraPixels)})
        w->setEnabled(!camLink);
    ui->grpUSB->setEnabled(ui->rdUSB->isChecked());
    PreCalculateBufferSize();
}
