// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The system calls through which the table layer changes its files: every write and every cut of a
// table file goes through these. The program never changes them; tests put their own in place to
// make a write fail, come up short or stop the process part way. Private to src/tables/ and its
// tests.

#include <sys/types.h>

#include <cstddef>

namespace mirevant::dbf {

struct WriteCalls {
  ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
  int (*ftruncate)(int fd, off_t length);
};

// The calls in use; the system's own unless a test replaced them.
WriteCalls& writeCalls();

}  // namespace mirevant::dbf
