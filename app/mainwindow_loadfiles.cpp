// The load-file list of the "Load Files" tab: adding, removing and ordering
// register load files, and downloading the ticked, highlighted or all rows to
// the selected cards and ASICs.
#include "mainwindow.h"

#include "dialogseam.h"
#include "manualcommand.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QListWidgetItem>

namespace {

// The add dialog starts where the operator last chose a file.
const char StartFolderProperty[] = "Path";

int FirstRow(const QListWidget *list, const QList<QListWidgetItem *> &items)
{
    int first = list->count();
    for (const QListWidgetItem *item : items)
        first = qMin(first, list->row(item));
    return first;
}

int LastRow(const QListWidget *list, const QList<QListWidgetItem *> &items)
{
    int last = -1;
    for (const QListWidgetItem *item : items)
        last = qMax(last, list->row(item));
    return last;
}

}  // namespace

void MainWindow::on_btnAddFile_clicked()
{
    QString start = ui->btnAddFile->property(StartFolderProperty).toString();
    if (start.isEmpty() && ui->lstLoadFiles->count() > 0)
        start = ui->lstLoadFiles->item(ui->lstLoadFiles->count() - 1)->text();
    const QStringList files = dialogs->openFileNames(this, QStringLiteral("Select load file"), start,
                                                     QStringLiteral("file (*.glf *.ald *.mcd);;All files (*.*)"));
    if (files.isEmpty())
        return;
    ui->btnAddFile->setProperty(StartFolderProperty, files.first());
    for (const QString &file : files) {
        if (file.isEmpty())
            continue;
        auto *item = new QListWidgetItem(file, ui->lstLoadFiles);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
}

void MainWindow::on_btnRemove_clicked()
{
    qDeleteAll(ui->lstLoadFiles->selectedItems());
}

// The row above a contiguous highlighted block moves below it, so the block
// goes up by one. The block's ends are taken by row, whatever order the rows
// were highlighted in.
void MainWindow::on_btnMoveUp_clicked()
{
    QListWidget *list = ui->lstLoadFiles;
    const QList<QListWidgetItem *> highlighted = list->selectedItems();
    const int first = FirstRow(list, highlighted);
    if (highlighted.isEmpty() || first <= 0)
        return;
    QListWidgetItem *above = list->takeItem(first - 1);
    list->insertItem(first - 1 + highlighted.size(), above);
}

void MainWindow::on_btnMoveDown_clicked()
{
    QListWidget *list = ui->lstLoadFiles;
    const QList<QListWidgetItem *> highlighted = list->selectedItems();
    const int last = LastRow(list, highlighted);
    if (highlighted.isEmpty() || last >= list->count() - 1)
        return;
    QListWidgetItem *below = list->takeItem(last + 1);
    list->insertItem(last + 1 - highlighted.size(), below);
}

// Download ("Load Checked Files", "Load Highlighted Files", "Load All Files"):
//  1. check that the link still reaches the card chosen in the interface check;
//  2. collect the rows the pressed button stands for;
//  3. download each file; a failed file does not stop the next;
//  4. follow the firmware family, also when nothing was downloaded.
void MainWindow::OnClickLoadFile()
{
    Log(QStringLiteral("Download load files..."), true);
    quint16 cardId = 0;
    if (pelraLink->GetCurrentInterfaceType(&cardId) == InterfaceNone || cardId != selectedCardId) {
        Log(QStringLiteral("Invalid PELRA interface or serial number"));
        return;
    }

    const QString button = sender() ? sender()->objectName() : QString();
    const QListWidget *list = ui->lstLoadFiles;
    QStringList paths;
    if (button == QLatin1String("btnLoadHighlight")) {
        for (const QListWidgetItem *item : list->selectedItems())
            paths << item->text().trimmed();
    } else {
        const bool tickedOnly = button == QLatin1String("btnLoadSelect");
        const bool all = button == QLatin1String("btnLoadAll");
        for (int row = 0; row < list->count() && (tickedOnly || all); ++row) {
            const QListWidgetItem *item = list->item(row);
            if (all || item->checkState() == Qt::Checked)
                paths << item->text().trimmed();
        }
    }

    for (const QString &path : paths) {
        if (pelraLink->DownloadSingleFile(path, selectedPelraMask, selectedAsicMask, false))
            Log(QStringLiteral("Loading ") + path + QStringLiteral(" succeeded"));
        else
            Log(QStringLiteral("Loading ") + path + QStringLiteral(" failed. ") + pelraLink->ErrorString());
    }

    // Anything but OSTERA firmware (BaseMode or none included) means the TAMBRIL table.
    QString question;
    const PELRA_ASICType type = pelraLink->GetAsicType(selectedPelraMask);
    if (type == AsicOstera) {
        if (!ui->rdOSTERA->isChecked()) {
            Log(QStringLiteral("PELRA firmware for OSTERA operation detected"));
            ui->rdOSTERA->setChecked(true);
            question = ManualCommand::FamilySwitchQuestion(false);
        }
    } else if (!ui->rdTAMBRIL->isChecked()) {
        if (type == AsicTambril)
            Log(QStringLiteral("PELRA firmware for TAMBRIL operation detected"));
        else if (type == AsicBaseMode)
            Log(QStringLiteral("PELRA firmware for BaseMode operation detected"));
        else
            Log(QStringLiteral("No valid PELRA firmware detected"));
        ui->rdTAMBRIL->setChecked(true);
        question = ManualCommand::FamilySwitchQuestion(true);
    }
    AskFamilyRegisterTable(question);
}

// Logs the family the card's firmware serves and ticks its button; when the
// tick changed, `question` offers that family's register table. False, with
// nothing logged, for firmware of no known family.
bool MainWindow::TakeFirmwareFamily(PELRA_ASICType type, QString &question)
{
    switch (type) {
    case AsicOstera:
        Log(QStringLiteral("PELRA firmware for OSTERA operation detected"));
        if (!ui->rdOSTERA->isChecked()) {
            ui->rdOSTERA->setChecked(true);
            question = ManualCommand::FamilySwitchQuestion(false);
        }
        return true;
    case AsicTambril:
        Log(QStringLiteral("PELRA firmware for TAMBRIL operation detected"));
        if (!ui->rdTAMBRIL->isChecked()) {
            ui->rdTAMBRIL->setChecked(true);
            question = ManualCommand::FamilySwitchQuestion(true);
        }
        return true;
    case AsicBaseMode:
        Log(QStringLiteral("PELRA firmware for BaseMode operation detected"));
        return true;
    default:
        return false;
    }
}

void MainWindow::AskFamilyRegisterTable(const QString &question)
{
    if (question.isEmpty())
        return;
    UpdateManualCommandTab();
    if (dialogs->ask(this, QStringLiteral("PAC"), question))
        ReadWriteManualConfigRegIniFile(0);
}
