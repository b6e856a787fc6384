#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The file-open dialog. Filter holds "description|pattern" pairs joined by "|".
// Tests replace what the dialog shows with a chooser of their own.
class TOpenDialog final
{
public:
    QString Filter;
    QString InitialDir; // where the dialog starts; empty: the dialog's own choice
    QString FileName; // the full path of the chosen file after Execute returned true

    // Shows the dialog; false when the user cancelled it.
    bool Execute(QWidget* parent);

    // Answers in place of the dialog: a path, or nothing for a cancelled choice.
    using Chooser = std::function<std::optional<QString>(const TOpenDialog&)>;
    // An empty chooser restores the real dialog.
    static void SetChooser(Chooser chooser);

    // The filter as the Qt dialog writes it: "Database files (*.dbf)".
    QString QtFilter() const;
};
