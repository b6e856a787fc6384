#pragma once

#include <QString>

#include "ui/FileChooser.h"

class QWidget;

// The file-save dialog, in the shape of the import's open dialog: Filter holds
// "description|pattern" pairs joined by "|".
class TSaveDialog final : public FileChooser<TSaveDialog>
{
public:
    QString Title;
    QString Filter;
    QString FileName; // the name offered; the full path chosen after Execute returned true

    // Shows the dialog (asking before it replaces a file); false when the user cancelled it.
    bool Execute(QWidget* parent);
};
