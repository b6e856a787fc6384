#include "import/TImportForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "amount/Amount.h"
#include "import/CodePages.h"
#include "import/ParadoxTable.h"
#include "import/TDbfTable.h"
#include "storage/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/TTable.h"
#include "storage/TTransaction.h"
#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"
#include "ui/WindowPlacement.h"

namespace {

using Layouts::AccntField;
using Layouts::AmountField;
using Layouts::ExportField;
using Layouts::FioField;
using Layouts::OrgField;

const QString NameSourceField = QStringLiteral("L1__01");
const QString AmountSourceField = QStringLiteral("L1__02");
const QString AccountSourceField = QStringLiteral("L1__04");
const QString CheckedSourceField = QStringLiteral("L1__05");

const QString RunningText = QStringLiteral("Идет импорт данных...");
const QString DoneText = QStringLiteral("Импорт данных завершен.");

// How often a long import lets the window repaint.
constexpr qint64 PaintIntervalMs = 40;

// A refusal of the row itself; the store backs out the refused statement alone, so nothing
// of the row is left to undo. Any other store failure ends the import.
bool RefusesRowOnly(const EDatabaseError& error)
{
    return error.IsKeyViolation() || error.ErrorKind() == EDatabaseError::Kind::RequiredBlank;
}

// Marks an import as running for as long as it lives.
class ImportingFlag final
{
public:
    explicit ImportingFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~ImportingFlag() { m_flag = false; }
    ImportingFlag(const ImportingFlag&) = delete;
    ImportingFlag& operator=(const ImportingFlag&) = delete;

private:
    bool& m_flag;
};

} // namespace

TImportForm::TImportForm(QWidget* parent)
    : QDialog(parent),
      SourceTable(std::make_unique<TDbfTable>()),
      ParadoxSource(std::make_unique<TParadoxTable>()),
      EmployeeTable(new TTable(this))
{
    setObjectName(QStringLiteral("ImportForm"));
    setWindowTitle(QStringLiteral("Импорт данных"));

    ProgreesLabel = new QLabel(RunningText, this);
    ProgreesLabel->setObjectName(QStringLiteral("ProgreesLabel"));
    ProgreesLabel->setAlignment(Qt::AlignCenter);
    ProgreesLabel->setMinimumSize(201, 17);

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setMinimumWidth(201);
    ProgressBar->setTextVisible(false);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 4);
    layout->setSpacing(4);
    layout->addWidget(ProgreesLabel, 0, Qt::AlignHCenter);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    resize(203, 87);

    setTabOrder(ProgressBar, OkButton);
    connect(OkButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { OkButtonClick(); }); });

    Guarded([this] { FormCreate(); });
}

TImportForm::~TImportForm() = default;

void TImportForm::FormCreate()
{
    EmployeeTable->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    EmployeeTable->SetTableName(QStringLiteral("base.db"));
    EmployeeTable->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    // The import only adds rows: it never needs the table's rows in memory.
    EmployeeTable->SetRowsOnDemand(true);
    EmployeeTable->Open();
}

bool TImportForm::OpenSourceDb()
{
    bool result = false;
    OpenDialog.Filter =
        QStringLiteral("Database files (*.dbf)|*.dbf|Таблицы прежней версии (*.db)|*.db");
    if (OpenDialog.Execute(parentWidget() ? parentWidget() : this)) {
        const bool paradox =
            OpenDialog.FileName.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
        result = paradox ? CheckParadoxSource(OpenDialog.FileName)
                         : CheckSourceTable(OpenDialog.FileName);
    }
    return result;
}

bool TImportForm::CheckSourceTable(const QString& path)
{
    bool result = true;
    ParadoxSource->Close();
    SourceTable->Close();
    SourceTable->SetTableName(path);
    SourceTable->Open();
    for (const QString& field :
         {NameSourceField, AmountSourceField, AccountSourceField, CheckedSourceField}) {
        if (SourceTable->FindField(field) < 0) {
            Messages::ShowMessage(QStringLiteral("Error format source base"));
            SourceTable->Close();
            result = false;
            break;
        }
    }
    return result;
}

void TImportForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A window restored by the system is the same showing; the import runs once the
    // window is up and its event loop turns.
    if (!event->spontaneous()) {
        CenterOnScreen(this);
        QMetaObject::invokeMethod(
            this, [this] { Guarded([this] { ImportData(); }); }, Qt::QueuedConnection);
    }
}

void TImportForm::closeEvent(QCloseEvent* event)
{
    if (FImporting) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TImportForm::done(int result)
{
    if (FImporting)
        return;
    QDialog::done(result);
}

void TImportForm::OkButtonClick()
{
    close();
}

void TImportForm::KeepPainting()
{
    if (FPaintClock.isValid() && FPaintClock.elapsed() < PaintIntervalMs)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    FPaintClock.start();
}

void TImportForm::StoreEmployee(const QString& name, const QString& account, const QString& amount)
{
    TTransaction record(EmployeeTable->DatabaseName());
    try {
        EmployeeTable->Insert();
        EmployeeTable->FieldByName(FioField).SetAsString(name);
        EmployeeTable->FieldByName(AccntField).SetAsString(account);
        EmployeeTable->FieldByName(AmountField).SetAsString(amount);
        EmployeeTable->FieldByName(OrgField).SetAsString(QString());
        EmployeeTable->FieldByName(ExportField).SetAsBoolean(true);
        EmployeeTable->Post();
    } catch (const EDatabaseError& error) {
        EmployeeTable->Cancel();
        if (!RefusesRowOnly(error))
            throw; // the record's savepoint is rolled back on the way out
    }
    record.Commit();
}

void TImportForm::ImportData()
{
    if (ParadoxSource->Active()) {
        ImportParadox();
        return;
    }
    if (!SourceTable->Active())
        return;
    const ImportingFlag importing(FImporting);
    SourceTable->First();
    ProgreesLabel->setText(RunningText);
    KeepPainting();

    EmployeeTable->Cancel();
    // Longer texts would be cut when stored: a cut account is another person's account.
    const int accountSize = EmployeeTable->FieldByName(AccntField).Size();
    const int amountSize = EmployeeTable->FieldByName(AmountField).Size();
    const TDbfField nameSource = SourceTable->FieldByName(NameSourceField);
    const TDbfField amountSource = SourceTable->FieldByName(AmountSourceField);
    const TDbfField accountSource = SourceTable->FieldByName(AccountSourceField);

    // One transaction for the stored rows; it is ended before a message waits for the
    // user, so no other program waits on this one meanwhile. Rows stored before an error
    // that ends the import stay.
    const QString folder = EmployeeTable->DatabaseName();
    auto transaction = std::make_unique<TTransaction>(folder, TTransaction::Mode::KeepDone);
    while (!SourceTable->Eof()) {
        const QString name = CodePages::FromCp866Name(nameSource.AsBytes());
        const QString amount = Amount::NormalizeAmount(amountSource.AsString());
        const QString account = accountSource.AsString();
        const bool fits = (accountSize <= 0 || account.size() <= accountSize) &&
                          (amountSize <= 0 || amount.size() <= amountSize);
        if (!name.isEmpty() && !account.isEmpty() && fits) {
            StoreEmployee(name, account, amount);
        } else {
            transaction->Commit();
            transaction.reset();
            Messages::ShowMessage(QStringLiteral("Неверные данные: ") + name + QLatin1Char(' ') +
                                      account,
                                  QStringLiteral("2"));
            transaction = std::make_unique<TTransaction>(folder, TTransaction::Mode::KeepDone);
        }
        ProgressBar->setMinimum(1);
        ProgressBar->setMaximum(SourceTable->RecordCount());
        ProgressBar->setValue(SourceTable->RecNo());
        KeepPainting();
        SourceTable->Next();
    }
    transaction->Commit();
    ProgreesLabel->setText(DoneText);
}
