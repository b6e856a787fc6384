// The main window's start-up: the folders, the old program's tables, the upgrade, the opening
// of the tables, and their opening again while they stay closed.
#include "app/TMainForm.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <optional>
#include <thread>

#include "app/TMainFormParts.h"
#include "core/Exception.h"
#include "core/Platform.h"
#include "import/ParadoxTakeOver.h"
#include "storage/layouts/Layouts.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/backup/StoreBackup.h"
#include "storage/engine/StoreConnection.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"
#include "storage/layouts/TableUpgrade.h"
#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"
#include "ui/TDBGrid.h"
#include "ui/TDataSource.h"

using namespace MainFormParts;

namespace {

// Creates a missing folder (and its missing parents) for the office's group: on Linux it
// takes the group of a set-group-id parent, and nobody else may enter it.
void MakeSharedFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (QFileInfo(path).isDir())
        return;
    QStringList missing;
    for (QString p = path; !p.isEmpty() && !QFileInfo::exists(p);) {
        missing.prepend(p);
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    if (!QDir().mkpath(path))
        throw Exception(QStringLiteral("Не удалось создать папку «%1».")
                            .arg(QDir::toNativeSeparators(path)));
#ifdef Q_OS_WIN
    const QFileDevice::Permissions shared =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
#else
    const QFileDevice::Permissions shared =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup;
#endif
    for (const QString& created : missing)
        QFile::setPermissions(created, shared);
}

// The error boundary's rule, with the error's message handed back instead of shown: empty when
// body ran to its end or was aborted.
template <typename Body> QString FailureOf(Body&& body)
{
    try {
        std::forward<Body>(body)();
    } catch (const EAbort&) {
    } catch (const Exception& error) {
        return error.Message();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
    return {};
}

} // namespace

// Filled by a thread of its own, so a server slow to refuse never holds up the window.
struct TMainForm::ServerAnswer
{
    std::atomic<bool> done = false;
    QString unreachable; // set before done
};

void TMainForm::FormCreate()
{
    // An error ends the sequence at its step, told once; the window still opens with what
    // was done, and says there when the tables are not open.
    const QString failure = FailureOf([this] { StartUp(); });
    if (!failure.isEmpty())
        Messages::ShowError(failure);
    ShowTablesState(failure);
}

void TMainForm::StartUp()
{
    EnsureFolders();
    TakeOverParadoxTables();
    RejectUnknownLayouts();
    UpgradeTables();
    Session().SetNetFileDir(TPathBuilder::GetSessionDBPath());
    Session().SetPrivateDir(TPathBuilder::GetSessionDBPath());
    FEmployeeTable->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    try {
        FEmployeeTable->Open();
    } catch (const EDatabaseError& error) {
        // Only a missing table is created; a damaged or locked one is reported as it is.
        if (error.ErrorKind() != EDatabaseError::Kind::TableMissing)
            throw;
        CreateEmployeeTable();
    }
    FEmployeeTable->Close();
    FEmployeeTable->Open();
    OpenOrganizationTable();
    TRegisterJournal(TPathBuilder::GetEmployeeDBPath()).Ensure();
    RefillOrgLists();
    FillEmptyOrganizations();
}

void TMainForm::RejectUnknownLayouts()
{
    // Checked before anything writes to the store (the daily copy, the upgrade, the journal
    // switch of the first open): a table that the upgrade cannot bring to its current layout
    // is left exactly as it is.
    const QString folder = TPathBuilder::GetEmployeeDBPath();
    const std::optional<TTableUpgrade::Unusable> unusable = TTableUpgrade::FindUnusable(folder);
    if (unusable)
        throw Exception(QStringLiteral("Таблица «%1» в файле «%2» имеет неизвестную программе "
                                       "структуру: %3. Файл оставлен без изменений.")
                            .arg(unusable->Table, TableSchema::StoreFile(folder),
                                 unusable->Reason));
}

bool TMainForm::TablesOpen()
{
    if (TablesActive())
        return true;
    OpenTablesAgain();
    if (TablesActive())
        return true;
    Messages::ShowError(FNotOpenText);
    return false;
}

bool TMainForm::TablesActive() const
{
    return FEmployeeTable->Active() && FOrgTable && FOrgTable->Active();
}

void TMainForm::OpenTablesAgain()
{
    Session().CloseAll();
    const QString failure = FailureOf([this] { StartUp(); });
    ShowTablesState(failure);
    if (!TablesActive())
        return;
    // Open, but a later step (the fill of empty organisations) stopped: that is told.
    if (!failure.isEmpty())
        Messages::ShowError(failure);
    Guarded([this] { WatchServerChanges(); });
}

void TMainForm::ShowTablesState(const QString& failure)
{
    const bool open = TablesActive();
    QString server;
    QString where;
    try {
        const QString folder = TPathBuilder::GetEmployeeDBPath();
        server = StoreConnection::ServerConnectionString(folder);
        where = server.isEmpty() ? TableSchema::StoreFile(folder)
                                 : QStringLiteral("база данных на сервере (%1)").arg(server);
    } catch (const Exception& error) {
        where = error.Message();
    }
    FNotOpenText = open ? QString()
                        : QStringLiteral("Таблицы не открыты: ") + where +
                              (failure.isEmpty() ? QString() : QStringLiteral(". ") + failure);
    TablesNotOpenLabel->setText(FNotOpenText);
    TablesNotOpenLabel->setVisible(!open);
    EmployeeGrid->setEnabled(open);
    if (open || server.isEmpty()) {
        FRetryTimer->stop();
        FServerAnswer.reset();
    } else if (!FRetryTimer->isActive()) {
        FNextServerQuestion = 0;
        FRetryTimer->start();
    }
}

void TMainForm::RetryOpenTables()
{
    if (TablesActive()) {
        ShowTablesState({});
        return;
    }
    // Not under a dialog: the settings open the tables themselves when they close.
    if (QApplication::activeModalWidget())
        return;
    if (!FServerAnswer) {
        if (QDateTime::currentMSecsSinceEpoch() < FNextServerQuestion)
            return;
        QString server;
        try {
            server = StoreConnection::ServerConnectionString(TPathBuilder::GetEmployeeDBPath());
        } catch (const Exception&) {
        }
        if (server.isEmpty()) {
            OpenTablesAgain(); // server.conf is gone: the local file, quickly
            return;
        }
        FServerAnswer = std::make_shared<ServerAnswer>();
        std::thread([answer = FServerAnswer, server] {
            answer->unreachable = StoreConnection::ServerUnreachable(server);
            answer->done = true;
        }).detach();
        return;
    }
    if (!FServerAnswer->done)
        return;
    const QString unreachable = FServerAnswer->unreachable;
    FServerAnswer.reset();
    FNextServerQuestion = QDateTime::currentMSecsSinceEpoch() + ServerQuestionSpacingMs;
    if (!unreachable.isEmpty()) {
        ShowTablesState(unreachable);
        return;
    }
    OpenTablesAgain();
    // The server answers, so what keeps the tables closed is no connection: the commands
    // try again, the timer does not repeat what failed.
    FRetryTimer->stop();
}

void TMainForm::EnsureFolders()
{
    // A user outside the office's group is told so before anything is made elsewhere.
    const QString data = TPathBuilder::GetEmployeeDBPath();
    if (!Platform::MayUseFolder(data)) {
        QString login = Platform::LoginName();
        if (login.isEmpty())
            login = QStringLiteral("ИМЯ");
        throw Exception(QStringLiteral("Нет доступа к папке данных «%1»: попросите администратора "
                                       "добавить вас в группу %2 (sudo adduser %3 %2)")
                            .arg(QDir::toNativeSeparators(QDir::cleanPath(data)),
                                 QLatin1String(Platform::SharingGroup), login));
    }
    MakeSharedFolder(TPathBuilder::GetEmployeeDBPath());
    MakeSharedFolder(QFileInfo(TPathBuilder::GetOutTxtPath(QString())).path());
}

// The old program's Paradox tables come into a store without rows before anything checks or
// upgrades layouts, so the upgrade then treats them as any older table. A failure leaves the
// store and the files as they were, and the start goes on with empty tables.
void TMainForm::TakeOverParadoxTables()
{
    TParadoxTakeOver takeOver(TPathBuilder::GetEmployeeDBPath());
    try {
        if (!takeOver.Due())
            return;
        const QString moveFailure = takeOver.Run();
        if (!moveFailure.isEmpty())
            Messages::ShowMessage(moveFailure);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        Messages::ShowError(QStringLiteral("Таблицы прежней версии не перенесены. %1 Программа "
                                           "начинает работу без них: исправьте файлы и "
                                           "запустите программу снова.")
                                .arg(error.Message()));
    }
}

void TMainForm::UpgradeTables()
{
    const QString folder = TPathBuilder::GetSessionDBPath();
    Session().SetNetFileDir(folder);
    try {
        TStoreBackup::MakeDaily(folder, QDate::currentDate());
    } catch (const EDatabaseError&) {
        throw; // the store itself failed: that ends the start
    } catch (const Exception& error) {
        ReportBackupFailure(error);
    }
    TempTable = std::make_unique<TTable>();
    TempTable->SetDatabaseName(folder);
    TempTable->SetTableName(QStringLiteral("base"));
    if (TempTable->Exists()) {
        Upgrade().UpgradeEmployees(*TempTable);
        ReportDuplicateEmployees();
    }
    TempTable->Close();
    Session().CloseAll();
}

TTableUpgrade& TMainForm::Upgrade()
{
    if (!FUpgrade) {
        FUpgrade = std::make_unique<TTableUpgrade>(TPathBuilder::GetEmployeeDBPath(), Query1);
        FUpgrade->OnBackupFailed = [this](const Exception& error) { ReportBackupFailure(error); };
    }
    return *FUpgrade;
}

// Employees stored twice, which keep the unique key away, are told at every start.
void TMainForm::ReportDuplicateEmployees()
{
    constexpr int Listed = 20;
    const TTableUpgrade::Duplicates found = Upgrade().DuplicateEmployees(Listed);
    if (found.Count == 0)
        return;
    QStringList lines;
    for (const QStringList& key : found.Keys)
        lines << QStringLiteral("%1, счет %2").arg(key.value(0), key.value(1));
    if (found.Count > Listed)
        lines << QStringLiteral("и ещё %1").arg(found.Count - Listed);
    Messages::ShowMessage(
        QStringLiteral("В таблице сотрудников одни и те же ФИО и счет (без учета регистра букв) "
                       "записаны больше одного раза:\n\n%1\n\nНичего не удалено, а новых повторов "
                       "программа не допустит. Исправьте или удалите лишние записи: ФИО и счет "
                       "снова станут уникальным ключом таблицы при первом запуске без повторов.")
            .arg(lines.join(QLatin1Char('\n'))));
}

// A backup that failed is told once a run; the start goes on without it.
void TMainForm::ReportBackupFailure(const Exception& error)
{
    if (FBackupFailureShown)
        return;
    FBackupFailureShown = true;
    Messages::ShowMessage(error.Message());
}

void TMainForm::CreateEmployeeTable()
{
    TTable temp;
    temp.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    temp.SetTableName(QStringLiteral("base"));
    temp.FieldDefs() = Layouts::EmployeeFields();
    temp.IndexDefs() = Layouts::EmployeeIndexes();
    temp.CreateTable();
}

void TMainForm::OpenOrganizationTable()
{
    auto view = std::make_unique<TTable>();
    view->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    view->SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
    if (view->Exists()) {
        view->Open();
        Upgrade().UpgradeOrganizations(*view);
    } else {
        view->FieldDefs() = Layouts::OrganizationFields();
        view->IndexDefs() = Layouts::OrganizationIndexes();
        view->CreateTable();
    }
    view->Open();
    orgds->SetDataSet(view.get());
    FOrgTable = std::move(view);
}

void TMainForm::FillEmptyOrganizations()
{
    TTable& employees = *FEmployeeTable;
    TTable& orgs = *FOrgTable;
    employees.First();
    orgs.First();
    const QString first = orgs.RecordCount() > 0 ? orgs.FieldByName(OrgNameField).AsString()
                                                 : QString();
    const int count = employees.RecordCount();
    TField org = employees.FieldByName(OrgField);
    const ControlsLock lock(EmployeeGrid);
    std::optional<TTransaction> transaction; // begun after the copy, at the first write
    for (int i = 0; i < count; ++i) {
        if (org.AsString().isEmpty()) {
            if (!transaction) {
                Upgrade().CopyBeforeFirstWrite();
                transaction.emplace(employees.DatabaseName(), TTransaction::Mode::KeepDone);
            }
            employees.Edit();
            org.SetAsString(first);
            employees.Post();
        }
        employees.Next();
    }
    if (transaction)
        transaction->Commit();
}
