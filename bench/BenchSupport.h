#pragma once

#include <QString>

#include <cstddef>

// Bytes currently allocated on the heap (glibc's mallinfo2), for memory figures.
std::size_t HeapInUse();

// Creates the employee table in the current layout in folder and closes the store again.
void CreateEmployeeTable(const QString& folder);
