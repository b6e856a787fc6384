#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QShowEvent;
class TDataSource;
class TDBEdit;
class TTable;
class MainViews;

// Adds one employee through a view of its own on the employee table.
class TEmployeeAddForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TEmployeeAddForm)

public:
    explicit TEmployeeAddForm(MainViews& views, QWidget* parent = nullptr);
    ~TEmployeeAddForm() override;

    // Closing by any way (close box, Escape, after saving) ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    void OrgBoxChange(int index);
    void SaveButtonClick();
    void FormClose();
    void NormalizeAmountField();

    MainViews& FViews;

    TTable* EmployeeTable;
    TDataSource* EmployeeDataSource;

    QLabel* FioLabel;
    TDBEdit* FioDBEdit;
    QLabel* AccntLabel;
    TDBEdit* AccntDBEdit;
    QLabel* AmountLabel;
    TDBEdit* AmountDBEdit;
    QLabel* OrgLabel;
    QComboBox* OrgBox;
    TDBEdit* OrgDBEdit;
    QPushButton* SaveButton;
};
