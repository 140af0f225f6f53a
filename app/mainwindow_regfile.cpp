// Manual Command tab, register-table files: the whole tab loaded from, saved
// to and compared with the register-table file of the ticked ASIC family,
// and the register-table offers that end the interface check.
#include "mainwindow.h"

#include "dialogseam.h"
#include "manualregfile.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QTableWidget>

namespace {

ManualRegBlocks BlocksFromFields(const QLineEdit *readAddress, const QLineEdit *readLength,
                                 const QLineEdit *writeAddress, const QPlainTextEdit *data)
{
    ManualRegBlocks blocks;
    blocks.readAddress = readAddress->text().trimmed();
    blocks.readLength = readLength->text().trimmed();
    blocks.writeAddress = writeAddress->text().trimmed();
    blocks.writeLines = BlockDataLines(data->toPlainText());
    return blocks;
}

void BlocksToFields(const ManualRegBlocks &blocks, QLineEdit *readAddress, QLineEdit *readLength,
                    QLineEdit *writeAddress, QPlainTextEdit *data)
{
    readAddress->setText(blocks.readAddress);
    readLength->setText(blocks.readLength);
    writeAddress->setText(blocks.writeAddress);
    data->clear();
    for (const QString &line : blocks.writeLines)
        data->appendPlainText(line);
}

QVector<ManualRegRow> RowsFromTable(const QTableWidget *table, bool withFlag)
{
    QVector<ManualRegRow> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        ManualRegRow row;
        const QTableWidgetItem *cells[3] = {table->item(r, 0), table->item(r, 1), table->item(r, 2)};
        row.reg = cells[0] ? cells[0]->text().trimmed() : QString();
        row.writeValue = cells[1] ? cells[1]->text().trimmed() : QString();
        row.readValue = cells[2] ? cells[2]->text().trimmed() : QString();
        const QTableWidgetItem *flag = withFlag ? table->item(r, 3) : nullptr;
        row.flag = flag && flag->checkState() == Qt::Checked;
        rows << row;
    }
    return rows;
}

}  // namespace

QString MainWindow::ManualRegFilePath() const
{
    return ui->rdTAMBRIL->isChecked() ? manualRegFileTambril : manualRegFileOstera;
}

ManualRegTable MainWindow::ManualTabFromWindow() const
{
    ManualRegTable tab;
    tab.dmaMspi = ui->chkDMA->isChecked();
    tab.asicBlocks = BlocksFromFields(ui->txtASICBlkRdAddr, ui->txtASICBlkLen, ui->txtASICBlkWrtAddr, ui->txtASICBlockData);
    tab.asicBlocks.read24 = ui->chkASICRd24bit->isChecked();
    tab.asicRows = RowsFromTable(ui->tblASIC, true);
    tab.pelraRows = RowsFromTable(ui->tblPELRA, false);
    tab.pelraBlocks = BlocksFromFields(ui->txtPELRABlkRdAddr, ui->txtPELRABlkLen, ui->txtPELRABlkWrtAddr,
                                       ui->txtPELRABlockData);
    return tab;
}

void MainWindow::ManualTabToWindow(const ManualRegTable &tab)
{
    ui->chkDMA->setChecked(tab.dmaMspi);
    ui->chkASICRd24bit->setChecked(tab.asicBlocks.read24);
    BlocksToFields(tab.asicBlocks, ui->txtASICBlkRdAddr, ui->txtASICBlkLen, ui->txtASICBlkWrtAddr, ui->txtASICBlockData);
    const QPair<QTableWidget *, const QVector<ManualRegRow> *> tables[] = {{ui->tblASIC, &tab.asicRows},
                                                                          {ui->tblPELRA, &tab.pelraRows}};
    for (const auto &t : tables) {
        QTableWidget *table = t.first;
        table->setRowCount(0);
        table->clearContents();
        SetRegisterTableHeaders(table);
        table->setRowCount(t.second->size());
        table->setColumnWidth(0, table->rowCount() < 100 ? 45 : 50);
        for (int row = 0; row < t.second->size(); ++row)
            SetRegisterRow(table, row, t.second->at(row));
    }
    BlocksToFields(tab.pelraBlocks, ui->txtPELRABlkRdAddr, ui->txtPELRABlkLen, ui->txtPELRABlkWrtAddr,
                   ui->txtPELRABlockData);
}

// The file is that of the family ticked now. Every mode reports a missing
// file and returns false; a file is never created here.
bool MainWindow::ReadWriteManualConfigRegIniFile(quint8 mode)
{
    const QString path = ManualRegFilePath();
    if (!QFileInfo(path).isFile()) {
        Log(QStringLiteral("Manual Config Register file ") + path + QStringLiteral(" doesn't exist"));
        return false;
    }
    ManualRegTable file;
    switch (mode) {
    case 0:
        if (!ReadManualRegFile(path, file))
            return false;
        ManualTabToWindow(file);
        return true;
    case 1:
        return WriteManualRegFile(path, ManualTabFromWindow());
    case 2:
        return ReadManualRegFile(path, file) && ManualRegTablesDiffer(ManualTabFromWindow(), file);
    default:
        return false;
    }
}

void MainWindow::on_btnLoadManualReg_clicked()
{
    const QString path = dialogs->openFileName(this, QStringLiteral("Manual Register File .ini"), ManualRegFilePath(),
                                               QStringLiteral("ini file (*.ini)"));
    if (path.isEmpty())
        return;
    if (ui->rdTAMBRIL->isChecked())
        manualRegFileTambril = path;
    else
        manualRegFileOstera = path;
    const bool ok = ReadWriteManualConfigRegIniFile(0);
    Log(QStringLiteral("Loading ") + path + (ok ? QStringLiteral(" succeeded") : QStringLiteral(" failed")));
}

void MainWindow::on_btnSaveManualReg_clicked()
{
    const QString path = ManualRegFilePath();
    if (!dialogs->ask(this, QStringLiteral("PAC "), QStringLiteral("Update ") + path + QStringLiteral("?")))
        return;
    const bool ok = ReadWriteManualConfigRegIniFile(1);
    Log(QStringLiteral("Saving ") + path + (ok ? QStringLiteral(" succeeded") : QStringLiteral(" failed")));
}

// The start-up check loads the ticked family's table without asking; a check
// by the button offers it only when the family changed (`question` set).
void MainWindow::btnInterface_LocalCleanup(const QString &question)
{
    if (sender() != ui->btnInterface) {
        UpdateManualCommandTab();
        ReadWriteManualConfigRegIniFile(0);
        return;
    }
    if (question.isEmpty())
        return;
    UpdateManualCommandTab();
    if (dialogs->ask(this, QStringLiteral("PAC"), question))
        ReadWriteManualConfigRegIniFile(0);
}
