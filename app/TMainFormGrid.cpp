// The employee grid's rules: its keys, cells and check boxes, the organisation picker and
// lists, the context menu over the chosen rows, the hooks of the employee view.
#include "app/TMainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionButton>

#include "amount/Amount.h"
#include "app/ExportTotalsLine.h"
#include "app/TMainFormParts.h"
#include "storage/layouts/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TTransaction.h"
#include "ui/ErrorBoundary.h"
#include "ui/KeyRules.h"
#include "ui/Messages.h"
#include "ui/TDBComboBox.h"
#include "ui/TDBGrid.h"
#include "ui/TDataSource.h"

using namespace MainFormParts;

namespace {

const QString AllOrganizations = QStringLiteral("Все");

// Check-box state by the export flag.
constexpr QStyle::StateFlag CheckBoxState[2] = {QStyle::State_Off, QStyle::State_On};

bool IsInside(const QWidget* widget, const QWidget* container)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == container)
            return true;
    }
    return false;
}

} // namespace

QString TMainForm::ColumnField(int column) const
{
    return column >= 0 && column < EmployeeGrid->ColumnCount()
               ? EmployeeGrid->Column(column).FieldName
               : QString();
}

void TMainForm::DBGrid1KeyPress(QChar& key)
{
    const QString field = EmployeeGrid->CurrentField();
    if (field == FioField)
        key = KeyRules::Apply(KeyRules::Rule::Upper, key);
    else if (field == AccntField)
        key = KeyRules::Apply(KeyRules::Rule::Account, key);
    else
        key = KeyRules::Apply(KeyRules::Rule::Amount, key);

    if (field == OrgBox->DataField()) {
        // The picker takes the character: a digit or point chooses the first name with it.
        PlaceOrgBox(true);
        if (!OrgBox->isVisible())
            return;
        OrgBox->setFocus(Qt::OtherFocusReason);
        if (!key.isNull()) {
            QKeyEvent press(QEvent::KeyPress, int(key.toUpper().unicode()), Qt::NoModifier,
                            QString(key));
            QApplication::sendEvent(OrgBox, &press);
        }
        // The picker has had the character: the grid's own editor must not get it too.
        key = QChar();
    }
}

void TMainForm::EmployeeGridCellClick(int column)
{
    EmployeeGrid->viewport()->update();
    const QString field = ColumnField(column);
    if (field == OrgField) {
        Guarded([this, column] {
            ReplaceOrgTable();
            TTable& orgs = *FOrgTable;
            orgs.First();
            QStringList names;
            const TField name = orgs.FieldByName(OrgNameField);
            for (int i = 0; i <= orgs.RecordCount() - 1; ++i) {
                names << name.AsString();
                orgs.Next();
            }
            EmployeeGrid->SetPickList(column, names);
        });
    } else if (field == ExportField) {
        Guarded([this] {
            TTable& employees = *FEmployeeTable;
            employees.Edit();
            TField flag = employees.FieldByName(ExportField);
            flag.SetAsBoolean(!flag.AsBoolean());
            employees.Post();
        });
    }
}

void TMainForm::EmployeeGridColEnter()
{
    if (EmployeeGrid->CurrentField() == ExportField) {
        FOriginalOptions = unsigned(EmployeeGrid->GetOptions());
        FInExportColumn = true;
        EmployeeGrid->SetOptions(EmployeeGrid->GetOptions() & ~TDBGrid::Options(TDBGrid::Editing));
    } else if (FInExportColumn) {
        // The grid lost its current cell (its rows were re-read) without an exit.
        FInExportColumn = false;
        EmployeeGrid->SetOptions(TDBGrid::Options(int(FOriginalOptions)));
    }
}

void TMainForm::EmployeeGridColExit()
{
    const QString field = EmployeeGrid->CurrentField();
    if (field == OrgBox->DataField())
        OrgBox->hide();
    if (field == ExportField && FInExportColumn) {
        FInExportColumn = false;
        EmployeeGrid->SetOptions(TDBGrid::Options(int(FOriginalOptions)));
    }
}

void TMainForm::EmployeeGridDrawColumnCell(QPainter& painter, const QStyleOptionViewItem& option,
                                           const QModelIndex& index)
{
    if (ColumnField(index.column()) != ExportField || !FEmployeeTable->Active())
        return;
    const int field = FEmployeeTable->FindField(ExportField);
    if (field < 0)
        return;
    // Erase the text the grid drew, then a standard check box inset by 2 pixels.
    const bool selected = option.state & QStyle::State_Selected;
    painter.fillRect(option.rect, selected ? option.palette.brush(QPalette::Highlight)
                                           : option.palette.brush(QPalette::Base));
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect inner = option.rect.adjusted(2, 2, -2, -2);
    const QSize size(style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget),
                     style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, widget));
    QStyleOptionButton box;
    box.direction = option.direction;
    box.palette = option.palette;
    box.rect = QStyle::alignedRect(option.direction, Qt::AlignCenter, size.boundedTo(inner.size()),
                                   inner);
    const bool checked = FEmployeeTable->CellBoolean(index.row(), field);
    box.state = QStyle::State_Enabled | CheckBoxState[checked ? 1 : 0];
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, widget);
}

void TMainForm::PlaceOrgBox(bool show)
{
    const QModelIndex current = EmployeeGrid->currentIndex();
    if (!current.isValid() || ColumnField(current.column()) != OrgBox->DataField())
        return;
    // Shown while the focused organisation cell is on screen; a choice hides it until
    // the current cell moves.
    const bool gridFocused = IsInside(QApplication::focusWidget(), EmployeeGrid);
    if (!show && !OrgBox->isVisible() && (!gridFocused || FOrgBoxChosen))
        return;
    const QRect cell = EmployeeGrid->CellRect(current.row(), current.column());
    if (cell.isEmpty()) {
        OrgBox->hide();
        return;
    }
    OrgBox->setGeometry(QRect(EmployeeGrid->mapTo(centralWidget(), cell.topLeft()), cell.size()));
    if (!OrgBox->isVisible()) {
        FOrgBoxChosen = false;
        OrgBox->show();
        OrgBox->raise();
    }
}

void TMainForm::EmployeeGridContextMenu(const QPoint& at)
{
    if (TablesActive())
        EmployeeGridMenu->popup(at);
}

void TMainForm::FillOrganizationMenu()
{
    organization1->clear();
    const TTable& orgs = *FOrgTable;
    const int name = orgs.FindField(OrgNameField);
    for (int row = 0; row < orgs.RecordCount(); ++row) {
        const QString text = orgs.CellText(row, name);
        QAction* choice = organization1->addAction(
            QString(text).replace(QLatin1Char('&'), QLatin1String("&&"))); // a name, not a mnemonic
        connect(choice, &QAction::triggered, this, [this, text] {
            ChangeSelectedEmployees(
                [text](TTable& employees) { employees.FieldByName(OrgField).SetAsString(text); });
        });
    }
    organization1->setEnabled(!organization1->isEmpty());
}

void TMainForm::ChangeSelectedEmployees(const SelectionPass::Change& change)
{
    Guarded([&] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        const QList<qint64> rowids = EmployeeGrid->SelectedRowids();
        const ControlsLock lock(EmployeeGrid);
        SelectionPass::Apply(*FEmployeeTable, rowids, change);
    });
}

void TMainForm::OrgBoxChange()
{
    FOrgBoxChosen = true;
    const bool hadFocus = OrgBox->hasFocus();
    OrgBox->hide();
    if (hadFocus)
        EmployeeGrid->setFocus(Qt::OtherFocusReason);
}

void TMainForm::OrgBoxExportChange()
{
    if (!FEmployeeTable->Active())
        return; // no rows to flag; start-up has said why
    Guarded([this] {
        EmployeeGrid->CommitEditor();
        TTable& employees = *FEmployeeTable;
        const ControlsLock lock(EmployeeGrid);
        employees.First();
        const int count = employees.RecordCount();
        if (count == 0)
            return;
        const QString text = OrgBoxExport->currentText();
        const bool all = text == AllOrganizations;
        TField flag = employees.FieldByName(ExportField);
        const TField org = employees.FieldByName(OrgField);
        TTransaction transaction(employees.DatabaseName(), TTransaction::Mode::KeepDone);
        for (int i = 0; i < count; ++i) {
            employees.Edit();
            const QString name = org.AsString();
            flag.SetAsBoolean(all || (!name.isEmpty() && name == text));
            employees.Post();
            employees.Next();
        }
        transaction.Commit();
    });
}

void TMainForm::EmployeeTableBeforePost(TTable& table)
{
    TField amount = table.FieldByName(AmountField);
    amount.SetAsString(Amount::NormalizeAmount(amount.AsString()));
    if (table.FieldByName(FioField).AsString().isEmpty() ||
        table.FieldByName(AccntField).AsString().isEmpty()) {
        Messages::ShowMessage(QStringLiteral("ФИО и счет сотрудника не могут быть пустыми."));
        throw EAbort();
    }
}

void TMainForm::EmployeeTableAfterInsert(TTable& table)
{
    // Employees are added only through the new-employee dialog and the import.
    table.Cancel();
}

void TMainForm::EmployeeTablePostError(TTable& table, const EDatabaseError& error,
                                       TTable::DataAction& action)
{
    action = TTable::DataAction::Abort;
    if (error.IsKeyViolation() && error.IndexName() == QLatin1String(Layouts::EmployeeIndex)) {
        Messages::ShowMessage(QStringLiteral("Такой сотрудник уже существует"));
        return;
    }
    if (error.ErrorKind() != EDatabaseError::Kind::RecordChanged) {
        Messages::ShowError(error.Message());
        return;
    }
    // The row shows what is stored now; the message keeps what the user typed.
    QStringList typed;
    for (int column = 0; column < EmployeeGrid->ColumnCount(); ++column) {
        const TGridColumn& shown = EmployeeGrid->Column(column);
        const int field = table.FindField(shown.FieldName);
        if (field >= 0 && table.FieldModified(field))
            typed << QStringLiteral("%1: «%2»").arg(shown.Title, table.Fields(field).AsString());
    }
    table.Cancel();
    table.Reload();
    Messages::ShowError(error.Message() +
                        QStringLiteral("\n\nНе сохранено: %1. В таблице показана запись, как она "
                                       "сохранена сейчас.")
                            .arg(typed.join(QStringLiteral("; "))));
}

void TMainForm::ReplaceOrgTable()
{
    auto view = std::make_unique<TTable>();
    view->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    view->SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
    view->Open();
    orgds->SetDataSet(view.get());
    FOrgTable = std::move(view);
}

void TMainForm::RefillOrgLists(bool keepChoice)
{
    // Read by row: the current organisation, which a dialog may be working on, stays current.
    const TTable& orgs = *FOrgTable;
    const int name = orgs.FindField(OrgNameField);
    const QString choice = OrgBoxExport->currentText();
    const QSignalBlocker blocker(OrgBoxExport); // the program's choice runs no pass
    OrgBox->clear();
    OrgBoxExport->clear();
    OrgBoxExport->addItem(AllOrganizations);
    for (int row = 0; row < orgs.RecordCount(); ++row) {
        const QString text = orgs.CellText(row, name);
        OrgBox->addItem(text);
        OrgBoxExport->addItem(text);
    }
    OrgBoxExport->setCurrentIndex(0);
    ExportTotalsLine->Schedule(); // the blocked box does not tell it
    if (keepChoice) {
        // The flags were set for this choice: the box goes on showing it.
        const int kept = OrgBoxExport->findText(choice, Qt::MatchExactly);
        if (kept >= 0)
            OrgBoxExport->setCurrentIndex(kept);
        else
            OrgBoxExport->setEditText(choice);
        return;
    }
    OrgBox->hide();
}
