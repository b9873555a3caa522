#include "common/file.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

OpenResult open_failure(int error) {
  return error == ENOENT || error == ENOTDIR ? OpenResult::no_such_file
                                             : OpenResult::cannot_open;
}

}  // namespace

#ifdef _WIN32

bool regular_file_size(int fd, std::uint64_t *length) {
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)
    return false;
  *length = static_cast<std::uint64_t>(st.st_size);
  return true;
}

OpenResult open_regular(const char *name, ReadableFile *f) {
  f->fd = _open(name, _O_RDONLY | _O_BINARY);
  if (f->fd < 0) {
    f->error = errno;
    // Windows refuses to open a directory at all.
    struct _stat64 st;
    if (f->error == EACCES && _stat64(name, &st) == 0 &&
        (st.st_mode & _S_IFMT) != _S_IFREG)
      return OpenResult::not_regular;
    return open_failure(f->error);
  }
  if (!regular_file_size(f->fd, &f->length)) {
    close_file(f);
    return OpenResult::not_regular;
  }
  return OpenResult::ok;
}

std::int64_t seek_to_end(const ReadableFile &f) {
  return _lseeki64(f.fd, 0, SEEK_END);
}

long read_bytes(const ReadableFile &f, unsigned char *p, std::size_t n) {
  const unsigned chunk = n > INT_MAX ? INT_MAX : static_cast<unsigned>(n);
  return _read(f.fd, p, chunk);
}

void close_file(ReadableFile *f) {
  _close(f->fd);
  f->fd = -1;
}

#else

bool regular_file_size(int fd, std::uint64_t *length) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *length = static_cast<std::uint64_t>(st.st_size);
  return true;
}

OpenResult open_regular(const char *name, ReadableFile *f) {
  // O_NONBLOCK keeps a FIFO without a writer from hanging the open; the
  // type check then turns it away with every other non-regular file.
  f->fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (f->fd < 0) {
    f->error = errno;
    return open_failure(f->error);
  }
  if (!regular_file_size(f->fd, &f->length)) {
    close_file(f);
    return OpenResult::not_regular;
  }
  return OpenResult::ok;
}

std::int64_t seek_to_end(const ReadableFile &f) {
  return lseek(f.fd, 0, SEEK_END);
}

long read_bytes(const ReadableFile &f, unsigned char *p, std::size_t n) {
  ssize_t got;
  do got = read(f.fd, p, n);
  while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

void close_file(ReadableFile *f) {
  close(f->fd);
  f->fd = -1;
}

#endif
