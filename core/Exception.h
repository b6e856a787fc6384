#pragma once

#include <QString>

#include <exception>

// Base of every error the program reports to the user: carries a readable message.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Ends the operation in progress silently; the error boundary swallows it.
class EAbort : public Exception
{
public:
    EAbort();
};

// An error of the table store. Kind tells the callers' rules apart; ResultCode is SQLite's.
class EDatabaseError : public Exception
{
public:
    enum class Kind {
        General,
        KeyViolation,  // a unique or primary index refused the row; IndexName() names it
        TableMissing,  // the table (or its store file) does not exist
        RequiredBlank, // a required field was blank
        Locked,        // another process held the store longer than the busy timeout
        Damaged,       // the store file is not a database or is corrupt
        RecordChanged, // the row was changed or deleted by someone else since it was read
    };

    EDatabaseError(QString message, Kind kind = Kind::General, int resultCode = 0,
                   QString indexName = {});

    Kind ErrorKind() const noexcept { return m_kind; }
    bool IsKeyViolation() const noexcept { return m_kind == Kind::KeyViolation; }
    int ResultCode() const noexcept { return m_resultCode; }
    const QString& IndexName() const noexcept { return m_indexName; }

private:
    Kind m_kind;
    int m_resultCode;
    QString m_indexName;
};

// A text that cannot be read as the number a routine needs.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};
