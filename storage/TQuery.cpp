#include "storage/TQuery.h"

#include "storage/StoreConnection.h"
#include "storage/TSession.h"

void TQuery::ExecSQL()
{
    Session().Connect(m_folder, true)->Exec(SQL);
}
