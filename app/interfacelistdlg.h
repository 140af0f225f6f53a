// Lets the operator pick one card when discovery found several: one row per
// card with its id and links, row 0 selected at first.
#pragma once

#include <QDialog>
#include <QVector>

#include "pelra_global.h"

namespace Ui {
class InterfaceListDlg;
}

class InterfaceListDlg : public QDialog
{
    Q_OBJECT

public:
    explicit InterfaceListDlg(QWidget *parent = nullptr);
    ~InterfaceListDlg() override;

    void SetInterfaceList(const QVector<PELRA_Card> &cards, int count);
    // Row of the selected card, -1 when none is selected.
    int SelectedInterface() const;

private:
    Ui::InterfaceListDlg *ui;
};
