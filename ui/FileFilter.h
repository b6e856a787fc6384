#pragma once

#include <QString>

// A file dialog's filter written as "description|pattern" pairs joined by "|" (patterns of
// one pair joined by ";"), as the Qt dialog writes it: "Таблицы (*.dbf);;Все файлы (*)".
// A description that shows its patterns already is taken as it stands.
QString QtFileFilter(const QString& filter);
