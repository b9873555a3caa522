// The little file access both programs need, the same on POSIX and Windows:
// tell a regular file, open one for binary reading without ever blocking,
// take its end position, read its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Outcome of opening a file for reading.
enum class OpenResult { ok, no_such_file, not_regular, cannot_open };

// A file opened by open_regular.
struct ReadableFile {
  int fd = -1;
  std::uint64_t length = 0;  // its size when opened
  int error = 0;             // errno for no_such_file and cannot_open
};

// True when fd is open on a regular file; its size then goes to *length.
bool regular_file_size(int fd, std::uint64_t *length);

// Opens name for binary reading if it is a regular file. A FIFO without a
// writer does not block the open; it is turned away as not regular.
OpenResult open_regular(const char *name, ReadableFile *f);

// Seeks to the end; returns the position, or -1 when it cannot be had.
std::int64_t seek_to_end(const ReadableFile &f);

// Reads up to n bytes; returns how many, 0 at the end, -1 on error (errno).
long read_bytes(const ReadableFile &f, unsigned char *p, std::size_t n);

// Closes the file.
void close_file(ReadableFile *f);
