#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The file-save dialog, in the shape of the import's open dialog: Filter holds
// "description|pattern" pairs joined by "|". Tests replace what the dialog shows with a
// chooser of their own.
class TSaveDialog final
{
public:
    QString Title;
    QString Filter;
    QString FileName; // the name offered; the full path chosen after Execute returned true

    // Shows the dialog (asking before it replaces a file); false when the user cancelled it.
    bool Execute(QWidget* parent);

    // Answers in place of the dialog: a path, or nothing for a cancelled choice.
    using Chooser = std::function<std::optional<QString>(const TSaveDialog&)>;
    // An empty chooser restores the real dialog.
    static void SetChooser(Chooser chooser);
};
