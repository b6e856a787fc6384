#pragma once

#include <QString>

// Every message box of the program goes through here, so tests can record and answer them.
namespace Messages {

inline const QString ProgramTitle = QStringLiteral("Ведомость");

enum class Kind {
    Message,  // the text, no icon, OK; titled with the program's title
    Question, // Yes and No, Yes the default, warning icon, own caption
    OkCancel, // information icon, OK and Cancel
    Error,    // an error box with the error's message
};

// The seam: the real one shows QMessageBox; tests install a recorder.
class Handler
{
public:
    virtual ~Handler() = default;
    // Returns true for Yes or OK.
    virtual bool Show(Kind kind, const QString& text, const QString& caption) = 0;
    // A box whose details (the reason of a failure) the user opens on request.
    virtual bool ShowDetailed(Kind kind, const QString& text, const QString& caption,
                              const QString& details)
    {
        (void)details;
        return Show(kind, text, caption);
    }
};

// Installs a handler; nullptr restores the real message boxes.
void SetHandler(Handler* handler);

// A plain message under its own caption, with no owner window, whose details are shown on
// request.
void ShowDetailedMessage(const QString& text, const QString& caption, const QString& details);

void ShowMessage(const QString& text);
// A plain message under a caption of its own.
void ShowMessage(const QString& text, const QString& caption);
bool AskYesNo(const QString& text, const QString& caption);
bool AskOkCancel(const QString& text, const QString& caption);
void ShowError(const QString& text);

} // namespace Messages
