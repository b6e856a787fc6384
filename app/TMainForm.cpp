#include "app/TMainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "amount/Amount.h"
#include "core/Platform.h"
#include "export/TJournalForm.h"
#include "app/ExportTotalsLine.h"
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
#include "ui/KeyRules.h"
#include "ui/Messages.h"
#include "ui/TComboBox.h"
#include "ui/TDBComboBox.h"
#include "ui/TDBGrid.h"
#include "ui/TDataSource.h"
#include "ui/TGridFindField.h"
#include "ui/WindowPlacement.h"

namespace {

using Layouts::FioField;
using Layouts::AccntField;
using Layouts::AmountField;
using Layouts::OrgField;
using Layouts::ExportField;
using Layouts::OrgNameField;

const QString AllOrganizations = QStringLiteral("Все");

// Check-box state by the export flag.
constexpr QStyle::StateFlag CheckBoxState[2] = {QStyle::State_Off, QStyle::State_On};

// Keeps the grid from following the employee view during a pass over every row.
class ControlsLock final
{
public:
    explicit ControlsLock(TDBGrid* grid) : m_grid(grid) { m_grid->DisableControls(); }
    ~ControlsLock() { m_grid->EnableControls(); }
    ControlsLock(const ControlsLock&) = delete;
    ControlsLock& operator=(const ControlsLock&) = delete;

private:
    TDBGrid* m_grid;
};

// The client area, which lays out its controls again whenever its size changes.
class ClientArea final : public QWidget
{
public:
    using QWidget::QWidget;
    std::function<void()> OnResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (OnResize)
            OnResize();
    }
};

bool IsInside(const QWidget* widget, const QWidget* container)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == container)
            return true;
    }
    return false;
}

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

// While the tables are closed by a server that does not answer: how often it is asked.
constexpr int RetryTickMs = 500;
constexpr int ServerQuestionSpacingMs = 3000;

} // namespace

// Filled by a thread of its own, so a server slow to refuse never holds up the window.
struct TMainForm::ServerAnswer
{
    std::atomic<bool> done = false;
    QString unreachable; // set before done
};

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), FEmployeeTable(std::make_unique<TTable>())
{
    FEmployeeTable->SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    FEmployeeTable->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    FEmployeeTable->BeforePost = [this](TTable& table) { EmployeeTableBeforePost(table); };
    FEmployeeTable->AfterInsert = [this](TTable& table) { EmployeeTableAfterInsert(table); };
    FEmployeeTable->OnPostError = [this](TTable& table, const EDatabaseError& error,
                                         TTable::DataAction& action) {
        EmployeeTablePostError(table, error, action);
    };
    EmployeeDataSource = new TDataSource(this);
    EmployeeDataSource->setObjectName(QStringLiteral("EmployeeDataSource"));
    EmployeeDataSource->SetDataSet(FEmployeeTable.get());
    // What was announced while a row was in edit is shown once the row is stored or dropped.
    connect(FEmployeeTable.get(), &TTable::StateChanged, this, [this] {
        if (!FChangedTables.isEmpty() && FEmployeeTable->GetState() == TTable::State::Browse)
            QTimer::singleShot(0, this, &TMainForm::ApplyChangedTables);
    });
    orgds = new TDataSource(this);
    orgds->setObjectName(QStringLiteral("orgds"));

    CreateControls();
    FormCreate();
    WatchServerChanges();
}

void TMainForm::WatchServerChanges()
{
    if (FChangeTimer || !FEmployeeTable->Active() ||
        !Session().Connect(TPathBuilder::GetEmployeeDBPath(), false)->IsServer())
        return;
    // Only a server announces other computers' writes.
    FChangeTimer = new QTimer(this);
    connect(FChangeTimer, &QTimer::timeout, this, &TMainForm::RefreshChangedTables);
    FChangeTimer->start(500);
}

void TMainForm::ReopenTables()
{
    Session().CloseAll();
    FormCreate();
    Guarded([this] { WatchServerChanges(); });
}

void TMainForm::RefreshChangedTables()
{
    if (!FEmployeeTable->Active() || !FOrgTable || !FOrgTable->Active())
        return;
    try {
        const std::shared_ptr<StoreConnection> store =
            Session().Connect(TPathBuilder::GetEmployeeDBPath(), false);
        if (store) {
            for (const QString& table : store->TakeChanges()) {
                if (!FChangedTables.contains(table.toLower()))
                    FChangedTables << table.toLower();
            }
        }
    } catch (const Exception&) {
        // A lost connection is told by the next command that needs the tables.
    }
    ApplyChangedTables();
}

void TMainForm::ApplyChangedTables()
{
    // A dialog works on the views it was opened with: what others changed meanwhile is shown
    // once it closes, and a row in edit is refreshed once it is stored or dropped.
    if (FChangedTables.isEmpty() || QApplication::activeModalWidget() ||
        !FEmployeeTable->Active() || !FOrgTable || !FOrgTable->Active())
        return;
    try {
        for (TTable* view : {FEmployeeTable.get(), FOrgTable.get()}) {
            const QString table = StoreConnection::BareTableName(view->TableName()).toLower();
            if (!FChangedTables.contains(table) ||
                view->GetState() != TTable::State::Browse)
                continue;
            FChangedTables.removeAll(table);
            view->Refresh();
            if (view == FOrgTable.get())
                FOrgListsStale = true;
        }
        // The lists are not refilled under a user who is choosing from one of them.
        const bool choosing = OrgBox->isVisible() || OrgBoxExport->view()->isVisible();
        if (FOrgListsStale && !choosing && FOrgTable->GetState() == TTable::State::Browse) {
            FOrgListsStale = false;
            RefillOrgLists(true);
        }
    } catch (const Exception&) {
        // Left for the next call, as a lost connection is.
    }
}

TMainForm::~TMainForm()
{
    // The controls go before the views they show.
    EmployeeGrid->SetDataSource(nullptr);
    OrgBox->SetDataSource(nullptr);
    orgds->SetDataSet(nullptr);
    EmployeeDataSource->SetDataSet(nullptr);
}

TTable* TMainForm::OrgTable() const
{
    return FOrgTable.get();
}

TTable* TMainForm::EmployeeTable() const
{
    return FEmployeeTable.get();
}

QString TMainForm::OrgBoxExportText() const
{
    return OrgBoxExport->currentText();
}

void TMainForm::SetForms(QDialog* settingsForm, QDialog* employeeAddForm)
{
    SettingsForm = settingsForm;
    EmployeeAddForm = employeeAddForm;
}

void TMainForm::SetExportForm(QDialog* exportForm)
{
    ExportForm = exportForm;
}

void TMainForm::SetImportForm(QDialog* importForm, std::function<bool()> openSourceDb)
{
    ImportForm = importForm;
    FOpenSourceDb = std::move(openSourceDb);
}

void TMainForm::CreateControls()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Ведомость"));

    QMenuBar* MainMenu = menuBar();
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    MainMenu->setNativeMenuBar(false);
    settings1 = MainMenu->addAction(QStringLiteral("Настройки"));
    settings1->setObjectName(QStringLiteral("settings1"));
    export1 = MainMenu->addAction(QStringLiteral("Экспорт"));
    export1->setObjectName(QStringLiteral("export1"));
    import1 = MainMenu->addAction(QStringLiteral("Импорт"));
    import1->setObjectName(QStringLiteral("import1"));
    journal1 = MainMenu->addAction(QStringLiteral("Журнал"));
    journal1->setObjectName(QStringLiteral("journal1"));

    auto* client = new ClientArea(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    EmployeeGrid = new TDBGrid(client);
    EmployeeGrid->setObjectName(QStringLiteral("EmployeeGrid"));
    EmployeeGrid->SetOptions(TDBGrid::Editing | TDBGrid::Titles | TDBGrid::Indicator |
                             TDBGrid::ColLines | TDBGrid::RowLines | TDBGrid::Tabs |
                             TDBGrid::ConfirmDelete | TDBGrid::CancelOnExit |
                             TDBGrid::TitleClick | TDBGrid::TitleHotTrack);
    EmployeeGrid->SetColumns({
        {FioField, QStringLiteral("ФИО"), 247, Qt::AlignLeft, Qt::AlignLeft, {}},
        {AccntField, QStringLiteral("Счет сотрудника"), 160, Qt::AlignLeft, Qt::AlignLeft, {}},
        {AmountField, QStringLiteral("Сумма для зачисления"), 124, Qt::AlignRight, Qt::AlignLeft,
         {}},
        {OrgField, QStringLiteral("Организация"), 111, Qt::AlignRight, Qt::AlignLeft, {}},
        {ExportField, QStringLiteral("+"), 19, Qt::AlignLeft, Qt::AlignHCenter, {}},
    });
    EmployeeGrid->SetStretchColumns({0, 3}); // the name and the organisation take the room
    EmployeeGrid->SetDataSource(EmployeeDataSource);
    EmployeeGrid->OnKeyPress = [this](QChar& key) { DBGrid1KeyPress(key); };
    EmployeeGrid->OnDrawColumnCell = [this](QPainter& painter, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) {
        EmployeeGridDrawColumnCell(painter, option, index);
    };

    auto makeButton = [client](const char* name, const QString& text) {
        auto* button = new QPushButton(text, client);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    AddButton = makeButton("AddButton", QStringLiteral("Добавить сотрудника"));
    DelButton = makeButton("DelButton", QStringLiteral("Удалить сотрудника"));
    SaveButton = makeButton("SaveButton", QStringLiteral("Сохранить"));

    OrgBox = new TDBComboBox(client);
    OrgBox->setObjectName(QStringLiteral("OrgBox"));
    OrgBox->resize(137, OrgBox->sizeHint().height());
    OrgBox->SetDataSource(EmployeeDataSource);
    OrgBox->SetDataField(OrgField);
    OrgBox->hide();

    OrgBoxExport = new TComboBox(client);
    OrgBoxExport->setObjectName(QStringLiteral("OrgBoxExport"));
    OrgBoxExport->setEditable(true);
    OrgBoxExport->setInsertPolicy(QComboBox::NoInsert);
    // Typed text is taken as typed: completing a partial name would tick its employees.
    OrgBoxExport->setCompleter(nullptr);
    // Choosing there rewrites every tick: the label says so.
    OrgBoxExportLabel = new QLabel(QStringLiteral("Отметить для экспорта:"), client);
    OrgBoxExportLabel->setObjectName(QStringLiteral("OrgBoxExportLabel"));
    OrgBoxExportLabel->setBuddy(OrgBoxExport);

    QStatusBar* statusLine = statusBar();
    statusLine->setObjectName(QStringLiteral("StatusLine"));
    ExportTotalsLine = new TExportTotalsLine(*this, EmployeeDataSource, orgds, statusLine);
    statusLine->addWidget(ExportTotalsLine, 1);
    FindField = new TGridFindField(EmployeeGrid, {FioField, AccntField}, statusLine);
    FindField->setMinimumWidth(200);
    FindField->setFocusPolicy(Qt::ClickFocus); // Ctrl+F or a click; Tab keeps to the design's
    statusLine->addPermanentWidget(FindField);
    FindField->AddShortcuts(this);

    // In place of an empty grid while the tables are not open: why, in words one can copy.
    TablesNotOpenLabel = new QLabel(client);
    TablesNotOpenLabel->setObjectName(QStringLiteral("TablesNotOpenLabel"));
    TablesNotOpenLabel->setWordWrap(true);
    TablesNotOpenLabel->setAlignment(Qt::AlignCenter);
    TablesNotOpenLabel->setMargin(24);
    TablesNotOpenLabel->setFrameShape(QFrame::StyledPanel);
    TablesNotOpenLabel->setAutoFillBackground(true);
    TablesNotOpenLabel->setBackgroundRole(QPalette::Base);
    TablesNotOpenLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TablesNotOpenLabel->hide();
    FRetryTimer = new QTimer(this);
    FRetryTimer->setObjectName(QStringLiteral("RetryTimer"));
    FRetryTimer->setInterval(RetryTickMs);
    connect(FRetryTimer, &QTimer::timeout, this, &TMainForm::RetryOpenTables);
    ArrangeControls();

    setTabOrder(EmployeeGrid, AddButton);
    setTabOrder(AddButton, DelButton);
    setTabOrder(DelButton, SaveButton);
    setTabOrder(SaveButton, OrgBox);
    setTabOrder(OrgBox, OrgBoxExport);

    auto* refresh = new QAction(this);
    refresh->setObjectName(QStringLiteral("refresh1"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    refresh->setShortcutContext(Qt::WindowShortcut);
    addAction(refresh);
    connect(refresh, &QAction::triggered, this, &TMainForm::RefreshViews);
    connect(settings1, &QAction::triggered, this, &TMainForm::settings1Click);
    connect(export1, &QAction::triggered, this, &TMainForm::export1Click);
    connect(import1, &QAction::triggered, this, &TMainForm::import1Click);
    connect(journal1, &QAction::triggered, this, &TMainForm::journal1Click);
    connect(AddButton, &QPushButton::clicked, this, &TMainForm::AddButtonClick);
    connect(DelButton, &QPushButton::clicked, this, &TMainForm::DelButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TMainForm::SaveButtonClick);
    connect(EmployeeGrid, &TDBGrid::CellClick, this, &TMainForm::EmployeeGridCellClick);
    connect(EmployeeGrid, &TDBGrid::ColEnter, this, &TMainForm::EmployeeGridColEnter);
    connect(EmployeeGrid, &TDBGrid::ColExit, this, &TMainForm::EmployeeGridColExit);
    connect(EmployeeGrid, &TDBGrid::CurrentCellMoved, this, [this] { PlaceOrgBox(false); });
    connect(EmployeeGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { FOrgBoxChosen = false; });
    connect(OrgBox, &TDBComboBox::Change, this, &TMainForm::OrgBoxChange);
    connect(OrgBoxExport, &QComboBox::currentTextChanged, this, &TMainForm::OrgBoxExportChange);
    connect(OrgBoxExport, &QComboBox::currentTextChanged, ExportTotalsLine,
            &TExportTotalsLine::Schedule);

    EmployeeGridMenu = new QMenu(this);
    EmployeeGridMenu->setObjectName(QStringLiteral("EmployeeGridMenu"));
    mark1 = EmployeeGridMenu->addAction(QStringLiteral("Отметить"));
    mark1->setObjectName(QStringLiteral("mark1"));
    unmark1 = EmployeeGridMenu->addAction(QStringLiteral("Снять отметку"));
    unmark1->setObjectName(QStringLiteral("unmark1"));
    organization1 = EmployeeGridMenu->addMenu(QStringLiteral("Организация…"));
    organization1->setObjectName(QStringLiteral("organization1"));
    auto setFlag = [this](bool flag) {
        ChangeSelectedEmployees(
            [flag](TTable& employees) { employees.FieldByName(ExportField).SetAsBoolean(flag); });
    };
    connect(mark1, &QAction::triggered, this, [setFlag] { setFlag(true); });
    connect(unmark1, &QAction::triggered, this, [setFlag] { setFlag(false); });
    connect(EmployeeGridMenu, &QMenu::aboutToShow, this, &TMainForm::FillOrganizationMenu);
    connect(EmployeeGrid, &TDBGrid::ContextMenu, this, &TMainForm::EmployeeGridContextMenu);

    // Opens at its designed size, the least, and at the designed place where it fits the
    // screen, else moved inside it; larger, the grid takes the room.
    client->OnResize = [this] { ArrangeControls(); };
    resize(minimumSizeHint());
    move(530, 419);
    FitOnScreen(this);
}

void TMainForm::ArrangeControls()
{
    // The design's sizes in pixels are the least; a caption wider in the program's font
    // widens its button, and the grid its columns, and the window follows. Room beyond the
    // least goes to the grid; the row of buttons stays under it.
    QWidget* client = centralWidget();
    int left = 0;
    int buttonsWidth = 0;
    for (QPushButton* button : {AddButton, DelButton, SaveButton}) {
        const int width = std::max(129, button->sizeHint().width());
        button->resize(width, 25);
        left += width + 7;
        buttonsWidth = left - 7;
    }
    const int labelLeft = buttonsWidth + 16;
    const int labelWidth = OrgBoxExportLabel->sizeHint().width();
    const int selectorLeft = std::max(424, labelLeft + labelWidth + 6);
    const QSize least(std::max({698, EmployeeGrid->NeededWidth(), selectorLeft + 161}), 360);
    client->setMinimumSize(least);

    const QSize size = client->size().expandedTo(least);
    const int bottom = size.height() - 360; // how far the row of buttons moved down
    EmployeeGrid->setGeometry(0, 0, size.width(), 329 + bottom);
    TablesNotOpenLabel->setGeometry(EmployeeGrid->geometry());
    left = 0;
    for (QPushButton* button : {AddButton, DelButton, SaveButton}) {
        button->move(left, 335 + bottom);
        left += button->width() + 7;
    }
    const int selectorHeight = std::min(OrgBoxExport->sizeHint().height(), 24);
    OrgBoxExport->setGeometry(selectorLeft, 336 + bottom, 161, selectorHeight);
    OrgBoxExportLabel->setGeometry(labelLeft, 336 + bottom, labelWidth, selectorHeight);
}

// ---- Start-up ----

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

// ---- Commands ----

int TMainForm::OrgCount() const
{
    return FOrgTable ? FOrgTable->RecordCount() : 0;
}

void TMainForm::settings1Click()
{
    Guarded([this] {
        if (!TablesActive())
            OpenTablesAgain();
        if (!TablesActive()) {
            // Without the organisations: the settings of the server may mend the connection.
            if (SettingsForm)
                SettingsForm->exec();
            if (!TablesActive())
                OpenTablesAgain();
            return;
        }
        EmployeeGrid->CommitEditor();
        if (SettingsForm)
            SettingsForm->exec();
        FEmployeeTable->Refresh();
        ReplaceOrgTable();
        RefillOrgLists();
    });
}

void TMainForm::export1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->RecordCount() == 0) {
            Messages::ShowMessage(QStringLiteral("Таблица сотрудников не заполнена"));
            return;
        }
        if (OrgCount() == 0) {
            Messages::ShowMessage(QStringLiteral("Необходимо добавить организацию"));
            return;
        }
        if (ExportForm)
            ExportForm->exec();
    });
}

void TMainForm::journal1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        TJournalForm form(this);
        form.exec();
    });
}

void TMainForm::import1Click()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (ImportForm && FOpenSourceDb && FOpenSourceDb())
            ImportForm->exec();
        FEmployeeTable->Refresh();
        // An import of the old program's tables may have added organisations.
        const int organizations = OrgCount();
        ReplaceOrgTable();
        if (OrgCount() != organizations)
            RefillOrgLists();
    });
}

void TMainForm::AddButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (OrgCount() == 0) {
            Messages::ShowMessage(
                QStringLiteral("Первоначально необходимо добавить организацию."));
            return;
        }
        if (EmployeeAddForm)
            EmployeeAddForm->exec();
        FEmployeeTable->Refresh();
    });
}

void TMainForm::DelButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        TTable& employees = *FEmployeeTable;
        const QString fio = employees.FieldByName(FioField).AsString();
        const QString accnt = employees.FieldByName(AccntField).AsString();
        if (Messages::AskYesNo(QStringLiteral("Вы действительно хотите удалить сотрудника ") +
                                   fio + QLatin1Char(' ') + accnt + QLatin1Char('?'),
                               QStringLiteral("Удаление")))
            employees.Delete();
    });
}

void TMainForm::SaveButtonClick()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->GetState() != TTable::State::Edit)
            return;
        FEmployeeTable->Post();
        Messages::ShowMessage(QStringLiteral("Сохранено"));
    });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    const bool canClose = Guarded([this] {
        EmployeeGrid->CommitEditor();
        if (FEmployeeTable->GetState() != TTable::State::Edit)
            return;
        if (Messages::AskYesNo(QStringLiteral("Есть несохраненные данные. Сохранить?"),
                               QStringLiteral("Завершение программы.")))
            FEmployeeTable->Post();
        else
            FEmployeeTable->Cancel();
    });
    if (canClose)
        event->accept();
    else
        event->ignore(); // the refused row stays in edit
}

// ---- Grid rules ----

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

void TMainForm::RefreshViews()
{
    Guarded([this] {
        if (!TablesOpen())
            return;
        EmployeeGrid->CommitEditor();
        FChangedTables.clear();
        FEmployeeTable->Refresh();
        FOrgTable->Refresh();
        RefillOrgLists(true);
    });
}
