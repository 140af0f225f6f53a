// Start-up, wiring and close sequence of the main window.
#include "mainwindow.h"

#include "appfolder.h"
#include "dialogseam.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

// Start-up:
//  1. build the form and title the window with the application version;
//  2. limit the log panel, show the first tab, clear the power register cache;
//  3. place the window;
//  4. work in the application folder;
//  5. wire the shared slots;
//  6. read pac.ini, which also opens the log file;
//  7. without settings or log file, ask whether to go on at all;
//  8. create the card link;
//  9. run the interface check once.
MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), dialogs(DialogSeam::current())
{
    Q_INIT_RESOURCE(pelractrl);
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("PELRA Acquisition Control (PAC) V") + QCoreApplication::applicationVersion());

    ui->txtLog->setMaximumBlockCount(256);
    ui->tabWidget->setCurrentIndex(0);
    powerRegCache = QVector<quint32>(41, 0);
    InitManualCommandTab();

    PlaceWindow();

    const QDir folder(ApplicationFolder());
    if (QDir::current().canonicalPath() != folder.canonicalPath())
        QDir::setCurrent(folder.absolutePath());

    InitActionsConnections();

    if (!ReadWritePacConfigIniFile(0)
        && !dialogs->ask(this, QStringLiteral("Critical Error"), QStringLiteral("pac.ini not found! Continue?"))) {
        dialogs->terminate(-1);
        return;
    }

    pelraLink = new PelraInterface(this);
    on_btnInterface_clicked();
}

MainWindow::~MainWindow()
{
    logStream.setDevice(nullptr);
    delete ui;
}

void MainWindow::PlaceWindow()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move((area.width() - width()) / 2, (area.height() - height()) / 4);
}

void MainWindow::InitActionsConnections()
{
    connect(ui->txtLog, &QWidget::customContextMenuRequested, this, &MainWindow::onLogCustomContextMenuRequested);

    for (QRadioButton *link : {ui->rdGigE, ui->rdCamLink, ui->rdUSB})
        connect(link, &QAbstractButton::clicked, this, &MainWindow::OnChangeInterface);

    for (QPushButton *browse : {ui->btn_browseMaster, ui->btn_datapath, ui->btn_browseLogFile})
        connect(browse, &QAbstractButton::clicked, this, &MainWindow::OnBrowseLoadFile);

    for (QPushButton *load : {ui->btnLoadSelect, ui->btnLoadHighlight, ui->btnLoadAll})
        connect(load, &QAbstractButton::clicked, this, &MainWindow::OnClickLoadFile);

    for (QCheckBox *box : {ui->chkPELRA1, ui->chkPELRA2, ui->chkPELRA3, ui->chkPELRA4, ui->chkPELRA5,
                           ui->chkPELRA6, ui->chkPELRA7, ui->chkPELRA8, ui->chkASIC1, ui->chkASIC2,
                           ui->chkASIC3, ui->chkASIC4, ui->chkASIC5, ui->chkASIC6, ui->chkASIC7, ui->chkASIC8})
        connect(box, &QAbstractButton::clicked, this, &MainWindow::OnSelectPELRA_ASIC);

    ConnectTelemetryButtons();

    for (QRadioButton *family : {ui->rdTAMBRIL, ui->rdOSTERA})
        connect(family, &QAbstractButton::clicked, this, &MainWindow::OnSelectASIC);

    for (QPushButton *button : {ui->btnWrtAllASICs, ui->btnRdAllASICs, ui->btnWrtSelASICs, ui->btnRdSelASICs,
                                ui->btnAddASICReg, ui->btnRemoveASICReg, ui->btnMoveUpASICReg, ui->btnMoveDownASICReg,
                                ui->btnWrtAllPELRAs, ui->btnRdAllPELRAs, ui->btnWrtSelPELRAs, ui->btnRdSelPELRAs,
                                ui->btnAddPELRAReg, ui->btnRemovePELRAReg, ui->btnMoveUpPELRAReg,
                                ui->btnMoveDownPELRAReg})
        connect(button, &QAbstractButton::clicked, this, &MainWindow::OnOperateRegisterTable);
}

// Close: confirm, offer to save changed settings and the changed register
// table, close the log file, release the card link and the form. Declining
// leaves everything as it was.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!ui) {
        event->accept();
        return;
    }
    // A run still uses the card link and the receivers: it is stopped first,
    // and the window can be closed once it has ended.
    if (AcquisitionRunning()) {
        on_btnStopAcq_clicked();
        event->ignore();
        return;
    }
    if (!dialogs->ask(this, QStringLiteral("PAC"), QStringLiteral("Are you sure to close the application?\n"))) {
        event->ignore();
        return;
    }
    if (ReadWritePacConfigIniFile(2) && dialogs->ask(this, QStringLiteral("PAC"), QStringLiteral("Save pac.ini file?")))
        ReadWritePacConfigIniFile(1);
    if (ReadWriteManualConfigRegIniFile(2)
        && dialogs->ask(this, QStringLiteral("PAC"),
                        QStringLiteral("Save Manual Register config file ") + ManualRegFilePath() + QStringLiteral("?")))
        ReadWriteManualConfigRegIniFile(1);

    logStream.setDevice(nullptr);
    logFile.close();

    delete pelraLink;
    pelraLink = nullptr;
    delete ui;
    ui = nullptr;
    event->accept();
}
