#pragma once

#include <QString>

#include "ui/FileChooser.h"

class QWidget;

// The file-open dialog. Filter holds "description|pattern" pairs joined by "|".
class TOpenDialog final : public FileChooser<TOpenDialog>
{
public:
    QString Filter;
    QString InitialDir; // where the dialog starts; empty: the dialog's own choice
    QString FileName; // the full path of the chosen file after Execute returned true

    // Shows the dialog; false when the user cancelled it.
    bool Execute(QWidget* parent);

    // The filter as the Qt dialog writes it: "Database files (*.dbf)".
    QString QtFilter() const;
};
