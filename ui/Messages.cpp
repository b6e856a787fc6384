#include "ui/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace Messages {
namespace {

class BoxHandler final : public Handler
{
public:
    bool Show(Kind kind, const QString& text, const QString& caption) override
    {
        QWidget* parent = QApplication::activeWindow();
        switch (kind) {
        case Kind::Message: {
            QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
            box.exec();
            return true;
        }
        case Kind::Question: {
            QMessageBox box(QMessageBox::Warning, caption, text,
                            QMessageBox::Yes | QMessageBox::No, parent);
            box.setDefaultButton(QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes;
        }
        case Kind::OkCancel: {
            QMessageBox box(QMessageBox::Information, caption, text,
                            QMessageBox::Ok | QMessageBox::Cancel, parent);
            box.setDefaultButton(QMessageBox::Ok);
            return box.exec() == QMessageBox::Ok;
        }
        case Kind::Error: {
            QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
            box.exec();
            return true;
        }
        }
        return false;
    }

    bool ShowDetailed(Kind kind, const QString& text, const QString& caption,
                      const QString& details) override
    {
        if (kind != Kind::Message)
            return Show(kind, text, caption);
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
        box.setDetailedText(details);
        box.exec();
        return true;
    }
};

Handler*& Current()
{
    static Handler* handler = nullptr;
    return handler;
}

Handler& Active()
{
    static BoxHandler real;
    return Current() ? *Current() : real;
}

} // namespace

void SetHandler(Handler* handler)
{
    Current() = handler;
}

void ShowDetailedMessage(const QString& text, const QString& caption, const QString& details)
{
    Active().ShowDetailed(Kind::Message, text, caption, details);
}

void ShowMessage(const QString& text)
{
    Active().Show(Kind::Message, text, ProgramTitle);
}

bool AskYesNo(const QString& text, const QString& caption)
{
    return Active().Show(Kind::Question, text, caption);
}

bool AskOkCancel(const QString& text, const QString& caption)
{
    return Active().Show(Kind::OkCancel, text, caption);
}

void ShowError(const QString& text)
{
    Active().Show(Kind::Error, text, ProgramTitle);
}

void ShowMessage(const QString& text, const QString& caption)
{
    Active().Show(Kind::Message, text, caption);
}

} // namespace Messages
