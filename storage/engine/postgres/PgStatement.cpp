#include "storage/engine/postgres/PgStore.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <vector>

#include <libpq-fe.h>

namespace {

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

} // namespace

std::unique_ptr<StoreStatement> PgConnection::Prepare(const QString& sql)
{
    return std::make_unique<PgStatement>(*this, sql);
}
