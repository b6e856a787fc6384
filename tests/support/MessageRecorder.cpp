#include "tests/support/MessageRecorder.h"

#include <QStringList>

MessageRecorder::MessageRecorder()
{
    Messages::SetHandler(this);
}

MessageRecorder::~MessageRecorder()
{
    Messages::SetHandler(nullptr);
}

QStringList MessageRecorder::Texts() const
{
    QStringList texts;
    for (const Shown& shown : m_shown)
        texts << shown.text;
    return texts;
}

bool MessageRecorder::Show(Messages::Kind kind, const QString& text, const QString& caption)
{
    m_shown.append({kind, text, caption});
    if (kind == Messages::Kind::Message || kind == Messages::Kind::Error)
        return true;
    return m_answers.isEmpty() ? true : m_answers.takeFirst();
}

bool MessageRecorder::ShowDetailed(Messages::Kind kind, const QString& text,
                                   const QString& caption, const QString& details)
{
    const bool answer = Show(kind, text, caption);
    m_shown.last().details = details;
    return answer;
}
