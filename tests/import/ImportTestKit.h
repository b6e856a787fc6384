#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "tests/support/DbfWriter.h"

// A folder of dBASE files for one test.
class DbfFolder
{
public:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // A file of the import layout written with shapelib; fill adds its records.
    QString Make(const QString& name, const std::function<void(DbfWriter&)>& fill,
                 const std::vector<DbfWriter::Field>& fields = DbfWriter::ImportFields()) const
    {
        const QString path = Path(name);
        DbfWriter writer(path, fields);
        fill(writer);
        writer.Close();
        return path;
    }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = Path(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
        return file.readAll();
    }

private:
    QTemporaryDir m_dir;
};

// Little-endian header words of a dBASE file.
inline void PutWord(QByteArray& bytes, int at, unsigned value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

inline void PutDoubleWord(QByteArray& bytes, int at, quint32 value)
{
    PutWord(bytes, at, value & 0xFFFF);
    PutWord(bytes, at + 2, value >> 16);
}

// The committed fixtures.
inline QString TestData(const QString& name)
{
    return QDir(QString::fromLocal8Bit(qgetenv("TESTDATA"))).filePath(name);
}
