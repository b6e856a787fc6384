#include "storage/engine/postgres/PgStore.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

#include <libpq-fe.h>

#include "storage/engine/postgres/ServerReason.h"
#include "storage/engine/TableSchema.h"

using TableSchema::Quoted;

namespace {

const char* const HiddenRowid = "rowid";

// "?1" as libpq writes it, "$1"; quoted texts and names are left alone.
QByteArray ServerParameters(const QString& sql, int& count)
{
    QString out;
    out.reserve(sql.size());
    QChar quote;
    count = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            qsizetype end = i + 1;
            while (end < sql.size() && sql.at(end).isDigit())
                ++end;
            const int number = end > i + 1 ? sql.mid(i + 1, end - i - 1).toInt() : count + 1;
            count = std::max(count, number);
            out += QLatin1Char('$') + QString::number(number);
            i = end - 1;
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

bool IsQuery(const QString& sql)
{
    static const QRegularExpression dml(
        QStringLiteral("^\\s*(SELECT|INSERT|UPDATE|DELETE|WITH)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return dml.match(sql).hasMatch();
}

// The table a write names, as the statement spells it; empty for any other statement.
QString WrittenTable(const QString& sql)
{
    static const QRegularExpression write(
        QStringLiteral(
            "^\\s*(?:INSERT\\s+INTO|UPDATE|DELETE\\s+FROM)\\s+(\"(?:[^\"]|\"\")+\"|[^\\s\"(]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = write.match(sql);
    if (!match.hasMatch())
        return {};
    QString table = match.captured(1);
    if (table.startsWith(QLatin1Char('"')))
        table = table.mid(1, table.size() - 2).replace(QLatin1String("\"\""), QLatin1String("\""));
    return table;
}

class PgStatement final : public StoreStatement
{
public:
    PgStatement(PgConnection& connection, const QString& sql) : m_connection(connection), m_sql(sql)
    {
        m_text = ServerParameters(sql, m_count);
        m_values.resize(std::size_t(m_count));
        m_null.assign(std::size_t(m_count), true);
        m_written = WrittenTable(sql);
        connection.EnsureConnected();
        if (IsQuery(sql)) {
            m_name = "p" + QByteArray::number(connection.NextStatementNumber());
            PrepareOnServer();
        }
    }

    ~PgStatement() override
    {
        PQclear(m_result);
        if (!m_name.isEmpty() && m_generation == m_connection.Generation() &&
            PQstatus(m_connection.Handle()) == CONNECTION_OK &&
            PQtransactionStatus(m_connection.Handle()) != PQTRANS_INERROR)
            PQclear(PQexec(m_connection.Handle(), "DEALLOCATE \"" + m_name + '"'));
    }

    void BindNull(int index) override { Slot(index), m_null[std::size_t(index - 1)] = true; }
    void BindText(int index, const QString& text) override
    {
        if (text.isEmpty())
            return BindNull(index);
        Slot(index) = text.toUtf8();
        m_null[std::size_t(index - 1)] = false;
    }
    void BindInt(int index, qint64 value) override
    {
        Slot(index) = QByteArray::number(value);
        m_null[std::size_t(index - 1)] = false;
    }
    // Bytes go as bytea's hex text, so every parameter keeps the text format.
    void BindBlob(int index, QByteArrayView bytes) override
    {
        Slot(index) = "\\x" + bytes.toByteArray().toHex();
        m_null[std::size_t(index - 1)] = false;
    }

    bool Step() override
    {
        if (!m_result) {
            m_connection.EnsureConnected();
            if (!m_name.isEmpty() && m_generation != m_connection.Generation())
                PrepareOnServer(); // made before the connection was lost
            auto values = std::vector<const char*>(std::size_t(m_count));
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = m_null[i] ? nullptr : m_values[i].constData();
            PGconn* conn = m_connection.Handle();
            m_result = m_connection.Run(
                [&] {
                    if (m_name.isEmpty())
                        return PQexecParams(conn, m_text.constData(), m_count, nullptr,
                                            values.data(), nullptr, nullptr, 0);
                    return PQexecPrepared(conn, m_name.constData(), m_count, values.data(), nullptr,
                                          nullptr, 0);
                },
                [&] {
                    if (m_name.isEmpty())
                        return PQsendQueryParams(conn, m_text.constData(), m_count, nullptr,
                                                 values.data(), nullptr, nullptr, 0);
                    return PQsendQueryPrepared(conn, m_name.constData(), m_count, values.data(),
                                               nullptr, nullptr, 0);
                },
                m_sql, m_written);
            m_rows = PQresultStatus(m_result) == PGRES_TUPLES_OK ? PQntuples(m_result) : 0;
            m_changes = QByteArray(PQcmdTuples(m_result)).toLongLong();
            m_row = -1;
        }
        if (m_row < m_rows)
            ++m_row;
        return m_row < m_rows;
    }

    void Reset() override
    {
        PQclear(m_result);
        m_result = nullptr;
        m_row = -1;
        m_rows = 0;
        std::fill(m_null.begin(), m_null.end(), true);
    }

    bool IsNull(int column) const override { return PQgetisnull(m_result, m_row, column); }
    qint64 Int(int column) const override
    {
        const char* value = PQgetvalue(m_result, m_row, column);
        if (value[0] == 't')
            return 1;
        if (value[0] == 'f')
            return 0;
        return QByteArray::fromRawData(value, qsizetype(strlen(value))).toLongLong();
    }
    QByteArrayView Utf8(int column) const override
    {
        if (PQgetisnull(m_result, m_row, column))
            return {};
        return QByteArrayView(PQgetvalue(m_result, m_row, column),
                              PQgetlength(m_result, m_row, column));
    }
    QByteArray Blob(int column) const override
    {
        const QByteArrayView text = Utf8(column);
        return text.startsWith("\\x") ? QByteArray::fromHex(text.sliced(2).toByteArray())
                                       : text.toByteArray();
    }
    qint64 Changes() const override { return m_changes; }

private:
    void PrepareOnServer()
    {
        m_generation = m_connection.Generation();
        PQclear(m_connection.Run(
            [&] {
                return PQprepare(m_connection.Handle(), m_name.constData(), m_text.constData(),
                                 m_count, nullptr);
            },
            {}, m_sql, {}));
    }

    QByteArray& Slot(int index)
    {
        if (index <= 0 || index > m_count)
            throw EDatabaseError(QStringLiteral("Параметра %1 нет в запросе.").arg(index));
        return m_values[std::size_t(index - 1)];
    }

    PgConnection& m_connection;
    QString m_sql;
    QByteArray m_text;
    QByteArray m_name; // empty: run unprepared (statements that PREPARE refuses)
    int m_count = 0;
    int m_generation = 0; // of the connection the statement was prepared on
    QString m_written; // the table an INSERT, UPDATE or DELETE writes; empty otherwise
    std::vector<QByteArray> m_values;
    std::vector<bool> m_null;
    PGresult* m_result = nullptr;
    int m_rows = 0;
    int m_row = -1;
    qint64 m_changes = 0;
};

QString ConnectionMessage(PGconn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

QString HostName(PGconn* conn)
{
    const char* host = PQhost(conn);
    return host && *host ? QString::fromUtf8(host) : QStringLiteral("localhost");
}

// more: a sentence said after the reason.
EDatabaseError NoConnection(PGconn* conn, const QString& detail, const QString& more = {})
{
    return EDatabaseError(ServerReason::NoConnection(HostName(conn), detail) + more);
}

QString Field(const PGresult* result, int code)
{
    const char* value = result ? PQresultErrorField(result, code) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

QString ServerType(const TFieldDef& def)
{
    switch (def.DataType) {
    case TFieldType::String:
        return (def.Size > 0 ? QStringLiteral("varchar(%1)").arg(def.Size)
                             : QStringLiteral("text")) +
               QLatin1String(" COLLATE \"C\"");
    case TFieldType::Boolean:
        return QStringLiteral("boolean");
    case TFieldType::Integer:
        return QStringLiteral("bigint");
    case TFieldType::AutoInc:
        return QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    case TFieldType::Blob:
        return QStringLiteral("bytea");
    }
    return {};
}

TFieldDef ParseServerColumn(const QString& name, const QString& type, bool notNull)
{
    TFieldDef def;
    def.Name = name;
    def.Required = notNull;
    if (type == QLatin1String("boolean")) {
        def.DataType = TFieldType::Boolean;
    } else if (type == QLatin1String("bytea")) {
        def.DataType = TFieldType::Blob;
    } else if (type.contains(QLatin1String("int"))) {
        def.DataType = TFieldType::Integer;
    } else {
        static const QRegularExpression size(QStringLiteral("\\((\\d+)\\)"));
        const QRegularExpressionMatch match = size.match(type);
        if (match.hasMatch())
            def.Size = match.captured(1).toInt();
    }
    return def;
}

// The column an index term names: "ru_nocase(\"Fio100\"::text) COLLATE \"C\"" names Fio100.
QString TermColumn(const QString& term)
{
    static const QRegularExpression quoted(QStringLiteral("\"((?:[^\"]|\"\")+)\""));
    static const QRegularExpression bare(QStringLiteral("\\(?([A-Za-z_][A-Za-z0-9_]*)\\b"));
    QString inner = term;
    const qsizetype open = inner.indexOf(QLatin1Char('('));
    if (inner.startsWith(QLatin1String(PgConnection::NoCaseFunction)) && open > 0)
        inner = inner.mid(open + 1);
    QRegularExpressionMatch match = quoted.match(inner);
    if (match.hasMatch() && match.capturedStart() == 0)
        return match.captured(1).replace(QLatin1String("\"\""), QLatin1String("\""));
    match = bare.match(inner);
    return match.hasMatch() ? match.captured(1) : inner;
}

} // namespace

std::shared_ptr<PgConnection> PgConnection::Open(const QString& connectionString, int busyTimeoutMs)
{
    PGconn* conn = PQconnectdb(connectionString.toUtf8().constData());
    if (!conn)
        throw EDatabaseError(QStringLiteral("Нет связи с сервером: недостаточно памяти."));
    if (PQstatus(conn) != CONNECTION_OK) {
        const EDatabaseError error = NoConnection(conn, ConnectionMessage(conn));
        PQfinish(conn);
        throw error;
    }
    const QString where = QStringLiteral("%1 на сервере %2")
                              .arg(QString::fromUtf8(PQdb(conn)), QString::fromUtf8(PQhost(conn)));
    std::shared_ptr<PgConnection> connection(new PgConnection(conn, where, busyTimeoutMs));
    connection->Setup();
    connection->m_schema = connection->QueryText(QStringLiteral("SELECT current_schema()"));
    connection->DropTriggerAnnouncements();
    return connection;
}

QString PgConnection::Unreachable(const QString& connectionString)
{
    PGconn* conn = PQconnectdb(connectionString.toUtf8().constData());
    if (!conn)
        return QStringLiteral("Нет связи с сервером: недостаточно памяти.");
    const QString reason = PQstatus(conn) == CONNECTION_OK
                               ? QString()
                               : NoConnection(conn, ConnectionMessage(conn)).Message();
    PQfinish(conn);
    return reason;
}

PgConnection::PgConnection(pg_conn* conn, QString where, int busyTimeoutMs)
    : StoreConnection(std::move(where)), m_conn(conn), m_busyTimeoutMs(busyTimeoutMs)
{
}

void PgConnection::Setup()
{
    if (PQsetClientEncoding(m_conn, "UTF8") != 0)
        throw Error(nullptr, QStringLiteral("SET client_encoding"));
    Exec(QStringLiteral("SET lock_timeout = %1").arg(std::max(m_busyTimeoutMs, 1)));
    Simple("SET client_min_messages TO warning");
    Exec(QStringLiteral("LISTEN %1").arg(QLatin1String(ChangeChannel)));
}

void PgConnection::EnsureConnected()
{
    if (Depth() > 0)
        return;
    // A server gone since the last command has closed the socket: reading says so.
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken &&
        PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        PQconsumeInput(m_conn);
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken)
        return;
    PQreset(m_conn);
    m_broken = false;
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw NoConnection(m_conn, ConnectionMessage(m_conn));
    ++m_generation;
    m_missedChanges = true;
    Setup();
}

PgConnection::~PgConnection()
{
    PQfinish(m_conn);
}

QString PgConnection::Host() const
{
    return HostName(m_conn);
}

void PgConnection::Simple(const char* sql)
{
    PQclear(PQexec(m_conn, sql)); // a setting of convenience: its failure changes nothing
}

EDatabaseError PgConnection::Error(const pg_result* result, const QString& sql) const
{
    using Kind = EDatabaseError::Kind;
    const QString state = Field(result, PG_DIAG_SQLSTATE);
    QString detail = Field(result, PG_DIAG_MESSAGE_PRIMARY);
    if (detail.isEmpty())
        detail = ConnectionMessage(m_conn);
    // An error libpq made itself (no SQLSTATE) may be the socket closing under it.
    const bool lost = m_broken || state.startsWith(QLatin1String("08")) ||
                      state.startsWith(QLatin1String("57P")) ||
                      (state.isEmpty() && PQconsumeInput(m_conn) == 0) ||
                      PQstatus(m_conn) != CONNECTION_OK;
    if (lost) {
        m_broken = true; // whatever libpq still thinks, the session is over
        // A commit whose answer never came may have been stored or not.
        if (sql.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
            return NoConnection(m_conn, detail,
                                QStringLiteral(" Неизвестно, сохранены ли изменения: проверьте "
                                               "их, когда связь восстановится."));
        return NoConnection(m_conn, detail);
    }
    if (state == QLatin1String("23505")) {
        QString index = Field(result, PG_DIAG_CONSTRAINT_NAME);
        const qsizetype dot = index.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            index = index.mid(dot + 1);
        return EDatabaseError(QStringLiteral("Запись с таким ключом уже существует."),
                              Kind::KeyViolation, 0, index);
    }
    if (state == QLatin1String("23502"))
        return EDatabaseError(QStringLiteral("Не заполнено обязательное поле: %1").arg(detail),
                              Kind::RequiredBlank);
    if (state == QLatin1String("55P03") || state == QLatin1String("40001") ||
        state == QLatin1String("40P01"))
        return EDatabaseError(QStringLiteral("База данных «%1» занята другой программой. "
                                             "Повторите попытку позже.")
                                  .arg(FilePath()),
                              Kind::Locked);
    if (state == QLatin1String("42501"))
        return EDatabaseError(QStringLiteral("Нет прав на запись в «%1».").arg(FilePath()));
    if (state.startsWith(QLatin1String("42")))
        return EDatabaseError(
            QStringLiteral("Ошибка выполнения запроса «%1»: %2").arg(sql, detail));
    return EDatabaseError(QStringLiteral("Ошибка базы данных «%1»: %2").arg(FilePath(), detail));
}

pg_result* PgConnection::Run(const std::function<pg_result*()>& exec,
                             const std::function<int()>& send, const QString& sql,
                             const QString& written)
{
    const bool inTransaction = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (inTransaction && !m_announced.isEmpty() &&
        sql.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
        Announce(); // inside the transaction: told to others when, and only if, it commits
    const bool guarded = !written.isEmpty() && send && inTransaction;
    PGresult* result = guarded ? RunInSavepoint(send) : exec();
    const ExecStatusType status = PQresultStatus(result);
    if (result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) {
        if (!written.isEmpty()) {
            m_announced.insert(written);
            if (!inTransaction)
                Announce();
        } else if (PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
            m_announced.clear(); // committed (and told) or rolled back
        }
        return result;
    }
    EDatabaseError error = Error(result, sql);
    PQclear(result);
    if (guarded && PQtransactionStatus(m_conn) == PQTRANS_INERROR)
        PQclear(PQexec(m_conn, "ROLLBACK TO pg_statement; RELEASE pg_statement"));
    throw error;
}

void PgConnection::DropTriggerAnnouncements()
{
    // Tables made by an earlier version announced their writes by a trigger, which made
    // every write in a transaction several times dearer; connections announce them now.
    QStringList drops;
    {
        Statement triggers(
            *this, QStringLiteral("SELECT format('DROP TRIGGER %I ON %I', t.tgname, c.relname) "
                                  "FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                  "WHERE c.relnamespace = current_schema()::regnamespace AND "
                                  "t.tgname LIKE '%.announce'"));
        while (triggers.Step())
            drops << triggers.Text(0);
    }
    try {
        for (const QString& drop : drops)
            Exec(drop);
    } catch (const EDatabaseError&) {
        // Another role's table keeps its trigger: its writes are told twice, which is harmless.
    }
}

void PgConnection::Announce()
{
    // Others refresh the tables named; a lost announcement costs them only the wait for
    // their next refresh, so a failure here is not the write's.
    const QByteArray channel(ChangeChannel);
    for (const QString& table : std::exchange(m_announced, {})) {
        const QByteArray payload = (m_schema + QLatin1Char('.') + table).toUtf8();
        const char* values[] = {channel.constData(), payload.constData()};
        PQclear(PQexecParams(m_conn, "SELECT pg_notify($1, $2)", 2, nullptr, values, nullptr,
                             nullptr, 0));
    }
}

pg_result* PgConnection::RunInSavepoint(const std::function<int()>& send)
{
    // The savepoint, the statement and the release go in one round trip.
    if (PQenterPipelineMode(m_conn) != 1)
        return nullptr;
    PQsendQueryParams(m_conn, "SAVEPOINT pg_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    send();
    PQsendQueryParams(m_conn, "RELEASE pg_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQpipelineSync(m_conn);
    PGresult* statement = nullptr;
    int query = 0;
    for (int ends = 0; ends < 4;) {
        PGresult* result = PQgetResult(m_conn);
        if (!result) {
            ++query, ++ends; // the end of one query's results
            continue;
        }
        if (PQresultStatus(result) == PGRES_PIPELINE_SYNC) {
            PQclear(result);
            break;
        }
        if (query == 1 && !statement)
            statement = result;
        else
            PQclear(result);
    }
    while (PQexitPipelineMode(m_conn) != 1) {
        PGresult* rest = PQgetResult(m_conn);
        if (!rest && PQexitPipelineMode(m_conn) != 1) {
            m_broken = true; // the server went away mid-pipeline
            break;
        }
        PQclear(rest);
    }
    return statement;
}

std::unique_ptr<StoreStatement> PgConnection::Prepare(const QString& sql)
{
    return std::make_unique<PgStatement>(*this, sql);
}

QString PgConnection::FindTable(const QString& name)
{
    Statement statement(*this, QStringLiteral("SELECT relname FROM pg_class WHERE relkind IN "
                                              "('r', 'p') AND relnamespace = "
                                              "current_schema()::regnamespace AND lower(relname) "
                                              "= lower(?1) ORDER BY relname LIMIT 1"));
    statement.BindText(1, TableSchema::BareTableName(name));
    return statement.Step() ? statement.Text(0) : QString();
}

TableSchema::StoredLayout PgConnection::ReadNamedLayout(const QString& storedName)
{
    TableSchema::StoredLayout layout;
    layout.Name = storedName;
    const QString table = Quoted(storedName);
    {
        Statement columns(*this,
                          QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), "
                                         "a.attnotnull, a.attidentity <> '', "
                                         "coalesce(pg_get_expr(d.adbin, d.adrelid), '') "
                                         "FROM pg_attribute a LEFT JOIN pg_attrdef d ON "
                                         "d.adrelid = a.attrelid AND d.adnum = a.attnum "
                                         "WHERE a.attrelid = ?1::regclass AND a.attnum > 0 AND NOT "
                                         "a.attisdropped ORDER BY a.attnum"));
        columns.BindText(1, table);
        while (columns.Step()) {
            const QString name = columns.Text(0);
            const bool identity = columns.Int(3) != 0;
            if (identity && name == QLatin1String(HiddenRowid))
                continue;
            TFieldDef def = ParseServerColumn(name, columns.Text(1), columns.Int(2) != 0);
            if (identity)
                def.DataType = TFieldType::AutoInc;
            layout.Fields.push_back(def);
            layout.Declared << columns.Text(1);
            layout.Defaults << columns.Text(4);
        }
    }
    Statement indexes(*this,
                      QStringLiteral("SELECT c.relname, i.indisunique, i.indisprimary, "
                                     "i.indnatts, i.indexrelid FROM pg_index i JOIN pg_class c ON "
                                     "c.oid = i.indexrelid WHERE i.indrelid = ?1::regclass "
                                     "ORDER BY i.indisprimary DESC, c.oid"));
    indexes.BindText(1, table);
    Statement term(*this, QStringLiteral("SELECT pg_get_indexdef(?1::bigint::oid, ?2::int, true)"));
    const QString prefix = storedName + QLatin1Char('.');
    while (indexes.Step()) {
        TableSchema::StoredIndex index;
        index.StoreName = indexes.Text(0);
        const bool primary = indexes.Int(2) != 0;
        QStringList names;
        bool noCase = false;
        for (int k = 1; k <= int(indexes.Int(3)); ++k) {
            term.BindInt(1, indexes.Int(4));
            term.BindInt(2, k);
            const QString text = term.Step() ? term.Text(0) : QString();
            term.Reset();
            const int field = layout.FindField(TermColumn(text));
            if (field < 0)
                continue;
            const bool fieldNoCase = text.startsWith(QLatin1String(NoCaseFunction));
            index.Fields.push_back(field);
            index.NoCase.push_back(fieldNoCase);
            noCase = noCase || fieldNoCase;
            names << layout.Fields[std::size_t(field)].Name;
        }
        if (index.Fields.empty())
            continue; // the hidden row identity's own key
        const QString fields = names.join(QLatin1Char(';'));
        if (primary && index.Fields.size() == 1 &&
            layout.Fields[std::size_t(index.Fields.front())].DataType == TFieldType::AutoInc) {
            layout.RowidAlias = index.Fields.front();
            layout.Fields[std::size_t(layout.RowidAlias)].Required = true;
            index.StoreName.clear();
        }
        QString name = index.StoreName;
        if (primary)
            name = fields;
        else if (name.startsWith(prefix, Qt::CaseInsensitive))
            name = name.mid(prefix.size());
        index.Def = {name, fields,
                     (primary ? ixPrimary : 0u) | (indexes.Int(1) ? ixUnique : 0u) |
                         (noCase ? ixCaseInsensitive : 0u)};
        layout.Indexes.push_back(std::move(index));
    }
    return layout;
}

QStringList PgConnection::CreateStatements(const QString& table, const TFieldDefs& fields,
                                           const TIndexDefs& indexes)
{
    if (fields.empty())
        throw EDatabaseError(QStringLiteral("Для таблицы «%1» не заданы поля.").arg(table));
    QStringList statements;
    if (QueryText(QStringLiteral("SELECT to_regprocedure('%1(text)') IS NULL")
                      .arg(QLatin1String(NoCaseFunction))) == QLatin1String("t")) {
        // U+10FFFF after е sorts ё after every е-word and before ж.
        statements << QStringLiteral(
                          "CREATE FUNCTION %1(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT "
                          "PARALLEL SAFE AS $$SELECT replace(lower($1 COLLATE \"und-x-icu\"), "
                          "'ё', 'е' || chr(1114111))$$")
                          .arg(QLatin1String(NoCaseFunction));
    }
    QStringList columns;
    bool rowid = false;
    for (const TFieldDef& def : fields) {
        columns << Quoted(def.Name) + QLatin1Char(' ') + ServerType(def) +
                       (def.Required && def.DataType != TFieldType::AutoInc
                            ? QLatin1String(" NOT NULL")
                            : QLatin1String(""));
        rowid = rowid || def.DataType == TFieldType::AutoInc;
    }
    if (!rowid)
        columns.prepend(QLatin1String(HiddenRowid) +
                        QLatin1String(" bigint GENERATED ALWAYS AS IDENTITY UNIQUE"));
    auto keyColumns = [&](const TIndexDef& index, bool* autoInc) {
        QStringList keys;
        const QStringList names = index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& name : names) {
            const auto def = std::find_if(fields.begin(), fields.end(), [&](const TFieldDef& f) {
                return f.Name.compare(name.trimmed(), Qt::CaseInsensitive) == 0;
            });
            if (def == fields.end())
                throw EDatabaseError(QStringLiteral("Поле «%1» индекса таблицы «%2» не определено.")
                                         .arg(name.trimmed(), table));
            if (autoInc)
                *autoInc = names.size() == 1 && def->DataType == TFieldType::AutoInc;
            keys << KeyTerm(Quoted(def->Name),
                            (index.Options & ixCaseInsensitive) &&
                                def->DataType == TFieldType::String,
                            def->DataType != TFieldType::String);
        }
        return keys.join(QLatin1String(", "));
    };
    QStringList indexStatements;
    for (const TIndexDef& index : indexes) {
        bool autoInc = false;
        QString keys = keyColumns(index, &autoInc);
        if ((index.Options & ixPrimary) && autoInc)
            continue; // the identity column's own key
        if ((index.Options & ixPrimary) && !(index.Options & ixCaseInsensitive)) {
            columns << QStringLiteral("CONSTRAINT %1 PRIMARY KEY (%2)")
                           .arg(Quoted(TableSchema::IndexStoreName(table, QStringLiteral("key"))),
                                keys.replace(QLatin1String(" COLLATE \"C\""), QString()));
            continue;
        }
        const bool unique = (index.Options & (ixPrimary | ixUnique)) != 0;
        indexStatements << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                               .arg(unique ? QStringLiteral("UNIQUE ") : QString(),
                                    Quoted(TableSchema::IndexStoreName(
                                        table, (index.Options & ixPrimary) ? QStringLiteral("key")
                                                                           : index.Name)),
                                    Quoted(table), keys);
    }
    // Room on each page lets a change of fields outside every index (the export flag, the
    // organisation) stay on its page without new index entries.
    statements << QStringLiteral("CREATE TABLE %1 (%2) WITH (fillfactor = 90)")
                      .arg(Quoted(table), columns.join(QLatin1String(", ")));
    statements << indexStatements;
    return statements;
}

bool PgConnection::RunColumnStatement(const QString& sql)
{
    const QString statement = NamesOfForm(sql);
    if (statement.isEmpty())
        return false;
    Exec(statement);
    return true;
}

QString PgConnection::NamesAsStored(const QString& sql)
{
    const QString statement = NamesOfForm(sql);
    return statement.isEmpty() ? sql : statement;
}

QString PgConnection::NamesOfForm(const QString& sql)
{
    // The column forms and the statements of the dialogs name tables and fields in any
    // letter case, unquoted; the server keeps them as created, so each name is quoted as
    // stored.
    static const QRegularExpression form(
        QStringLiteral(
            "^\\s*(?:ALTER\\s+TABLE|UPDATE|DELETE\\s+FROM)\\s+(\"(?:[^\"]|\"\")+\"|[^\\s\"]+)\\s"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(sql);
    if (!match.hasMatch())
        return {};
    QString tableName = match.captured(1);
    if (tableName.startsWith(QLatin1Char('"')))
        tableName = tableName.mid(1, tableName.size() - 2);
    const QString stored = FindTable(tableName);
    if (stored.isEmpty())
        return {};
    const TableSchema::StoredLayout layout = ReadNamedLayout(stored);
    static const QRegularExpression word(
        QStringLiteral("\"(?:[^\"]|\"\")+\"|'(?:[^']|'')*'|[A-Za-z_][A-Za-z0-9_]*"));
    static const QStringList keywords{
        QStringLiteral("ALTER"),  QStringLiteral("TABLE"),   QStringLiteral("ADD"),
        QStringLiteral("DROP"),   QStringLiteral("COLUMN"),  QStringLiteral("UPDATE"),
        QStringLiteral("SET"),    QStringLiteral("WHERE"),   QStringLiteral("NULL"),
        QStringLiteral("DELETE"), QStringLiteral("FROM"),    QStringLiteral("AND"),
        QStringLiteral("OR"),     QStringLiteral("NOT"),     QStringLiteral("IS"),
        QStringLiteral("TEXT"),   QStringLiteral("BOOLEAN"), QStringLiteral("INTEGER")};
    QString out;
    qsizetype at = 0;
    bool added = false;
    auto it = word.globalMatch(sql, match.capturedStart(1));
    out = sql.left(match.capturedStart(1)) + Quoted(stored);
    at = match.capturedEnd(1);
    it.next();
    while (it.hasNext()) {
        const QRegularExpressionMatch token = it.next();
        out += sql.mid(at, token.capturedStart() - at);
        at = token.capturedEnd();
        QString text = token.captured();
        const QString upper = text.toUpper();
        if (text.startsWith(QLatin1Char('"')) || text.startsWith(QLatin1Char('\''))) {
            out += text;
        } else if (upper == QLatin1String("CHAR") || upper == QLatin1String("VARCHAR")) {
            out += QLatin1String("varchar");
        } else if (keywords.contains(upper)) {
            out += upper == QLatin1String("ADD") ? QStringLiteral("ADD COLUMN") : text;
            added = added || upper == QLatin1String("ADD");
            if (upper == QLatin1String("DROP"))
                out += QLatin1String(" COLUMN");
        } else {
            const auto field =
                std::find_if(layout.Fields.begin(), layout.Fields.end(), [&](const TFieldDef& f) {
                    return f.Name.compare(text, Qt::CaseInsensitive) == 0;
                });
            out += Quoted(field == layout.Fields.end() ? text : field->Name);
        }
    }
    out += sql.mid(at);
    out.replace(QLatin1String("COLUMN COLUMN"), QLatin1String("COLUMN"));
    return out;
}

QString PgConnection::RowidColumn(const TableSchema::StoredLayout& layout) const
{
    if (layout.RowidAlias >= 0)
        return Quoted(layout.Fields[std::size_t(layout.RowidAlias)].Name);
    return QLatin1String(HiddenRowid);
}

QString PgConnection::OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const
{
    return KeyTerm(quotedColumn, noCase, numeric) + QLatin1String(" NULLS FIRST");
}

QString PgConnection::KeyTerm(const QString& quotedColumn, bool noCase, bool numeric) const
{
    if (numeric)
        return quotedColumn;
    if (noCase)
        return QStringLiteral("%1(%2) COLLATE \"C\"")
            .arg(QLatin1String(NoCaseFunction), quotedColumn);
    return quotedColumn + QLatin1String(" COLLATE \"C\"");
}

QString PgConnection::NullSafeEquals() const
{
    return QStringLiteral("IS NOT DISTINCT FROM");
}

QString PgConnection::InsertReturning(const QString& columns) const
{
    return QLatin1String(" RETURNING ") + columns;
}

qint64 PgConnection::LastInsertRowid()
{
    return -1;
}

QStringList PgConnection::TakeChanges()
{
    QStringList tables;
    if (Depth() == 0) {
        // The server went away (a restart, a lost network): listen again as soon as it
        // answers, not at the user's next command. Until then this throws.
        if (!m_broken && PQconsumeInput(m_conn) == 0)
            m_broken = true;
        if (m_broken || PQstatus(m_conn) != CONNECTION_OK) {
            m_broken = true;
            EnsureConnected();
        }
    }
    if (PQconsumeInput(m_conn) == 0)
        return tables;
    if (m_missedChanges && Depth() == 0) {
        // What others wrote while the connection was lost was announced to nobody.
        m_missedChanges = false;
        Statement all(*this, QStringLiteral("SELECT relname FROM pg_class WHERE relkind IN "
                                            "('r', 'p') AND relnamespace = "
                                            "current_schema()::regnamespace"));
        while (all.Step())
            tables << all.Text(0);
    }
    const int self = PQbackendPID(m_conn);
    while (PGnotify* notify = PQnotifies(m_conn)) {
        // "schema.table": stores in other schemas of the database are none of ours.
        const QString payload = QString::fromUtf8(notify->extra);
        const QString table = payload.mid(m_schema.size() + 1);
        if (notify->be_pid != self && payload.startsWith(m_schema + QLatin1Char('.')) &&
            !tables.contains(table))
            tables << table;
        PQfreemem(notify);
    }
    return tables;
}

QString PgConnection::BeginStatement() const
{
    return QStringLiteral("BEGIN");
}

bool PgConnection::InTransaction() const
{
    // A lost connection took its transaction with it.
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return !m_broken && status != PQTRANS_IDLE && status != PQTRANS_UNKNOWN;
}
