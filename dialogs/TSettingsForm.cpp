#include "dialogs/TSettingsForm.h"

#include "dialogs/TServerForm.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "storage/TPathBuilder.h"
#include "storage/views/TQuery.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "ui/NamedControls.h"
#include "ui/ErrorBoundary.h"
#include "ui/KeyRules.h"
#include "ui/WindowPlacement.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"
#include "ui/TComboBox.h"
#include "ui/TDataSource.h"

namespace {

using Layouts::OrgNameField;
const QString& EmployeeOrgField = Layouts::OrgField;
const QString NewOrganization = QStringLiteral("Новая организация");

// The organisation fields in the order of Edit1..Edit7.
const std::array<QString, 7> OrgFields = {
    QStringLiteral("Organization120"), QStringLiteral("Accnt"),      QStringLiteral("Position"),
    QStringLiteral("Director"),        QStringLiteral("Accountant"), QStringLiteral("Contract"),
    QStringLiteral("Crnc"),
};

} // namespace

TSettingsForm::TSettingsForm(MainViews& views, QWidget* parent)
    : QDialog(parent), FViews(views), EmployeeTable(new TTable(this)),
      EmployeeDataSource(new TDataSource(this))
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Настройки"));
    EmployeeDataSource->SetDataSet(EmployeeTable);

    auto makeLabel = [this](const char* name, const QString& text) {
        return NamedControls::Label(this, name, text);
    };
    auto makeEdit = [this](const char* name) { return NamedControls::Edit(this, name); };
    auto makeButton = [this](const char* name, const QString& text) {
        return NamedControls::Button(this, name, text);
    };

    Label8 = makeLabel("Label8", QStringLiteral("Выбор организации"));
    OrgBox = new TComboBox(this);
    OrgBox->setObjectName(QStringLiteral("OrgBox"));
    OrgBox->setEditable(false);
    OrgBox->setMinimumContentsLength(40);
    Label1 = makeLabel("Label1", QStringLiteral("Название организации"));
    Label2 = makeLabel("Label2", QStringLiteral("Расчетный счет организации"));
    Label3 = makeLabel("Label3", QStringLiteral("Должность руководителя организации"));
    Label4 = makeLabel("Label4", QStringLiteral("ФИО руководителя"));
    Label5 = makeLabel("Label5", QStringLiteral("ФИО гл.бухгалтера"));
    Label6 = makeLabel("Label6", QStringLiteral("Номер зарплатного соглашения"));
    Label7 = makeLabel("Label7", QStringLiteral("Вид валюты"));
    Edit1 = makeEdit("Edit1");
    Edit2 = makeEdit("Edit2");
    Edit3 = makeEdit("Edit3");
    Edit4 = makeEdit("Edit4");
    Edit5 = makeEdit("Edit5");
    Edit6 = makeEdit("Edit6");
    Edit7 = makeEdit("Edit7");
    FEdits = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7};
    Button1 = makeButton("Button1", QStringLiteral("Добавить"));
    Button2 = makeButton("Button2", QStringLiteral("Сохранить"));
    Button3 = makeButton("Button3", QStringLiteral("Удалить"));
    ServerButton = makeButton("ServerButton", QStringLiteral("Общая база данных…"));

    Label8->setBuddy(OrgBox);
    const std::array<QLabel*, 7> labels = {Label1, Label2, Label3, Label4, Label5, Label6, Label7};
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(Label8, OrgBox);
    const TFieldDefs fields = Layouts::OrganizationFields();
    for (std::size_t i = 0; i < FEdits.size(); ++i) {
        labels[i]->setBuddy(FEdits[i]);
        form->addRow(labels[i], FEdits[i]);
        if (const int size = Layouts::FieldSize(fields, OrgFields[i]); size > 0)
            FEdits[i]->setMaxLength(size);
        new KeyRules::TypedCharFilter(KeyRules::Rule::Any, FEdits[i], labels[i]->text());
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    auto* serverRow = new QHBoxLayout;
    serverRow->addStretch();
    serverRow->addWidget(ServerButton);
    layout->addLayout(serverRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(OrgBox, Edit1);
    for (std::size_t i = 0; i + 1 < FEdits.size(); ++i)
        setTabOrder(FEdits[i], FEdits[i + 1]);
    setTabOrder(Edit7, Button1);
    setTabOrder(Button1, Button3);
    setTabOrder(Button3, Button2);
    setTabOrder(Button2, ServerButton);

    connect(OrgBox, &QComboBox::activated, this, [this] { Guarded([&] { OrgChange(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([&] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([&] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guarded([&] { Button3Click(); }); });
    connect(ServerButton, &QPushButton::clicked, this,
            [this] { Guarded([&] { ServerButtonClick(); }); });
}

TSettingsForm::~TSettingsForm() = default;

void TSettingsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Guarded([this] { OnActive(); });
        CenterOnScreen(this);
    }
}

void TSettingsForm::done(int result)
{
    Guarded([this] { FormClose(); });
    QDialog::done(result);
}

TTable& TSettingsForm::Orgs() const
{
    TTable* orgs = FViews.OrgTable();
    if (!orgs || !orgs->Active())
        throw Exception(QStringLiteral("Таблица организаций не открыта."));
    return *orgs;
}

void TSettingsForm::LoadEditors(TTable& orgs)
{
    FShownRowid = orgs.CurrentRowid();
    for (std::size_t i = 0; i < FEdits.size(); ++i)
        FEdits[i]->setText(orgs.FieldByName(OrgFields[i]).AsString());
}

void TSettingsForm::WriteEditors(TTable& orgs)
{
    for (std::size_t i = 0; i < FEdits.size(); ++i)
        orgs.FieldByName(OrgFields[i]).SetAsString(FEdits[i]->text());
}

void TSettingsForm::ClearEditors()
{
    FShownRowid = -1;
    for (QLineEdit* edit : FEdits)
        edit->clear();
}

bool TSettingsForm::AnyEditorEmpty() const
{
    for (const QLineEdit* edit : FEdits) {
        if (edit->text().isEmpty())
            return true;
    }
    return false;
}

void TSettingsForm::FillOrgBox(TTable& orgs)
{
    const QSignalBlocker blocker(OrgBox);
    OrgBox->clear();
    orgs.First();
    for (int i = 0; i <= orgs.RecordCount() - 1; ++i) {
        OrgBox->addItem(orgs.FieldByName(OrgNameField).AsString());
        orgs.Next();
    }
}

// After a refused store: the list, the current record and the editors show what is stored
// now (the organisation the editors showed, when it is still stored), whatever they held.
void TSettingsForm::ShowStoredOrganization(const QString& name)
{
    TTable* orgs = FViews.OrgTable();
    if (EmployeeTable->Active())
        EmployeeTable->Cancel();
    if (!orgs || !orgs->Active())
        return;
    orgs->Cancel();
    orgs->Reload();
    const qint64 shown = FShownRowid;
    FillOrgBox(*orgs);
    if (orgs->IsEmpty()) {
        ClearEditors();
        return;
    }
    if (!orgs->LocateRowid(shown)) {
        int found = 0;
        for (int row = 0; row < orgs->RecordCount(); ++row) {
            if (orgs->CellText(row, orgs->FindField(OrgNameField)) == name) {
                found = row;
                break;
            }
        }
        orgs->SetRecNo(found + 1);
    }
    OrgBox->setCurrentIndex(orgs->RecNo() - 1);
    LoadEditors(*orgs);
}

void TSettingsForm::LocateShownOrganization(TTable& orgs)
{
    if (FShownRowid < 0 || orgs.LocateRowid(FShownRowid))
        return;
    const EDatabaseError refusal = orgs.RecordChangedError();
    ShowStoredOrganization(QString());
    throw refusal;
}

void TSettingsForm::ServerButtonClick()
{
    TServerForm form(FViews, this);
    form.exec();
    // The tables may have been opened again from a server.
    OnActive();
}

void TSettingsForm::OnActive()
{
    // Tables that are not open leave only the server's part to use.
    const TTable* open = FViews.OrgTable();
    const bool usable = open && open->Active();
    for (QWidget* part :
         std::initializer_list<QWidget*>{Label8, OrgBox, Label1, Label2, Label3, Label4, Label5,
                                         Label6, Label7, Button1, Button2, Button3})
        part->setEnabled(usable);
    for (QLineEdit* edit : FEdits)
        edit->setEnabled(usable);
    if (!usable) {
        OrgBox->clear();
        ClearEditors();
        ServerButton->setFocus();
        return;
    }
    TTable& orgs = Orgs();
    if (orgs.RecordCount() < 1)
        return;
    FillOrgBox(orgs);
    orgs.First();
    OrgBox->setCurrentIndex(0);
    LoadEditors(orgs);
}

void TSettingsForm::OrgChange()
{
    TTable& orgs = Orgs();
    const QString chosen = OrgBox->currentText();
    orgs.First();
    const int count = orgs.RecordCount();
    for (int i = 0; i < count; ++i) {
        if (orgs.FieldByName(OrgNameField).AsString() == chosen) {
            LoadEditors(orgs);
            return;
        }
        if (i + 1 < count)
            orgs.Next();
    }
}

void TSettingsForm::Button1Click()
{
    TTable& orgs = Orgs();
    const QString name = Edit1->text();
    for (int i = 0; i < OrgBox->count(); ++i) {
        if (OrgBox->itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
            Messages::ShowMessage(QStringLiteral("Такая организация уже существует"));
            return;
        }
    }
    if (AnyEditorEmpty()) {
        Messages::ShowMessage(QStringLiteral("Заполните все поля"));
        return;
    }

    orgs.Append();
    try {
        WriteEditors(orgs);
        orgs.Post();
    } catch (...) {
        orgs.Cancel();
        throw;
    }

    OrgBox->addItem(name);
    const QString stored = orgs.FieldByName(OrgNameField).AsString();
    for (int i = 0; i < OrgBox->count(); ++i) {
        if (OrgBox->itemText(i).compare(stored, Qt::CaseInsensitive) == 0) {
            OrgBox->setCurrentIndex(i);
            break;
        }
    }
    ClearEditors();
    FShownRowid = orgs.CurrentRowid(); // a save now changes the organisation just added
}

void TSettingsForm::Button2Click()
{
    TTable& orgs = Orgs();
    LocateShownOrganization(orgs);
    // The stored name, not the list's text: the list may be behind the table.
    const QString oldName = orgs.IsEmpty() ? QString()
                                           : orgs.FieldByName(OrgNameField).AsString();
    if (AnyEditorEmpty()) {
        Messages::ShowMessage(QStringLiteral("Необходимо заполнить все поля"));
        return;
    }

    QString newName;
    try {
        // The organisation and its employees change together or not at all.
        TTransaction transaction(orgs.DatabaseName(), TTransaction::Mode::Atomic);
        orgs.Edit();
        WriteEditors(orgs);
        orgs.Post();
        newName = orgs.FieldByName(OrgNameField).AsString();
        // An empty name belongs to no organisation.
        if (!oldName.isEmpty())
            RenameEmployees(oldName, newName);
        transaction.Commit();
    } catch (...) {
        ShowStoredOrganization(oldName);
        throw;
    }

    const QSignalBlocker blocker(OrgBox);
    if (OrgBox->currentIndex() >= 0)
        OrgBox->removeItem(OrgBox->currentIndex());
    OrgBox->addItem(newName);
    OrgBox->setCurrentIndex(OrgBox->count() - 1);
}

void TSettingsForm::RenameEmployees(const QString& oldName, const QString& newName)
{
    // One statement over the store, like the delete: no copy of the employees is read, and
    // rows that others changed meanwhile are judged by what is stored now.
    TQuery query;
    query.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    query.SQL = QStringLiteral("UPDATE base SET %1 = ?2 WHERE %1 = ?1").arg(EmployeeOrgField);
    query.Params = {oldName, newName};
    query.ExecSQL();
}

void TSettingsForm::Button3Click()
{
    TTable& orgs = Orgs();
    if (orgs.RecordCount() == 0) {
        Messages::ShowMessage(QStringLiteral("Записи отсутствуют"));
        return;
    }
    if (!Messages::AskOkCancel(
            QStringLiteral("При удалении организации так же будут удаленны и ее сотрудники"),
            QStringLiteral("Удаление")))
        return;

    orgs.Cancel();
    LocateShownOrganization(orgs);
    const QString name = orgs.FieldByName(OrgNameField).AsString();
    try {
        TTransaction transaction(orgs.DatabaseName(), TTransaction::Mode::Atomic);
        orgs.Delete();
        DeleteEmployees(name);
        transaction.Commit();
    } catch (...) {
        ShowStoredOrganization(name);
        throw;
    }

    const QSignalBlocker blocker(OrgBox);
    const int selected = OrgBox->currentIndex() >= 0 ? OrgBox->currentIndex()
                                                     : OrgBox->findText(name, Qt::MatchExactly |
                                                                                  Qt::MatchCaseSensitive);
    if (selected >= 0)
        OrgBox->removeItem(selected);
    if (orgs.RecordCount() > 0) {
        orgs.First();
        const QString first = orgs.FieldByName(OrgNameField).AsString();
        OrgBox->setCurrentIndex(OrgBox->findText(first, Qt::MatchExactly | Qt::MatchCaseSensitive));
        LoadEditors(orgs);
    } else {
        OrgBox->setCurrentIndex(-1);
        ClearEditors();
    }
}

void TSettingsForm::DeleteEmployees(const QString& name)
{
    // One statement over the store: the rows of that exact name go, whatever their number.
    TQuery query;
    query.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    query.SQL = QStringLiteral("DELETE FROM base WHERE Org120 = ?1");
    query.Params = {name};
    query.ExecSQL();
}

void TSettingsForm::FormClose()
{
    const QSignalBlocker blocker(OrgBox);
    OrgBox->clear();
    const TTable* open = FViews.OrgTable();
    if (!open || !open->Active())
        return;
    TTable& orgs = Orgs();
    orgs.Cancel();
    orgs.First();
    for (int i = 0; i <= orgs.RecordCount() - 1; ++i) {
        if (orgs.FieldByName(OrgNameField).AsString() == NewOrganization) {
            orgs.Delete();
            break;
        }
        orgs.Next();
    }
    orgs.First();
}
