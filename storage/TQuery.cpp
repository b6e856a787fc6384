#include "storage/TQuery.h"

#include "storage/StoreConnection.h"
#include "storage/TSession.h"

void TQuery::ExecSQL()
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, true);
    if (Params.isEmpty()) {
        connection->Exec(SQL);
        return;
    }
    Statement statement(connection->Handle(), SQL, connection->FilePath());
    for (qsizetype i = 0; i < Params.size(); ++i)
        statement.BindText(int(i) + 1, Params[i]);
    while (statement.Step()) {
    }
}
