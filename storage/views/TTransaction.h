#pragma once

#include <QString>

#include <memory>

class StoreConnection;

// A transaction over the store of one folder: every write inside it costs no commit of
// its own. Commit() ends it; leaving the scope commits too, unless an exception is
// unwinding. While unwinding, Atomic rolls back everything done inside the scope and
// KeepDone commits the rows stored before the failure. Nested scopes are savepoints.
class TTransaction final
{
public:
    enum class Mode { Atomic, KeepDone };

    explicit TTransaction(const QString& folder, Mode mode = Mode::Atomic);
    ~TTransaction() noexcept(false);
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    void Commit();
    void Rollback();

private:
    std::shared_ptr<StoreConnection> m_connection;
    Mode m_mode;
    int m_uncaught;
    bool m_open = true;
};
