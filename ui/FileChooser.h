#pragma once

#include <QDir>
#include <QString>

#include <functional>
#include <optional>

// The seam of a file dialog: tests answer in place of the dialog with a chooser of their own.
template <class Dialog>
class FileChooser
{
public:
    // Answers in place of the dialog: a path, or nothing for a cancelled choice.
    using Chooser = std::function<std::optional<QString>(const Dialog&)>;
    // An empty chooser restores the real dialog.
    static void SetChooser(Chooser chooser) { Current() = std::move(chooser); }

protected:
    // The chooser's answer, or show()'s where there is none, with native separators; empty
    // for a cancelled choice.
    QString Choose(const std::function<QString()>& show) const
    {
        const std::optional<QString> chosen =
            Current() ? Current()(static_cast<const Dialog&>(*this)) : show();
        return chosen ? QDir::toNativeSeparators(*chosen) : QString();
    }

private:
    static Chooser& Current()
    {
        static Chooser chooser;
        return chooser;
    }
};
