// Bounded copies into the library's fixed text fields.
#pragma once

#include <cstddef>

// Copies at most `length` characters of `source` (fewer at a NUL), cut to
// capacity-1, and terminates. Returns the characters copied.
size_t CopyText(char* destination, size_t capacity, const char* source, size_t length);

// Clears a buffer that held a secret, in a way the compiler keeps.
void WipeText(char* buffer, size_t size);
