#include "import/ParadoxTakeOver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

extern "C" { // pxlib's header declares no C linkage of its own
#include <paradox.h>
}

#include "core/Exception.h"
#include "import/ParadoxTable.h"
#include "storage/layouts/Layouts.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"
#include "storage/layouts/TableUpgrade.h"

using TableSchema::Quoted;

namespace {

const QString EmployeeTable = QStringLiteral("base");
const QString OrganizationTable = QStringLiteral("config");
const QString AsideFolder = QStringLiteral("paradox");

// The endings of a Paradox table's files: the table, its indexes, memos, checks and forms.
const QRegularExpression CompanionSuffix(
    QStringLiteral("^(db|px|mb|val|tv|fam|x[0-9a-f]{2}|y[0-9a-f]{2}|xg[0-9a-f]|yg[0-9a-f])$"),
    QRegularExpression::CaseInsensitiveOption);

QString FileText(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool HasRows(StoreConnection& connection, const QString& table)
{
    const QString stored = TableSchema::FindTable(connection, table);
    return !stored.isEmpty() &&
           connection.QueryText(
               QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(Quoted(stored))) ==
               QLatin1String("1");
}

TFieldDef StoreField(const TParadoxField& field, bool firstAutoInc)
{
    TFieldDef def;
    def.Name = field.Name;
    switch (field.Type) {
    case pxfAlpha:
        def.Size = field.Width;
        break;
    case pxfLogical:
        def.DataType = TFieldType::Boolean;
        break;
    case pxfShort:
    case pxfLong:
        def.DataType = TFieldType::Integer;
        break;
    case pxfAutoInc:
        def.DataType = firstAutoInc ? TFieldType::AutoInc : TFieldType::Integer;
        break;
    case pxfDate:
        def.Size = 10; // 2024-01-31
        break;
    case pxfTime:
        def.Size = 8; // 23:59:59
        break;
    case pxfTimestamp:
        def.Size = 19;
        break;
    default: // number and currency: their text with a point, of any length
        break;
    }
    return def;
}

// The first key held twice, in words; empty when none. Blank keys are never equal.
QString DuplicateKey(StoreConnection& connection, const QString& table, const QStringList& fields,
                     bool noCase)
{
    QStringList present;
    QStringList keys;
    QStringList shown;
    for (const QString& field : fields) {
        present << Quoted(field) + QLatin1String(" IS NOT NULL");
        keys << connection.KeyTerm(Quoted(field), noCase, false);
        shown << QLatin1String("min(") + Quoted(field) + QLatin1Char(')');
    }
    Statement statement(connection, QStringLiteral("SELECT %1 FROM %2 WHERE %3 GROUP BY %4 "
                                                   "HAVING count(*) > 1 LIMIT 1")
                                        .arg(shown.join(QLatin1String(", ")), Quoted(table),
                                             present.join(QLatin1String(" AND ")),
                                             keys.join(QLatin1String(", "))));
    if (!statement.Step())
        return {};
    QStringList values;
    for (int i = 0; i < int(fields.size()); ++i)
        values << QStringLiteral("«%1»").arg(statement.Text(i));
    statement.Reset();
    return values.join(QStringLiteral(", "));
}

// The name field of a layout: the current one, else its older form.
QString NameField(const TableSchema::StoredLayout& layout, const Layouts::TOlderField& field)
{
    return layout.FindField(field.Current) >= 0 ? field.Current : field.Older;
}

} // namespace

TParadoxTakeOver::TParadoxTakeOver(QString folder) : m_folder(std::move(folder)) {}

QString TParadoxTakeOver::FindTableFile(const QString& folder, const QString& table)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo& file : files) {
        if (file.completeBaseName().compare(table, Qt::CaseInsensitive) == 0 &&
            file.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0)
            return file.filePath();
    }
    return {};
}

bool TParadoxTakeOver::Due()
{
    if (FindTableFile(m_folder, EmployeeTable).isEmpty())
        return false;
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, true);
    return !HasRows(*connection, EmployeeTable) && !HasRows(*connection, OrganizationTable);
}

void TParadoxTakeOver::CopyTable(StoreConnection& connection, TParadoxTable& source,
                                 const QString& table)
{
    TFieldDefs fields;
    std::vector<int> carried;
    bool autoInc = false;
    for (std::size_t i = 0; i < source.Fields().size(); ++i) {
        const TParadoxField& field = source.Fields()[i];
        if (!TParadoxTable::Carried(field.Type))
            continue;
        const bool first = field.Type == pxfAutoInc && !autoInc;
        autoInc = autoInc || first;
        fields.push_back(StoreField(field, first));
        carried.push_back(int(i));
    }
    if (fields.empty())
        throw EDatabaseError(QStringLiteral("В файле «%1» нет полей, которые программа может "
                                            "перенести.")
                                 .arg(FileText(source.FileName())));
    for (const QString& statement : connection.CreateStatements(table, fields, {}))
        connection.Exec(statement);

    QStringList names;
    QStringList places;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        names << Quoted(fields[i].Name);
        places << QStringLiteral("?%1").arg(i + 1);
    }
    Statement insert(connection, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(Quoted(table), names.join(QLatin1String(", ")),
                                          places.join(QLatin1String(", "))));
    for (int record = 0; record < source.RecordCount(); ++record) {
        source.Read(record);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int place = int(i) + 1;
            const QVariant value = source.Value(carried[i]);
            if (!value.isValid())
                insert.BindNull(place);
            else if (fields[i].DataType == TFieldType::String)
                insert.BindText(place, source.Text(carried[i]));
            else
                insert.BindInt(place, value.toLongLong());
        }
        try {
            insert.Step();
        } catch (const EDatabaseError& error) {
            throw EDatabaseError(QStringLiteral("Запись %1 файла «%2» не сохранена: %3")
                                     .arg(record + 1)
                                     .arg(FileText(source.FileName()), error.Message()),
                                 error.ErrorKind(), error.ResultCode());
        }
        insert.Reset();
    }
}

QString TParadoxTakeOver::Run()
{
    const QString baseFile = FindTableFile(m_folder, EmployeeTable);
    const QString configFile = FindTableFile(m_folder, OrganizationTable);
    TParadoxTable employees;
    employees.Open(baseFile);
    TParadoxTable organizations;
    if (!configFile.isEmpty())
        organizations.Open(configFile);

    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, true);
    TTransaction transaction(m_folder);
    // Tables left empty by a start that could not take over give way to the old ones.
    for (const QString& table : {EmployeeTable, OrganizationTable}) {
        const QString stored = TableSchema::FindTable(*connection, table);
        if (!stored.isEmpty())
            connection->Exec(QStringLiteral("DROP TABLE %1").arg(Quoted(stored)));
    }
    CopyTable(*connection, employees, EmployeeTable);
    std::optional<TableSchema::StoredLayout> orgLayout;
    if (organizations.Active()) {
        CopyTable(*connection, organizations, OrganizationTable);
        orgLayout = TableSchema::ReadLayout(*connection, OrganizationTable);
    }
    const TableSchema::StoredLayout baseLayout =
        TableSchema::ReadLayout(*connection, EmployeeTable);

    if (const auto unusable = TTableUpgrade::FindUnusable(baseLayout, orgLayout)) {
        const QString file = unusable->Table == OrganizationTable ? configFile : baseFile;
        throw Exception(QStringLiteral("Таблица «%1» в файле «%2» имеет неизвестную программе "
                                       "структуру: %3.")
                            .arg(unusable->Table, FileText(file), unusable->Reason));
    }
    const QString name = NameField(baseLayout, Layouts::OlderFioField);
    if (baseLayout.FindField(Layouts::AccntField) >= 0) {
        const QString twice =
            DuplicateKey(*connection, EmployeeTable, {name, Layouts::AccntField}, true);
        if (!twice.isEmpty())
            throw Exception(QStringLiteral("В файле «%1» дважды записан сотрудник %2.")
                                .arg(FileText(baseFile), twice));
    }
    if (orgLayout) {
        const QString orgName = NameField(*orgLayout, Layouts::OlderOrgNameField);
        const QString twice = DuplicateKey(*connection, OrganizationTable, {orgName}, false);
        if (!twice.isEmpty())
            throw Exception(QStringLiteral("В файле «%1» дважды записана организация %2.")
                                .arg(FileText(configFile), twice));
    }
    transaction.Commit();
    return MoveAside();
}

QString TParadoxTakeOver::MoveAside()
{
    QDir folder(m_folder);
    QFileInfoList moving;
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files)) {
        const QString base = file.completeBaseName();
        if ((base.compare(EmployeeTable, Qt::CaseInsensitive) == 0 ||
             base.compare(OrganizationTable, Qt::CaseInsensitive) == 0) &&
            CompanionSuffix.match(file.suffix()).hasMatch())
            moving << file;
    }
    QDir aside(folder.filePath(AsideFolder));
    // Files set aside before are never overwritten: a second set goes to a folder of its own.
    for (const QFileInfo& file : moving) {
        if (aside.exists(file.fileName())) {
            aside.setPath(aside.filePath(Now().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
            break;
        }
    }
    if (!aside.mkpath(QStringLiteral(".")))
        return QStringLiteral("Таблицы прежней версии перенесены, но не удалось создать папку "
                              "«%1»: файлы таблиц остались на месте.")
            .arg(FileText(aside.path()));
    QStringList failed;
    for (const QFileInfo& file : moving) {
        if (!QFile::rename(file.filePath(), aside.filePath(file.fileName())))
            failed << FileText(file.filePath());
    }
    if (failed.isEmpty())
        return {};
    return QStringLiteral("Таблицы прежней версии перенесены, но не удалось переместить в папку "
                          "«%1»: %2. Переместите эти файлы сами.")
        .arg(FileText(aside.path()), failed.join(QStringLiteral(", ")));
}
