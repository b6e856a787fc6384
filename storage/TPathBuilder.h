#pragma once

#include <QString>

// Composes every folder and file path of the program's data tree. Nothing is cached:
// each call asks the platform again. Every folder text ends with the path separator.
class TPathBuilder final
{
public:
    TPathBuilder() = delete;

    static QString GetEmployeeDBPath();
    static QString GetSettingsDBPath();
    static QString GetSessionDBPath();
    static QString GetOutTxtPath(const QString& org);
    static QString GetOutWordPath(const QString& org);
    // The folder the registers and statements are written to.
    static QString GetOutPath();
    // The office's own templates, shared by every user and kept across upgrades.
    static QString GetTemplatesPath();

private:
    static QString GetBasePath();
    static QString GetDataPath();
};
