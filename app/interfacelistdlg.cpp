#include "interfacelistdlg.h"

#include "cardtexts.h"
#include "ui_interfacelistdlg.h"

#include <QDialogButtonBox>
#include <QTableWidgetItem>

InterfaceListDlg::InterfaceListDlg(QWidget *parent)
    : QDialog(parent), ui(new Ui::InterfaceListDlg)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("PELRA Interface List"));
    const int widths[] = {60, 110, 80, 120};
    for (int column = 0; column < 4; ++column)
        ui->tblInterfaces->setColumnWidth(column, widths[column]);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

InterfaceListDlg::~InterfaceListDlg()
{
    delete ui;
}

void InterfaceListDlg::SetInterfaceList(const QVector<PELRA_Card> &cards, int count)
{
    const int rows = qMin(count, cards.size());
    for (int i = 0; i < rows; ++i) {
        const int row = ui->tblInterfaces->rowCount();
        ui->tblInterfaces->insertRow(row);
        const QStringList texts = InterfaceListRow(cards.at(i));
        for (int column = 0; column < texts.size(); ++column) {
            auto *item = new QTableWidgetItem(texts.at(column));
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            ui->tblInterfaces->setItem(row, column, item);
        }
    }
    ui->tblInterfaces->selectRow(0);
}

int InterfaceListDlg::SelectedInterface() const
{
    const QModelIndexList rows = ui->tblInterfaces->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}
