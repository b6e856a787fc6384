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
};

// Installs a handler; nullptr restores the real message boxes.
void SetHandler(Handler* handler);

void ShowMessage(const QString& text);
bool AskYesNo(const QString& text, const QString& caption);
bool AskOkCancel(const QString& text, const QString& caption);
void ShowError(const QString& text);
// A plain message under a caption of its own.
void ShowMessage(const QString& text, const QString& caption);

} // namespace Messages
