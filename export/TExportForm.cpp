#include "export/TExportForm.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "export/ExportData.h"
#include "export/RegisterCheck.h"
#include "export/TExportCheckBox.h"
#include "export/TWordExportCheckBox.h"
#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"
#include "ui/TComboBox.h"
#include "ui/WindowPlacement.h"

TExportForm::TExportForm(MainViews& views, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FViews(views)
{
    setObjectName(QStringLiteral("ExportForm"));
    setWindowTitle(QStringLiteral("Экспорт данных"));

    // Created in the design's control order: the targets are visited in it.
    Label1 = new QLabel(QStringLiteral("Организация"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false); // Enter in the organisation box must not start an export
    ExportCheckBox1 = new TExportCheckBox(QStringLiteral("Текстовый файл"), this);
    ExportCheckBox1->setObjectName(QStringLiteral("ExportCheckBox1"));
    WordExportCheckBox1 = new TWordExportCheckBox(QStringLiteral("Документ Word"), this);
    WordExportCheckBox1->setObjectName(QStringLiteral("WordExportCheckBox1"));
    ComboBox1 = new TComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setCompleter(nullptr); // typed text reaches the targets exactly as typed
    ComboBox1->setMinimumContentsLength(24);
    ComboBox1->setEditText(QStringLiteral("ComboBox1"));
    Label1->setBuddy(ComboBox1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ExportCheckBox1);
    layout->addWidget(WordExportCheckBox1);
    layout->addSpacing(4);
    layout->addWidget(Label1);
    layout->addWidget(ComboBox1);
    layout->addSpacing(4);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(Button1, ExportCheckBox1);
    setTabOrder(ExportCheckBox1, WordExportCheckBox1);
    setTabOrder(WordExportCheckBox1, ComboBox1);

    connect(Button1, &QPushButton::clicked, this, [this] {
        Guarded([this] { Button1Click(); });
        accept(); // the result was set before the targets ran, an error included
    });
}

TExportForm::~TExportForm() = default;

void TExportForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // Filled first: centred at the size it is shown at.
        Guarded([this] { FormActivate(); });
        CenterOnScreen(this);
    }
}

void TExportForm::FormActivate()
{
    ComboBox1->clear();
    ComboBox1->clearEditText();
    ComboBox1->addItem(ExportData::AllOrganizations);
    for (const ExportData::Organisation& organisation :
         ExportData::AllOrganisations(*FViews.OrgTable()))
        ComboBox1->addItem(organisation.Organization120);

    const QString selected = FViews.OrgBoxExportText();
    const int index = ComboBox1->findText(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        ComboBox1->setCurrentIndex(index);
    else
        ComboBox1->setEditText(selected);
}

void TExportForm::Button1Click()
{
    const QString choice = ComboBox1->currentText();
    // A copy: a target's message box or window becomes a child of the dialog meanwhile.
    const QObjectList controls = children();
    const auto ticked = [](QObject* child) {
        auto* target = qobject_cast<TExportCheckBox*>(child);
        return target && target->isChecked() ? target : nullptr;
    };
    if (std::none_of(controls.cbegin(), controls.cend(), ticked) || !RegisterConfirmed(choice))
        return;
    for (QObject* child : controls) {
        if (TExportCheckBox* target = ticked(child))
            target->Export(*FViews.EmployeeTable(), *FViews.OrgTable(), choice);
    }
}

bool TExportForm::RegisterConfirmed(const QString& choice)
{
    ExportData::ExportRows rows;
    try {
        rows = ExportData::ReadExport(*FViews.EmployeeTable(), *FViews.OrgTable(), choice);
    } catch (const ExportData::EOrganisationNotFound&) {
        return true; // each target refuses the choice with its own message, as before
    } catch (const EConvertError&) {
        return true; // unreadable amounts: the targets refuse before any file
    }
    const QString question = RegisterCheck::Question(RegisterCheck::Findings(rows));
    return question.isEmpty() || Messages::AskYesNo(question, RegisterCheck::Caption);
}
