#include "ui/TDBEdit.h"

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/TDataSource.h"

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] {
        Guarded([this] {
            TTable* table = m_source ? m_source->DataSet() : nullptr;
            if (table && table->GetState() == TTable::State::Browse)
                table->Edit();
        });
        m_edited = true;
    });
}

void TDBEdit::SetDataSource(TDataSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &TDataSource::DataChanged, this, &TDBEdit::ShowField);
        connect(m_source, &TDataSource::DataSetReplaced, this, &TDBEdit::ShowField);
        connect(m_source, &TDataSource::StateChanged, this, [this] {
            // Text typed for a row that was stored or dropped meanwhile is not kept.
            TTable* table = m_source->DataSet();
            if (!table || (table->GetState() != TTable::State::Edit &&
                           table->GetState() != TTable::State::Insert))
                m_edited = false;
            ShowField();
        });
    }
    ShowField();
}

void TDBEdit::SetDataField(const QString& field)
{
    m_field = field;
    ShowField();
}

void TDBEdit::SetRule(KeyRules::Rule rule, const QString& caption)
{
    delete m_filter;
    m_filter = new KeyRules::TypedCharFilter(rule, this, caption);
}

void TDBEdit::UpdateRecord()
{
    if (!m_edited)
        return;
    TTable* table = m_source ? m_source->DataSet() : nullptr;
    if (!table || !table->Active() || table->FindField(m_field) < 0)
        return;
    if (table->GetState() == TTable::State::Browse)
        table->Edit();
    m_edited = false;
    table->FieldByName(m_field).SetAsString(text());
}

void TDBEdit::focusOutEvent(QFocusEvent* event)
{
    Guarded([this] { UpdateRecord(); });
    QLineEdit::focusOutEvent(event);
}

void TDBEdit::ShowField()
{
    TTable* table = m_source ? m_source->DataSet() : nullptr;
    if (!table || !table->Active() || table->FindField(m_field) < 0) {
        setText(QString());
        m_edited = false;
        return;
    }
    const TField field = table->FieldByName(m_field);
    if (field.Size() > 0)
        setMaxLength(field.Size());
    if (m_edited)
        return; // keep the user's text until it is written
    const QString value = field.AsString();
    if (value != text())
        setText(value);
}
