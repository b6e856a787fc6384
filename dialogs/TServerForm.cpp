#include "dialogs/TServerForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/SystemReason.h"
#include "storage/layouts/Layouts.h"
#include "storage/backup/StoreBackup.h"
#include "storage/engine/StoreConnection.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/engine/TableSchema.h"
#include "ui/ErrorBoundary.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"
#include "ui/NamedControls.h"
#include "ui/WindowPlacement.h"

namespace {

// A value of a libpq connection string: quoted when it holds a space, a quote or a backslash.
QString ConnValue(const QString& value)
{
    static const QRegularExpression plain(QStringLiteral("^[^\\s'\\\\]+$"));
    if (plain.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

qint64 RowCount(StoreConnection& store, const QString& stored)
{
    return store.QueryText(QStringLiteral("SELECT count(*) FROM %1").arg(TableSchema::Quoted(stored)))
        .toLongLong();
}

} // namespace

TServerForm::TServerForm(MainViews& views, QWidget* parent) : QDialog(parent), FViews(views)
{
    setObjectName(QStringLiteral("ServerForm"));
    setWindowTitle(QStringLiteral("Общая база данных"));

    auto makeLabel = [this](const char* name, const QString& text) {
        return NamedControls::Label(this, name, text);
    };
    auto makeEdit = [this](const char* name) { return NamedControls::Edit(this, name); };
    auto makeButton = [this](const char* name, const QString& text) {
        return NamedControls::Button(this, name, text);
    };

    HostLabel = makeLabel("HostLabel", QStringLiteral("Сервер"));
    HostEdit = makeEdit("HostEdit");
    HostEdit->setPlaceholderText(QStringLiteral("имя или адрес компьютера"));
    PortLabel = makeLabel("PortLabel", QStringLiteral("Порт"));
    PortEdit = makeEdit("PortEdit");
    PortEdit->setPlaceholderText(QStringLiteral("5432"));
    PortEdit->setValidator(new QIntValidator(1, 65535, PortEdit));
    DatabaseLabel = makeLabel("DatabaseLabel", QStringLiteral("База данных"));
    DatabaseEdit = makeEdit("DatabaseEdit");
    UserLabel = makeLabel("UserLabel", QStringLiteral("Пользователь"));
    UserEdit = makeEdit("UserEdit");
    StatusLabel = makeLabel("StatusLabel", QString());
    StatusLabel->setWordWrap(true);
    StatusLabel->setMinimumWidth(360);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    CheckButton = makeButton("CheckButton", QStringLiteral("Проверить"));
    TransferButton = makeButton("TransferButton", QStringLiteral("Перенести таблицы на сервер"));
    CloseButton = makeButton("CloseButton", QStringLiteral("Закрыть"));

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (auto [label, edit] : {std::pair{HostLabel, HostEdit}, std::pair{PortLabel, PortEdit},
                               std::pair{DatabaseLabel, DatabaseEdit},
                               std::pair{UserLabel, UserEdit}}) {
        label->setBuddy(edit);
        form->addRow(label, edit);
    }
    auto* note = makeLabel("PasswordLabel",
                           QStringLiteral("Пароль не хранится в программе: его берут из файла "
                                          "паролей PostgreSQL (.pgpass) или проверяет сам сервер."));
    note->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckButton);
    buttons->addWidget(TransferButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addSpacing(6);
    layout->addWidget(StatusLabel);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(CheckButton, &QPushButton::clicked, this,
            [this] { Guarded([&] { CheckButtonClick(); }); });
    connect(TransferButton, &QPushButton::clicked, this,
            [this] { Guarded([&] { TransferButtonClick(); }); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

TServerForm::~TServerForm() = default;

void TServerForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        Guarded([this] {
            std::shared_ptr<StoreConnection> store;
            try {
                store = Session().Connect(TPathBuilder::GetEmployeeDBPath(), false);
            } catch (const EDatabaseError& error) {
                // The form is where such a failure is looked into: told here, not in a box.
                ShowStatus(QStringLiteral("Таблицы не открыты. ") + error.Message());
                return;
            }
            ShowStatus(store ? QStringLiteral("Сейчас таблицы хранятся: %1.").arg(store->FilePath())
                             : QString());
        });
        CenterOnScreen(this);
    }
}

QString TServerForm::ConnectionString() const
{
    QStringList parts;
    const std::pair<const char*, QLineEdit*> fields[] = {
        {"host", HostEdit}, {"port", PortEdit}, {"dbname", DatabaseEdit}, {"user", UserEdit}};
    for (const auto& [key, edit] : fields) {
        const QString value = edit->text().trimmed();
        if (!value.isEmpty())
            parts << QLatin1String(key) + QLatin1Char('=') + ConnValue(value);
    }
    return parts.join(QLatin1Char(' '));
}

void TServerForm::ShowStatus(const QString& text)
{
    StatusLabel->setText(text);
}

void TServerForm::CheckButtonClick()
{
    ShowStatus(QStringLiteral("Соединение с сервером…"));
    std::shared_ptr<StoreConnection> server;
    try {
        server = StoreConnection::OpenServer(ConnectionString(), Session().BusyTimeout());
        QStringList found;
        const std::pair<const char*, QString> tables[] = {
            {Layouts::EmployeeTableName, QStringLiteral("сотрудников: %1")},
            {Layouts::OrganizationTableName, QStringLiteral("организаций: %1")}};
        for (const auto& [name, text] : tables) {
            const QString stored = server->FindTable(QLatin1String(name));
            if (!stored.isEmpty())
                found << text.arg(RowCount(*server, stored));
        }
        if (found.isEmpty())
            ShowStatus(QStringLiteral("Связь с сервером есть (%1). База данных пуста: в неё "
                                      "можно перенести таблицы.")
                           .arg(server->FilePath()));
        else
            ShowStatus(QStringLiteral("Связь с сервером есть (%1). Таблицы программы на сервере "
                                      "есть, записей %2.")
                           .arg(server->FilePath(), found.join(QLatin1String(", "))));
    } catch (const EDatabaseError& error) {
        ShowStatus(error.Message());
    }
}

void TServerForm::TransferButtonClick()
{
    const QString folder = TPathBuilder::GetEmployeeDBPath();
    const std::shared_ptr<StoreConnection> local = Session().Connect(folder, false);
    if (!local) {
        Messages::ShowMessage(QStringLiteral("На этом компьютере нет таблиц для переноса."));
        return;
    }
    if (local->IsServer()) {
        Messages::ShowMessage(QStringLiteral("Таблицы уже хранятся на сервере (%1). Переносятся "
                                             "только таблицы файла этого компьютера.")
                                  .arg(local->FilePath()));
        return;
    }
    if (DatabaseEdit->text().trimmed().isEmpty()) {
        Messages::ShowMessage(QStringLiteral("Укажите базу данных на сервере."));
        DatabaseEdit->setFocus();
        return;
    }
    const QString connection = ConnectionString();
    ShowStatus(QStringLiteral("Перенос таблиц на сервер…"));
    QSaveFile conf(QDir(QDir::fromNativeSeparators(folder))
                       .filePath(QLatin1String(StoreConnection::ServerFileName)));
    std::shared_ptr<StoreConnection> server;
    // The status line counts the rows; the window takes no input until the copy ends.
    auto progress = [this](qint64 copied, qint64 total) {
        ShowStatus(QStringLiteral("Перенос таблиц на сервер… Записей перенесено: %1 из %2.")
                       .arg(copied)
                       .arg(total));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    try {
        server = StoreConnection::OpenServer(connection, Session().BusyTimeout());
        // The file is written before the tables are stored and put in place after, so a
        // failure of either leaves the program on its local file.
        if (!conf.open(QIODevice::WriteOnly) ||
            conf.write("# Сервер общей базы данных (строка соединения libpq, без пароля)\n" +
                       connection.toUtf8() + '\n') < 0)
            throw Exception(QStringLiteral("Не удалось записать «%1»: %2")
                                .arg(QDir::toNativeSeparators(conf.fileName()), conf.errorString()));
        TStoreBackup::CopyToServer(*local, *server, progress);
    } catch (const Exception& error) {
        conf.cancelWriting();
        ShowStatus(QStringLiteral("Таблицы не перенесены. ") + error.Message());
        Messages::ShowError(QStringLiteral("Таблицы не перенесены. ") + error.Message());
        return;
    }
    if (!conf.commit()) {
        QString message = QStringLiteral("Таблицы не перенесены: не удалось записать «%1»: %2. "
                                         "Программа продолжает работать с файлом этого "
                                         "компьютера.")
                              .arg(QDir::toNativeSeparators(conf.fileName()),
                                   SystemReason::InRussian(conf.errorString()));
        // The copy on the server goes again, so the transfer can be repeated.
        try {
            TStoreBackup::RemoveFromServer(*server);
        } catch (const Exception& error) {
            message += QStringLiteral(" Скопированные таблицы остались на сервере (%1): "
                                      "удалите их, чтобы повторить перенос.")
                           .arg(error.Message());
        }
        ShowStatus(message);
        Messages::ShowError(message);
        return;
    }
    FViews.ReopenTables();
    const TTable* employees = FViews.EmployeeTable();
    ShowStatus(employees && employees->Active()
                   ? QStringLiteral("Таблицы перенесены на сервер, программа работает с ними. "
                                    "Файл этого компьютера сохранён.")
                   : QStringLiteral("Таблицы перенесены на сервер, но не открыты: программа "
                                    "начнёт работу с сервером при следующем запуске."));
}
