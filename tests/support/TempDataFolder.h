#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary common folder for one test: the platform reports it while the object lives.
class TempDataFolder
{
public:
    // withTree: also create the base, data and out folders under it.
    explicit TempDataFolder(bool withTree = true);
    ~TempDataFolder();
    TempDataFolder(const TempDataFolder&) = delete;
    TempDataFolder& operator=(const TempDataFolder&) = delete;

    QString Root() const;    // the replaced common folder
    QString DataDir() const; // ends with a separator
    QString OutDir() const;  // ends with a separator

private:
    QTemporaryDir m_dir;
};
