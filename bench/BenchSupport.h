#pragma once

#include <cstddef>

// Bytes currently allocated on the heap (glibc's mallinfo2), for memory figures.
std::size_t HeapInUse();
