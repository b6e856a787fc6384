#pragma once

#include <QDialog>

class TComboBox;
class QLabel;
class QPushButton;
class QShowEvent;
class MainViews;
class TExportCheckBox;
class TWordExportCheckBox;

// The export dialog: which outputs, for which organisation (or "Все"). On OK it asks every
// ticked export target among its controls, in control order, to export, once the register
// check has found nothing or the user has chosen to export anyway.
class TExportForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TExportForm)

public:
    explicit TExportForm(MainViews& views, QWidget* parent = nullptr);
    ~TExportForm() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    void Button1Click();
    // Checks what the targets are about to write for choice and, when something is found,
    // asks whether to write it anyway. False: write nothing.
    bool RegisterConfirmed(const QString& choice);

    MainViews& FViews;

    // Controls, in the dialog's control order.
    QLabel* Label1;
    QPushButton* Button1;
    TExportCheckBox* ExportCheckBox1;
    TWordExportCheckBox* WordExportCheckBox1;
    TComboBox* ComboBox1;
};
