// Manual Command tab, register tables: the card and ASIC tables with their
// per-row R/W buttons, the buttons under each table, and the ASIC family
// switch that adapts the tab.
#include "mainwindow.h"

#include "dialogseam.h"
#include "manualcommand.h"
#include "manualregfile.h"
#include "pelrainterface.h"
#include "ui_mainwindow.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

using ManualCommand::Hex;

namespace {

const char *const kErrProperty = "Err";

// Column of the per-row "R" button; "W" follows it. The ASIC table has its
// 24Bit/mSPI check box in front of them.
int ReadButtonColumn(const QTableWidget *table, const Ui::MainWindow *ui)
{
    return table == ui->tblASIC ? 4 : 3;
}

QString CellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

bool CellChecked(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item && item->checkState() == Qt::Checked;
}

void SetCellText(QTableWidget *table, int row, int column, const QString &text)
{
    if (QTableWidgetItem *item = table->item(row, column))
        item->setText(text);
    else
        table->setItem(row, column, new QTableWidgetItem(text));
}

void SetCellChecked(QTableWidget *table, int row, int column, bool checked)
{
    if (QTableWidgetItem *item = table->item(row, column))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void SizeAddressColumn(QTableWidget *table)
{
    table->setColumnWidth(0, table->rowCount() < 100 ? 45 : 50);
}

QList<int> HighlightedRows(const QTableWidget *table)
{
    QList<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedRows())
        rows << index.row();
    return rows;
}

void SwapRows(QTableWidget *table, int a, int b, bool withFlag)
{
    for (int column = 0; column < 3; ++column) {
        const QString text = CellText(table, a, column);
        SetCellText(table, a, column, CellText(table, b, column));
        SetCellText(table, b, column, text);
    }
    if (withFlag) {
        const bool flag = CellChecked(table, a, 3);
        SetCellChecked(table, a, 3, CellChecked(table, b, 3));
        SetCellChecked(table, b, 3, flag);
    }
}

}  // namespace

void MainWindow::InitManualCommandTab()
{
    ui->tblASIC->setColumnWidth(3, 35);
    ui->tblASIC->setColumnWidth(4, 30);
    ui->tblASIC->setColumnWidth(5, 30);
    ui->tblPELRA->setColumnWidth(3, 30);
    ui->tblPELRA->setColumnWidth(4, 30);
    for (QTableWidget *table : {ui->tblASIC, ui->tblPELRA}) {
        SizeAddressColumn(table);
        SetRegisterTableHeaders(table);
        table->setProperty(kErrProperty, QString());
    }
}

void MainWindow::SetRegisterTableHeaders(QTableWidget *table)
{
    QStringList labels = {QStringLiteral("Addr"), QStringLiteral("Val (W)"), QStringLiteral("Val (R)")};
    if (table == ui->tblASIC)
        labels << (ui->rdTAMBRIL->isChecked() ? QStringLiteral("24Bit") : QStringLiteral("mSPI"));
    labels << QStringLiteral("R") << QStringLiteral("W");
    table->setHorizontalHeaderLabels(labels);
    const QString style = QStringLiteral("QHeaderView { font-size: 8pt; }");
    table->horizontalHeader()->setStyleSheet(style);
    table->verticalHeader()->setStyleSheet(style);
}

// One row of either table. Failures of a row that does not log go into the
// table's "Err" property, where the all-rows buttons pick up the last one.
bool MainWindow::ReadWriteASICTableRow(int row, bool read, QTableWidget *table, bool log)
{
    const bool asicTable = table == ui->tblASIC;
    const bool tambril = ui->rdTAMBRIL->isChecked();
    quint16 address = 0;
    if (!ManualCommand::ParseAddress(CellText(table, row, 0), &address)) {
        if (log)
            Log(QStringLiteral("Invalid register"));
        else
            table->setProperty(kErrProperty, QStringLiteral("Invalid register ") + QString::number(address, 16));
        return false;
    }
    // TAMBRIL reads the row's box as "24-bit" and takes DMA from the tab;
    // OSTERA reads it as "mSPI", which travels as the DMA flag.
    const bool rowFlag = asicTable && CellChecked(table, row, 3);
    const bool dma = asicTable && (tambril ? ui->chkDMA->isChecked() : rowFlag);
    const bool wide24 = asicTable && tambril && rowFlag;
    const QString where = (asicTable ? QStringLiteral("ASIC 0x") : GetPELRAString() + QStringLiteral(" 0x")) + Hex(address);

    if (read) {
        quint32 value = 0;
        const bool ok = asicTable ? pelraLink->ReadASICReg(address, value, selectedAsicMask, wide24, dma)
                                  : pelraLink->ReadPELRAReg(address, value, selectedPelraMask);
        const QString outcome = ok ? QStringLiteral(" succeeded") : QStringLiteral(" failed ") + pelraLink->ErrorString();
        if (log)
            Log(QStringLiteral("Reading ") + where + outcome);
        else if (!ok)
            table->setProperty(kErrProperty, QStringLiteral("reading ") + where + outcome);
        SetCellText(table, row, 2, Hex(value));
        return ok;
    }

    quint32 value = 0;
    if (!ManualCommand::ParseWriteValue(CellText(table, row, 1), ManualCommand::WriteLimit(asicTable, tambril, address),
                                        &value)) {
        Log(QStringLiteral("Invalid written value"));
        // Without this the all-rows summary would report the skipped row as written.
        if (!log)
            table->setProperty(kErrProperty, QStringLiteral("Invalid written value"));
        return false;
    }
    const bool ok = asicTable ? pelraLink->WriteASICReg(address, value, selectedAsicMask, dma)
                              : pelraLink->WritePELRAReg(address, value, selectedPelraMask);
    const QString text = QStringLiteral("Writing ") + where + QStringLiteral(" with val 0x") + Hex(value)
                         + (ok ? QStringLiteral(" succeeded") : QStringLiteral(" failed ") + pelraLink->ErrorString());
    if (log)
        Log(text);
    else if (!ok)
        table->setProperty(kErrProperty, text);
    return ok;
}

void MainWindow::OnOperateRegisterTable()
{
    const QObject *button = sender();
    const bool asicSide = button == ui->btnRdAllASICs || button == ui->btnWrtAllASICs || button == ui->btnRdSelASICs
                          || button == ui->btnWrtSelASICs || button == ui->btnAddASICReg
                          || button == ui->btnRemoveASICReg || button == ui->btnMoveUpASICReg
                          || button == ui->btnMoveDownASICReg;
    QTableWidget *table = asicSide ? ui->tblASIC : ui->tblPELRA;
    if (button == ui->btnRdAllASICs || button == ui->btnRdAllPELRAs)
        OperateAllRows(table, true);
    else if (button == ui->btnWrtAllASICs || button == ui->btnWrtAllPELRAs)
        OperateAllRows(table, false);
    else if (button == ui->btnRdSelASICs || button == ui->btnRdSelPELRAs)
        OperateSelectedRows(table, true);
    else if (button == ui->btnWrtSelASICs || button == ui->btnWrtSelPELRAs)
        OperateSelectedRows(table, false);
    else if (button == ui->btnAddASICReg || button == ui->btnAddPELRAReg)
        AddRegisterRow(table);
    else if (button == ui->btnRemoveASICReg || button == ui->btnRemovePELRAReg)
        RemoveRegisterRows(table);
    else if (button == ui->btnMoveUpASICReg || button == ui->btnMoveUpPELRAReg)
        MoveRegisterRows(table, true);
    else if (button == ui->btnMoveDownASICReg || button == ui->btnMoveDownPELRAReg)
        MoveRegisterRows(table, false);
}

// Failing rows do not stop the loop; one line reports the last failure.
void MainWindow::OperateAllRows(QTableWidget *table, bool read)
{
    table->setProperty(kErrProperty, QString());
    const int rows = table->rowCount();
    for (int row = 0; row < rows; ++row)
        ReadWriteASICTableRow(row, read, table, false);
    const QString failure = table->property(kErrProperty).toString();
    if (!failure.isEmpty())
        Log(failure);
    else if (read)
        Log(QStringLiteral("Reading %1 registers succeeded").arg(rows));
    else
        Log(QStringLiteral("%1 registers written successfully").arg(rows));
}

void MainWindow::OperateSelectedRows(QTableWidget *table, bool read)
{
    for (int row : HighlightedRows(table))
        ReadWriteASICTableRow(row, read, table, true);
}

void MainWindow::OnReadSingleASIC()
{
    OnSingleRow(ui->tblASIC, true);
}

void MainWindow::OnWriteSingleASIC()
{
    OnSingleRow(ui->tblASIC, false);
}

void MainWindow::OnReadSinglePELRA()
{
    OnSingleRow(ui->tblPELRA, true);
}

void MainWindow::OnWriteSinglePELRA()
{
    OnSingleRow(ui->tblPELRA, false);
}

// The row is the one whose R (or W) column holds the sending button.
void MainWindow::OnSingleRow(QTableWidget *table, bool read)
{
    const int column = ReadButtonColumn(table, ui) + (read ? 0 : 1);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->cellWidget(row, column) == sender()) {
            ReadWriteASICTableRow(row, read, table, true);
            return;
        }
    }
}

void MainWindow::SetRegisterRow(QTableWidget *table, int row, const ManualRegRow &content)
{
    const bool asicTable = table == ui->tblASIC;
    table->setItem(row, 0, new QTableWidgetItem(content.reg));
    table->setItem(row, 1, new QTableWidgetItem(content.writeValue));
    auto *readValue = new QTableWidgetItem(content.readValue);
    readValue->setBackground(QColor(242, 242, 242));
    readValue->setFlags(readValue->flags() & ~Qt::ItemIsEditable);
    table->setItem(row, 2, readValue);
    if (asicTable) {
        auto *flag = new QTableWidgetItem;
        flag->setFlags(flag->flags() | Qt::ItemIsUserCheckable);
        flag->setCheckState(content.flag ? Qt::Checked : Qt::Unchecked);
        table->setItem(row, 3, flag);
    }
    const int column = ReadButtonColumn(table, ui);
    QFont font;
    font.setPointSize(8);
    auto *readButton = new QPushButton(QStringLiteral("R"));
    auto *writeButton = new QPushButton(QStringLiteral("W"));
    readButton->setFont(font);
    writeButton->setFont(font);
    connect(readButton, &QPushButton::clicked, this, asicTable ? &MainWindow::OnReadSingleASIC : &MainWindow::OnReadSinglePELRA);
    connect(writeButton, &QPushButton::clicked, this,
            asicTable ? &MainWindow::OnWriteSingleASIC : &MainWindow::OnWriteSinglePELRA);
    table->setCellWidget(row, column, readButton);
    table->setCellWidget(row, column + 1, writeButton);
}

// "+": a row below the last highlighted row (or the last row), for the next
// register, with the reference row's width.
void MainWindow::AddRegisterRow(QTableWidget *table)
{
    const bool asicTable = table == ui->tblASIC;
    const QList<int> highlighted = HighlightedRows(table);
    int reference = table->rowCount() - 1;
    if (!highlighted.isEmpty())
        reference = *std::max_element(highlighted.cbegin(), highlighted.cend());
    const bool hasReference = reference >= 0;

    ManualRegRow content;
    content.reg = ManualCommand::NextRowAddress(hasReference, hasReference ? CellText(table, reference, 0) : QString());
    content.flag = asicTable && hasReference && CellChecked(table, reference, 3);
    const bool wide = asicTable && content.flag && ui->rdTAMBRIL->isChecked();
    content.writeValue = wide ? QStringLiteral("000000") : QStringLiteral("0000");
    content.readValue = content.writeValue;

    const int row = reference + 1;
    table->insertRow(row);
    SetRegisterRow(table, row, content);
    table->clearSelection();
    table->selectRow(row);
    SizeAddressColumn(table);
}

void MainWindow::RemoveRegisterRows(QTableWidget *table)
{
    for (QList<int> rows = HighlightedRows(table); !rows.isEmpty(); rows = HighlightedRows(table))
        table->removeRow(rows.first());
    SizeAddressColumn(table);
}

// Up/Dwn move the highlighted rows by one and keep them highlighted; nothing
// moves when one of them is already at the edge.
void MainWindow::MoveRegisterRows(QTableWidget *table, bool up)
{
    QList<int> rows = HighlightedRows(table);
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    if (up ? rows.first() == 0 : rows.last() >= table->rowCount() - 1)
        return;
    if (!up)
        std::reverse(rows.begin(), rows.end());
    const bool withFlag = table == ui->tblASIC;
    const int step = up ? -1 : 1;
    table->clearSelection();
    for (int row : rows) {
        SwapRows(table, row + step, row, withFlag);
        table->selectionModel()->select(table->model()->index(row + step, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// Family adaptation:
//  1. show the 24-bit block read for TAMBRIL only, name the DMA box;
//  2. title the ASIC table's flag column ("24Bit" or "mSPI");
//  3. for OSTERA with a link to talk over, show the card's address
//     auto-increment (0x0102 bit 0); the box shows it for OSTERA only.
void MainWindow::UpdateManualCommandTab()
{
    const bool tambril = ui->rdTAMBRIL->isChecked();
    ui->chkASICRd24bit->setVisible(tambril);
    ui->chkDMA->setText(tambril ? QStringLiteral("DMA") : QStringLiteral("mSPI\nBlk R/W"));
    SetRegisterTableHeaders(ui->tblASIC);
    SetRegisterTableHeaders(ui->tblPELRA);

    bool addressIncrement = false;
    const bool linkUsable = ui->rdGigE->isEnabled() || ui->rdUSB->isEnabled() || ui->rdCamLink->isEnabled();
    if (!tambril && linkUsable && pelraLink) {
        quint32 control = 0;
        if (pelraLink->ReadPELRAReg(0x0102, control, selectedPelraMask))
            addressIncrement = control & 1;
        else
            Log(QStringLiteral("Reading ") + GetPELRAString()
                + QStringLiteral(" 0x0102 for OSTERA Address Increment mode failed: ") + pelraLink->ErrorString());
    }
    ui->chkOSTERAAddrInc->setChecked(addressIncrement);
    ui->chkOSTERAAddrInc->setVisible(!tambril);
}

// Only the operator's click on a family button gets here; workflows that
// tick a family button themselves adapt the tab on their own.
void MainWindow::OnSelectASIC(bool checked)
{
    if (!checked)
        return;
    UpdateManualCommandTab();
    pelraLink->SetAsicType(ui->rdTAMBRIL->isChecked() ? AsicTambril : AsicOstera);
    if (dialogs->ask(this, QStringLiteral("Select ASIC "), QStringLiteral("Update register table registers?")))
        ReadWriteManualConfigRegIniFile(0);
}
