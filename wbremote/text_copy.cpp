// Bounded text copies.
#include "wbremote/text_copy.h"

#include <cstring>

size_t CopyText(char* destination, size_t capacity, const char* source, size_t length) {
  if (capacity == 0) return 0;
  size_t n = source ? strnlen(source, length) : 0;
  if (n > capacity - 1) n = capacity - 1;
  if (n) memcpy(destination, source, n);
  destination[n] = '\0';
  return n;
}

void WipeText(char* buffer, size_t size) {
  volatile char* p = buffer;
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}
