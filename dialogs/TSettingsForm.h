#pragma once

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class TDataSource;
class TTable;
class MainViews;

// Adds, changes and deletes organisations, carrying renames and deletions to employees.
class TSettingsForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TSettingsForm)

public:
    explicit TSettingsForm(MainViews& views, QWidget* parent = nullptr);
    ~TSettingsForm() override;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnActive();
    void OrgChange();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void ServerButtonClick();
    void FormClose();

    TTable& Orgs() const;
    void LoadEditors(TTable& orgs);
    void WriteEditors(TTable& orgs);
    void ClearEditors();
    bool AnyEditorEmpty() const;
    void FillOrgBox(TTable& orgs);
    void ShowStoredOrganization(const QString& name);
    // Makes the organisation the editors show current again; refused when it is gone.
    void LocateShownOrganization(TTable& orgs);
    void RenameEmployees(const QString& oldName, const QString& newName);
    void DeleteEmployees(const QString& name);

    MainViews& FViews;

    TTable* EmployeeTable;
    TDataSource* EmployeeDataSource;

    QLabel* Label8;
    QComboBox* OrgBox;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* ServerButton;

    std::array<QLineEdit*, 7> FEdits{};
    // The stored row the editors were filled from: a write goes there or nowhere.
    qint64 FShownRowid = -1;
};
