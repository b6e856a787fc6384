#include "import/TImportForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "import/CodePages.h"
#include "import/EmployeeImport.h"
#include "import/ParadoxTable.h"
#include "import/TDbfTable.h"
#include "storage/layouts/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
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
const QString ImportCaption = QStringLiteral("Импорт");
// Employees another user changed are named up to this many.
constexpr int NamedChanged = 10;

// How often a long import lets the window repaint.
constexpr qint64 PaintIntervalMs = 40;

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
    ProgreesLabel->setWordWrap(true);

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
    layout->addWidget(ProgreesLabel);
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
    // Opened by the import itself: at the start the main window tells the store's failure
    // once, and a reopening of the tables closes this view too.
}

bool TImportForm::OpenSourceDb()
{
    bool result = false;
    OpenDialog.Filter =
        QStringLiteral("Database files (*.dbf)|*.dbf|Таблицы прежней версии (*.db)|*.db");
    // The first choice of a run starts at home, each later one where the last file was.
    if (OpenDialog.InitialDir.isEmpty())
        OpenDialog.InitialDir = QDir::homePath();
    if (OpenDialog.Execute(parentWidget() ? parentWidget() : this)) {
        OpenDialog.InitialDir = QFileInfo(OpenDialog.FileName).absolutePath();
        const bool paradox =
            OpenDialog.FileName.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
        result = paradox ? CheckParadoxSource(OpenDialog.FileName)
                         : CheckSourceTable(OpenDialog.FileName);
    }
    return result;
}

bool TImportForm::CheckSourceTable(const QString& path)
{
    ParadoxSource->Close();
    SourceTable->Close();
    SourceTable->SetTableName(path);
    SourceTable->Open();
    const QStringList fields = {NameSourceField, AmountSourceField, AccountSourceField,
                                CheckedSourceField};
    for (const QString& field : fields) {
        if (SourceTable->FindField(field) < 0) {
            Messages::ShowMessage(QStringLiteral("Error format source base"));
            SourceTable->Close();
            return false;
        }
    }
    for (const QString& field : fields) {
        const char type = SourceTable->FieldByName(field).Type();
        if (!TDbfTable::IsTextType(type)) {
            Messages::ShowMessage(
                QStringLiteral("Файл «%1» не подходит для импорта: поле %2 имеет тип %3 (%4), а "
                               "поля %5 должны быть символьными (C) или числовыми (N, F).")
                    .arg(QDir::toNativeSeparators(path), field, QString(QLatin1Char(type)),
                         TDbfTable::TypeName(type), fields.join(QStringLiteral(", "))));
            SourceTable->Close();
            return false;
        }
    }
    return true;
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

void TImportForm::KeepPainting(int record)
{
    if (FPaintClock.isValid() && FPaintClock.elapsed() < PaintIntervalMs)
        return;
    ShowProgress(record);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    FPaintClock.start();
}

void TImportForm::ShowProgress(int record)
{
    if (record <= 0)
        return;
    ProgressBar->setMinimum(1);
    ProgressBar->setMaximum(ParadoxSource->Active() ? ParadoxSource->RecordCount()
                                                    : SourceTable->RecordCount());
    ProgressBar->setValue(record);
}

void TImportForm::ImportData()
{
    if (!ParadoxSource->Active() && !SourceTable->Active())
        return;
    const ImportingFlag importing(FImporting);
    ProgreesLabel->setText(RunningText);
    KeepPainting(0);
    if (!EmployeeTable->Active())
        EmployeeTable->Open();
    EmployeeTable->Cancel();
    if (ParadoxSource->Active()) {
        ImportParadox();
        ProgreesLabel->setText(DoneText);
    } else {
        ProgreesLabel->setText(DoneText + QLatin1Char(' ') + ImportDbf());
        FitLabel();
    }
}

void TImportForm::FitLabel()
{
    // The counts run longer than the window was made for: it widens to show them on one
    // line where the screen allows, else grows down to the lines they wrap to, and stays
    // in the middle of the screen.
    const int line = ProgreesLabel->fontMetrics().horizontalAdvance(ProgreesLabel->text()) +
                     ProgreesLabel->fontMetrics().averageCharWidth();
    const QScreen* screen = this->screen();
    const int room = screen ? screen->availableGeometry().width() * 3 / 4 : line;
    const int wider = std::min(line, room) - ProgreesLabel->width();
    if (wider > 0)
        resize(width() + wider, height());
    layout()->activate();
    const int missing =
        ProgreesLabel->heightForWidth(ProgreesLabel->width()) - ProgreesLabel->height();
    if (missing > 0)
        resize(width(), height() + missing);
    if (wider > 0 || missing > 0)
        CenterOnScreen(this);
}

QString TImportForm::ImportDbf()
{
    SourceTable->First();
    const TDbfField nameSource = SourceTable->FieldByName(NameSourceField);
    const TDbfField amountSource = SourceTable->FieldByName(AmountSourceField);
    const TDbfField accountSource = SourceTable->FieldByName(AccountSourceField);

    // Rows stored before an error that ends the import stay. The bar shows the last record
    // gone through whenever the window is painted or a message is shown.
    int done = 0;
    EmployeeImport importer(*EmployeeTable, [this, &done] { ShowProgress(done); });
    try {
        while (!SourceTable->Eof()) {
            const QString name = CodePages::FromCp866Name(nameSource.AsBytes());
            const QString amount = amountSource.AsString();
            const QString account = accountSource.AsString();
            importer.Add(name, account, amount);
            done = SourceTable->RecNo();
            KeepPainting(done);
            SourceTable->Next();
        }
    } catch (...) {
        ShowProgress(done);
        throw;
    }
    ShowProgress(done);
    importer.Commit();
    if (importer.Differing() > 0 &&
        Messages::AskYesNo(QStringLiteral("В файле %1 сотрудников, которые уже есть в таблице, с "
                                          "другими суммами. Заменить их суммы суммами из файла?")
                               .arg(importer.Differing()),
                           ImportCaption)) {
        const QStringList changed = importer.ReplaceAmounts();
        if (!changed.isEmpty()) {
            QString names = changed.mid(0, NamedChanged).join(QLatin1Char('\n'));
            if (changed.size() > NamedChanged)
                names += QStringLiteral("\nи еще %1").arg(changed.size() - NamedChanged);
            Messages::ShowMessage(QStringLiteral("Суммы не заменены у сотрудников, чьи записи "
                                                 "другой пользователь изменил после чтения "
                                                 "файла (%1):\n%2")
                                      .arg(changed.size())
                                      .arg(names),
                                  ImportCaption);
        }
    }
    return QStringLiteral("Добавлено: %1, обновлено: %2, без изменений: %3.")
        .arg(importer.Added())
        .arg(importer.Updated())
        .arg(importer.Unchanged());
}
