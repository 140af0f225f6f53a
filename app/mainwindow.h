// The PAC main window: the five tabs, the card/ASIC selection row, the log
// panel and log file, the settings file, and every operator workflow as a
// slot. The implementation is split by area into mainwindow_<area>.cpp.
#pragma once

#include <QFile>
#include <QMainWindow>
#include <QTextStream>
#include <QVector>

#include "pelra_global.h"

class DialogSeam;
class PelraInterface;
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
