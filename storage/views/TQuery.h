#pragma once

#include <QString>
#include <QStringList>

// Runs one statement against the store of a folder (column statements, updates).
class TQuery final
{
public:
    void SetDatabaseName(const QString& folder) { m_folder = folder; }
    const QString& DatabaseName() const { return m_folder; }

    QString SQL;
    QStringList Params; // texts bound to ?1, ?2, ... in order; an empty text binds NULL

    void ExecSQL();

private:
    QString m_folder;
};
