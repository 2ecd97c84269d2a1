// The C library's own functions behind the ones the test device answers in their place.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace libc {
int Open(const char* path, int flags, mode_t mode = 0);
int Close(int fd);
void* Mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
} // namespace libc
