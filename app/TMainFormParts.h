// What the files of TMainForm share; no other file includes it.
#pragma once

#include "storage/layouts/Layouts.h"
#include "ui/TDBGrid.h"

namespace MainFormParts {

using Layouts::FioField;
using Layouts::AccntField;
using Layouts::AmountField;
using Layouts::OrgField;
using Layouts::ExportField;
using Layouts::OrgNameField;

// Keeps the grid from following the employee view during a pass over every row.
class ControlsLock final
{
public:
    explicit ControlsLock(TDBGrid* grid) : m_grid(grid) { m_grid->DisableControls(); }
    ~ControlsLock() { m_grid->EnableControls(); }
    ControlsLock(const ControlsLock&) = delete;
    ControlsLock& operator=(const ControlsLock&) = delete;

private:
    TDBGrid* m_grid;
};

// While the tables are closed by a server that does not answer: how often it is asked.
constexpr int RetryTickMs = 500;
constexpr int ServerQuestionSpacingMs = 3000;

} // namespace MainFormParts
