#include "dialogs/TEmployeeAddForm.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "amount/Amount.h"
#include "storage/TPathBuilder.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "ui/NamedControls.h"
#include "ui/ErrorBoundary.h"
#include "ui/WindowPlacement.h"
#include "ui/KeyRules.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"
#include "ui/TComboBox.h"
#include "ui/TDBEdit.h"
#include "ui/TDataSource.h"

namespace {

using Layouts::FioField;
using Layouts::AccntField;
using Layouts::AmountField;
using Layouts::OrgField;
using Layouts::ExportField;
using Layouts::OrgNameField;


} // namespace

TEmployeeAddForm::TEmployeeAddForm(MainViews& views, QWidget* parent)
    : QDialog(parent), FViews(views), EmployeeTable(new TTable(this)),
      EmployeeDataSource(new TDataSource(this))
{
    setObjectName(QStringLiteral("EmployeeAddForm"));
    setWindowTitle(QStringLiteral("Новый сотрудник"));
    EmployeeDataSource->SetDataSet(EmployeeTable);

    // Until the view is open the editors know their field sizes from the layout.
    const TFieldDefs fields = Layouts::EmployeeFields();
    auto makeEdit = [this, &fields](const char* name, const QString& field, KeyRules::Rule rule,
                                    const QLabel* label = nullptr) {
        auto* edit = new TDBEdit(this);
        edit->setObjectName(QLatin1String(name));
        if (const int size = Layouts::FieldSize(fields, field); size > 0)
            edit->setMaxLength(size);
        edit->SetDataField(field);
        edit->SetDataSource(EmployeeDataSource);
        if (label)
            edit->SetRule(rule, label->text());
        return edit;
    };
    auto makeLabel = [this](const char* name, const QString& text) {
        return NamedControls::Label(this, name, text);
    };

    FioLabel = makeLabel("FioLabel", QStringLiteral("ФИО"));
    FioDBEdit = makeEdit("FioDBEdit", FioField, KeyRules::Rule::Upper, FioLabel);
    AccntLabel = makeLabel("AccntLabel", QStringLiteral("Счет сотрудника"));
    AccntDBEdit = makeEdit("AccntDBEdit", AccntField, KeyRules::Rule::Account, AccntLabel);
    AmountLabel = makeLabel("AmountLabel", QStringLiteral("Сумма для зачисления"));
    AmountDBEdit = makeEdit("AmountDBEdit", AmountField, KeyRules::Rule::Amount, AmountLabel);
    OrgLabel = makeLabel("OrgLabel", QStringLiteral("Организация"));
    // A long organisation name must not widen the dialog: it is elided in the box and
    // shown whole in the open list.
    OrgBox = new TComboBox(this);
    OrgBox->setObjectName(QStringLiteral("OrgBox"));
    OrgBox->setEditable(false);
    OrgBox->setMinimumContentsLength(30);
    OrgDBEdit = makeEdit("OrgDBEdit", OrgField, KeyRules::Rule::Any);
    OrgDBEdit->setVisible(false);
    SaveButton = new QPushButton(QStringLiteral("Сохранить"), this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setDefault(true);

    FioDBEdit->setMinimumWidth(fontMetrics().averageCharWidth() * 45);

    FioLabel->setBuddy(FioDBEdit);
    AccntLabel->setBuddy(AccntDBEdit);
    AmountLabel->setBuddy(AmountDBEdit);
    OrgLabel->setBuddy(OrgBox);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(FioLabel, FioDBEdit);
    form->addRow(AccntLabel, AccntDBEdit);
    form->addRow(AmountLabel, AmountDBEdit);
    form->addRow(OrgLabel, OrgBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveButton);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(OrgDBEdit);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(FioDBEdit, AccntDBEdit);
    setTabOrder(AccntDBEdit, AmountDBEdit);
    setTabOrder(AmountDBEdit, OrgBox);
    setTabOrder(OrgBox, SaveButton);
    setTabOrder(SaveButton, OrgDBEdit);

    connect(OrgBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { Guarded([&] { OrgBoxChange(index); }); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { Guarded([&] { SaveButtonClick(); }); });
}

TEmployeeAddForm::~TEmployeeAddForm() = default;

void TEmployeeAddForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored by the system is the same showing.
    if (!event->spontaneous()) {
        Guarded([this] { FormActivate(); });
        // Centred once its list is filled, the size it is shown at.
        CenterOnScreen(this);
    }
}

void TEmployeeAddForm::done(int result)
{
    Guarded([this] { FormClose(); });
    QDialog::done(result);
}

void TEmployeeAddForm::FormActivate()
{
    if (!EmployeeTable->Active()) {
        EmployeeTable->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
        EmployeeTable->SetTableName(QStringLiteral("base.db"));
        // The dialog only adds a row: it never needs the table's rows in memory, so the
        // editors are not shown a stored row on the way to the new one.
        EmployeeTable->SetRowsOnDemand(true);
        const QSignalBlocker quiet(EmployeeTable);
        EmployeeTable->Open();
    }
    EmployeeTable->Cancel();
    EmployeeTable->Append();
    FioDBEdit->setFocus();

    const QSignalBlocker blocker(OrgBox);
    OrgBox->clear();
    if (TTable* orgs = FViews.OrgTable(); orgs && orgs->Active()) {
        orgs->First();
        for (int i = 0; i <= orgs->RecordCount() - 1; ++i) {
            OrgBox->addItem(orgs->FieldByName(OrgNameField).AsString());
            orgs->Next();
        }
    }
    OrgBox->setCurrentIndex(-1);
}

void TEmployeeAddForm::OrgBoxChange(int index)
{
    if (index < 0 || EmployeeTable->GetState() != TTable::State::Insert)
        return;
    OrgDBEdit->setText(OrgBox->currentText());
    EmployeeTable->FieldByName(OrgField).SetAsString(OrgBox->currentText());
}

void TEmployeeAddForm::NormalizeAmountField()
{
    AmountDBEdit->UpdateRecord();
    TField amount = EmployeeTable->FieldByName(AmountDBEdit->DataField());
    amount.SetAsString(Amount::NormalizeAmount(amount.AsString()));
}

void TEmployeeAddForm::SaveButtonClick()
{
    if (EmployeeTable->GetState() != TTable::State::Insert)
        return;
    FioDBEdit->UpdateRecord();
    AccntDBEdit->UpdateRecord();
    AmountDBEdit->UpdateRecord();

    const QString blank = QStringLiteral("ФИО и счет сотрудника не могут быть пустыми.");
    if (EmployeeTable->FieldByName(FioField).AsString().isEmpty()) {
        Messages::ShowMessage(blank);
        return;
    }
    if (EmployeeTable->FieldByName(AccntField).AsString().isEmpty()) {
        Messages::ShowMessage(blank);
        return;
    }
    if (OrgBox->currentIndex() < 0 || OrgBox->currentText().isEmpty()) {
        Messages::ShowMessage(QStringLiteral("Выбирете организацию из списка"));
        return;
    }

    NormalizeAmountField();
    EmployeeTable->FieldByName(OrgField).SetAsString(OrgBox->currentText());
    EmployeeTable->FieldByName(ExportField).SetAsBoolean(true);
    try {
        // The dialog closes after the post: its editors need not show the stored row.
        const QSignalBlocker quiet(EmployeeTable);
        EmployeeTable->Post();
    } catch (const EDatabaseError& error) {
        // Only a duplicate of the employee's name and account is the user's to fix by
        // closing; any other store error, another key's included, keeps the record pending
        // so nothing typed is lost.
        if (!error.IsKeyViolation() || error.IndexName() != QLatin1String(Layouts::EmployeeIndex))
            throw;
        Messages::ShowMessage(QStringLiteral("Такой сотрудник уже существует"));
    }
    accept();
}

void TEmployeeAddForm::FormClose()
{
    EmployeeTable->Cancel();
}
