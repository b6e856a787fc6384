#pragma once

#include <QList>
#include <QString>

#include "ui/Messages.h"

// Records every message box and answers questions from a script (Yes/OK when it is empty).
class MessageRecorder final : public Messages::Handler
{
public:
    struct Shown
    {
        Messages::Kind kind;
        QString text;
        QString caption;
        QString details = {};
    };

    MessageRecorder();
    ~MessageRecorder() override;

    void SetNextAnswers(QList<bool> answers) { m_answers = std::move(answers); }
    const QList<Shown>& Messages() const { return m_shown; }
    QStringList Texts() const;
    void Clear() { m_shown.clear(); }

    bool Show(Messages::Kind kind, const QString& text, const QString& caption) override;
    bool ShowDetailed(Messages::Kind kind, const QString& text, const QString& caption,
                      const QString& details) override;

private:
    QList<Shown> m_shown;
    QList<bool> m_answers;
};
