#pragma once

#include <QString>

// Runs one statement against the store of a folder (column statements, updates).
class TQuery final
{
public:
    void SetDatabaseName(const QString& folder) { m_folder = folder; }
    const QString& DatabaseName() const { return m_folder; }

    QString SQL;

    void ExecSQL();

private:
    QString m_folder;
};
