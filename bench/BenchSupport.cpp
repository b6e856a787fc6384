#include "bench/BenchSupport.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QStringList>

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdlib>
#include <stdexcept>

#include "storage/engine/sqlite/Collation.h"
#include "storage/layouts/Layouts.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/StoreRows.h"

std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

long MaxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void CreateEmployeeTable(const QString& folder)
{
    TTable table;
    table.SetDatabaseName(folder);
    table.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    table.FieldDefs() = Layouts::EmployeeFields();
    table.IndexDefs() = Layouts::EmployeeIndexes();
    table.CreateTable();
    Session().CloseAll();
}

TempStore::TempStore()
    : folder(dir.path() + QLatin1Char('/')), file(folder + QStringLiteral("store.sqlite3"))
{
}

std::unique_ptr<TempStore> EmptyStore()
{
    auto store = std::make_unique<TempStore>();
    CreateEmployeeTable(store->folder);
    return store;
}

BenchDataFolder::BenchDataFolder(const QByteArray& serverConf)
{
    if (!serverConf.isEmpty()) {
        QFile conf(DataDir() + QLatin1String("server.conf"));
        if (!conf.open(QIODevice::WriteOnly) || conf.write(serverConf + '\n') < 0)
            throw std::runtime_error("server.conf not written");
    }
    StoreRows::CreateEmployees(DataDir());
    StoreRows::CreateOrganizations(DataDir());
    TRegisterJournal(DataDir()).Ensure(); // exports keep their files in it, as at start-up
    Session().CloseAll();
}

BenchServer* BenchServer::Shared()
{
    static BenchServer* server = []() -> BenchServer* {
        const QByteArray base = qgetenv("PELLOMAR_BENCH_SERVER");
        if (base.isEmpty())
            return nullptr;
        auto* s = new BenchServer;
        s->m_base = base;
        s->m_raw = PQconnectdb(base.constData());
        if (PQstatus(s->m_raw) != CONNECTION_OK)
            throw std::runtime_error(PQerrorMessage(s->m_raw));
        s->Exec("SET client_min_messages TO warning");
        std::atexit([] {
            Session().CloseAll();
            BenchServer* self = Shared();
            for (const QByteArray& schema : self->m_schemas)
                self->Exec("DROP SCHEMA " + schema + " CASCADE");
            PQfinish(self->m_raw);
        });
        return s;
    }();
    return server;
}

void BenchServer::Exec(const QByteArray& sql)
{
    PGresult* result = PQexec(m_raw, sql.constData());
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(sql.toStdString() + ": " + PQerrorMessage(m_raw));
}

QByteArray BenchServer::NewSchema(QByteArray* name)
{
    const QByteArray schema = "bench_" + QByteArray::number(QCoreApplication::applicationPid()) +
                              '_' + QByteArray::number(m_schemas.size());
    Exec("CREATE SCHEMA " + schema);
    m_schemas << schema;
    if (name)
        *name = schema;
    return m_base + " options='-c search_path=" + schema + "'";
}

namespace {

void Check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

} // namespace

RawStore::RawStore(const QString& file)
{
    Check(sqlite3_open(file.toUtf8().constData(), &m_db), m_db);
    Check(Collation::Register(m_db), m_db);
    sqlite3_busy_timeout(m_db, 5000);
}

RawStore::~RawStore()
{
    sqlite3_close_v2(m_db);
}

void RawStore::Exec(const char* sql)
{
    Check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), m_db);
}

sqlite3_stmt* RawStore::Prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr), m_db);
    return statement;
}

void RawStore::Bind(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void RawStore::Run(sqlite3_stmt* statement)
{
    Check(sqlite3_step(statement), m_db);
    sqlite3_reset(statement);
}

std::vector<qint64> RawStore::Ids(const char* query)
{
    std::vector<qint64> ids;
    sqlite3_stmt* statement = Prepare(query);
    while (sqlite3_step(statement) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return ids;
}

BenchMessages::BenchMessages(Fail fail) : m_fail(fail)
{
    Messages::SetHandler(this);
}

BenchMessages::~BenchMessages()
{
    Messages::SetHandler(nullptr);
}

bool BenchMessages::Show(Messages::Kind kind, const QString& text, const QString& caption)
{
    return ShowDetailed(kind, text, caption, QString());
}

bool BenchMessages::ShowDetailed(Messages::Kind kind, const QString& text, const QString&,
                                 const QString& details)
{
    ++shown;
    if (m_fail == Fail::OnAny || (m_fail == Fail::OnError && kind == Messages::Kind::Error)) {
        const QString message = details.isEmpty() ? text : text + QStringLiteral(": ") + details;
        throw std::runtime_error(message.toStdString());
    }
    return true;
}

QString RandomName(QRandomGenerator& random)
{
    static const QStringList first = {"ИВАНОВ", "ПЕТРОВА",  "СИДОРОВ",  "КУЗНЕЦОВА", "СМИРНОВ",
                                      "ПОПОВА", "ВАСИЛЬЕВ", "НОВИКОВА", "МОРОЗОВ",   "ЁЛКИНА"};
    static const QStringList second = {"АННА", "ИВАН", "ОЛЬГА", "ПЁТР", "МАРИЯ", "СЕРГЕЙ"};
    return first[random.bounded(first.size())] + QLatin1Char(' ') +
           second[random.bounded(second.size())] + QLatin1Char(' ') +
           QString::number(random.bounded(1000000));
}

const ImportSource& ImportSource::Shared(int records)
{
    static ImportSource* source = [records] {
        auto* s = new ImportSource;
        s->path = s->dir.filePath(QStringLiteral("employees.dbf"));
        QRandomGenerator random(7);
        DbfWriter writer(s->path, DbfWriter::ImportFields());
        for (int i = 0; i < records; ++i) {
            Row row;
            row.fio = RandomName(random);
            row.accnt = "4081781000" + QByteArray::number(1000000000 + i);
            row.amount = QByteArray::number(random.bounded(100000)) + ".00";
            writer.AddEmployee(row.fio, row.amount, row.accnt);
            s->rows.push_back(std::move(row));
        }
        writer.Close();
        return s;
    }();
    return *source;
}

int RunWindowBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Session().CloseAll();
    return 0;
}

void OpenEmployeeView(TTable& view, const QString& folder)
{
    view.SetDatabaseName(folder);
    view.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    view.SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    view.Open();
}
