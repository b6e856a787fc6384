#include "app/TMainForm.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

#include "app/ExportTotalsLine.h"
#include "app/TMainFormParts.h"
#include "storage/layouts/Layouts.h"
#include "storage/layouts/TableUpgrade.h"
#include "ui/TComboBox.h"
#include "ui/TDBComboBox.h"
#include "ui/TDBGrid.h"
#include "ui/TDataSource.h"
#include "ui/TGridFindField.h"
#include "ui/WindowPlacement.h"

using namespace MainFormParts;

namespace {

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

} // namespace

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
