// The PAC main window: the five tabs, the card/ASIC selection row, the log
// panel and log file, the settings file, and every operator workflow as a
// slot. The implementation is split by area into mainwindow_<area>.cpp.
#pragma once

#include <QFile>
#include <QMainWindow>
#include <QStringList>
#include <QTextStream>
#include <QVector>

#include "pelra_global.h"

class DialogSeam;
class GigeFrameGrabber;
class PelraInterface;
class QTableWidget;
struct ManualRegRow;
struct ManualRegTable;
struct PacSettings;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The one reporting channel: a time-stamped line in the panel and the log
    // file; a gap opens a new section with an empty line.
    void Log(const QString &text, bool gap = false);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    // log and Browse buttons
    void OnBrowseLoadFile();
    void onLogCustomContextMenuRequested(const QPoint &pos);
    // pac.ini
    void on_btnReadInI_clicked();
    void on_btnSaveInI_clicked();
    // interface selection
    void on_btnInterface_clicked();
    void OnChangeInterface(bool checked);
    // available cards and ASICs
    void OnSelectPELRA_ASIC();
    void on_btnGetPELRA_ASIC_clicked();
    // firmware slots
    void on_btnPELRAFirmware_clicked();
    // power control and telemetry tabs
    void on_btnSetVolt_clicked();
    void on_btGetVolt_clicked();
    void on_btnTLMConfig_clicked();
    void OnGetOneTelemetry();
    void GetTwoTelemetries();
    void on_btnMeasureAll_clicked();
    // load files: master configuration and the load-file list
    void on_btMasterConfig_clicked();
    void on_btnAddFile_clicked();
    void on_btnRemove_clicked();
    void on_btnMoveUp_clicked();
    void on_btnMoveDown_clicked();
    void OnClickLoadFile();
    // data acquisition tab: groups, ramp, buffer read-outs, guide mode, stop
    void on_btnFresh_clicked();
    void on_AcqSelect_currentIndexChanged(int index);
    void on_txtImgWidth_editingFinished();
    void on_txtImgHight_editingFinished();
    void on_txtUSBBuf_editingFinished();
    void on_chkGuide_stateChanged(int state);
    void on_btnStopAcq_clicked();
    // tab change: each tab's refresh lives with its area (mainwindow_tabs.cpp)
    void on_tabWidget_currentChanged(int index);
    // manual command tab: register tables, block transfers, register-table files, diagnostics
    void OnOperateRegisterTable();
    void OnReadSingleASIC();
    void OnWriteSingleASIC();
    void OnReadSinglePELRA();
    void OnWriteSinglePELRA();
    void OnSelectASIC(bool checked);
    void on_btnASICBlkRead_clicked();
    void on_btnPELRABlkRead_clicked();
    void on_btnASICBlkWrite_clicked();
    void on_btnPELRABlkWrite_clicked();
    void on_chkOSTERAAddrInc_clicked(bool checked);
    void on_btnLoadManualReg_clicked();
    void on_btnSaveManualReg_clicked();
    void on_btnReadErrCnt_clicked();
    void on_btnClearErr_clicked();
    void on_btnFIFO_clicked();
    void on_btnReset_clicked();
    // acquisition run: Acquire and the viewer's Close button (mainwindow_acquire.cpp)
    void on_btnAcquire_clicked();
    void on_CloseImg_clicked();

private:
    void InitActionsConnections();
    void PlaceWindow();
    bool ValidateLogFile();

    // mode 0 read, 1 write, 2 compare (true when different), other: nothing
    bool ReadWritePacConfigIniFile(quint8 mode);
    QString PacIniPath() const;
    PacSettings SettingsFromWindow() const;
    void SettingsToWindow(const PacSettings &settings);

    void ShowChosenCard(const PELRA_Card &card, PELRA_InterfaceType kind);
    QString GetPELRAString() const;

    quint8 GetAvailablePELRAs(bool tick);
    quint8 GetAvailableASICs(bool tick);
    void AppendHtmlToLog(const QString &html);

    // power control and telemetry
    // True when the card link has a link to the window's card.
    bool LinkToSelectedCard();
    // fromTab: the read comes from showing the tab and asks before replacing
    // fields that differ from what was last applied or read.
    void ReadPowerSettings(bool fromTab);
    void ConnectTelemetryButtons();
    void GetTelemetryConfig();

    // load files: after a family change, rebuild the Manual Command tab and
    // offer its register table (nothing when `question` is empty)
    void AskFamilyRegisterTable(const QString &question);
    bool TakeFirmwareFamily(PELRA_ASICType type, QString &question);

    // manual command tab
    // Adapts the tab to the ASIC family ticked with rdTAMBRIL/rdOSTERA.
    void UpdateManualCommandTab();
    // mode 0 load, 1 save, 2 compare (true when the tab differs from the file)
    bool ReadWriteManualConfigRegIniFile(quint8 mode);
    // Ends the interface check; asks `question` (if any) before loading a register table.
    void btnInterface_LocalCleanup(const QString &question);
    // One row of tblASIC or tblPELRA; without logging a failure goes into the table's "Err" property.
    bool ReadWriteASICTableRow(int row, bool read, QTableWidget *table, bool log);
    void InitManualCommandTab();
    void SetRegisterTableHeaders(QTableWidget *table);
    void OperateAllRows(QTableWidget *table, bool read);
    void OperateSelectedRows(QTableWidget *table, bool read);
    void OnSingleRow(QTableWidget *table, bool read);
    void AddRegisterRow(QTableWidget *table);
    void RemoveRegisterRows(QTableWidget *table);
    void MoveRegisterRows(QTableWidget *table, bool up);
    void SetRegisterRow(QTableWidget *table, int row, const ManualRegRow &content);
    QString ManualRegFilePath() const;
    ManualRegTable ManualTabFromWindow() const;
    void ManualTabToWindow(const ManualRegTable &tab);
    bool AsicResetPolarity() const;

    // data acquisition set-up: groups, ramp, test pattern, guide windows, frame writer
    // The group chosen in AcqSelect, or none when the list is empty.
    const PELRA_Global::AcqParam *SelectedAcqParam() const;
    PELRA_InterfaceType ChosenLink() const;
    // Shown again: Camera Link, guide mode and buffer read-outs follow the chosen link.
    void RefreshAcquisitionTab();
    void PreCalculateBufferSize();
    int ConfigASICRamp(int &firstFrameTimeout, int &frameTimeout);
    int ConfigPELRATestPattern(int &firstFrameTimeout, int &frameTimeout);
    bool ConfigurePELRAPatternFFO();
    bool RestorePELRAPatternFFO();
    bool VerifyGuideModeParams();
    // pixelCount: pixels available at `pixels` (the frame may be shorter than the layout needs)
    bool WriteFitsFilePushort(const QString &name, quint16 width, quint16 height, const quint16 *pixels,
                              quint32 pixelCount);
    // 0 go on, 1 stopped cleanly, 2 stop requested but stopping failed
    int GUI_IsAcquistionStopped();
    friend class TestWindowAcq;
    QVector<PELRA_Global::AcqParam> acqParams;
    quint16 imgWidth = 2048;
    quint16 imgHeight = 2048;
    quint16 clFrameWidth = 2048;
    quint16 clFrameHeight = 2048;
    quint32 pixelsPerFrame = 0;
    quint32 guidePixels = 0;
    quint64 reservedMemory = 0;
    quint32 savedFifoConfig = 0;
    bool fifoConfigSaved = false;     // savedFifoConfig holds the mode to restore

    // science path: card science registers and the receiver of the chosen link (mainwindow_science.cpp)
    // asicNames: "1" ... "8" of the selected ASICs; blockSize: the multi-ASIC
    // block size in pixels, or 0.
    bool ConfigureScienceInterface(QStringList &asicNames, quint32 &blockSize);
    GigeFrameGrabber *gigeGrabber = nullptr;
    friend class TestWindowScience;

    // acquisition run: the run's steps over the chosen link, the viewer and
    // the progress read-out (mainwindow_acquire.cpp)
    bool AcquireRamp(const QString &basePath, int firstFrameTimeout, int frameTimeout);
    // 0 done, 1 stopped by the operator, 2 failed or timed out
    int TriggerImageAcquisition(int timeoutMs, bool trigger);
    bool GetScienceData(int timeoutMs, const QString &name, quint16 nImages, quint32 blockSize);
    bool SaveScienceFrame(const QString &name, const quint16 *pixels, quint32 count, quint16 nImages,
                          quint32 blockSize);
    void StartViewer(const QStringList &files);
    void SetRunControls(bool running);
    bool AcquisitionRunning() const { return !runControlStates.isEmpty(); }
    void ShowRunProgress(quint64 saved, quint64 total, qint64 elapsedMs);
    QVector<quint16> usbFrame;
    // What SetRunControls disabled, with the state to give back after the run.
    QList<QPair<QWidget *, bool>> runControlStates;
    friend class WindowRunSteps;
    friend class TestWindowAcquire;

    Ui::MainWindow *ui = nullptr;
    PelraInterface *pelraLink = nullptr;
    QTextStream logStream;
    QFile logFile;
    QString acqConfigFile = QStringLiteral("");
    QString manualRegFileTambril;
    QString manualRegFileOstera;
    quint8 selectedPelraMask = 1;
    quint8 selectedAsicMask = 1;
    QString dcfFile = QStringLiteral("");
    QVector<quint32> powerRegCache;
    quint16 selectedCardId = 0;

    DialogSeam *dialogs = nullptr;
};
