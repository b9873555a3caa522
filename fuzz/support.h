// What every fuzz target shares: reporting a broken invariant, and texts
// held in allocations of exactly their length so that the sanitizer catches
// any read or write past their end.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// Aborts with what when ok is false; libFuzzer records that as a finding.
inline void require(bool ok, const char *what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// A copy of the first len bytes at p and a closing NUL, in an allocation of
// exactly len + 1 bytes.
inline std::unique_ptr<char[]> exact_text(const char *p, std::size_t len) {
  std::unique_ptr<char[]> t(new char[len + 1]);
  std::memcpy(t.get(), p, len);
  t[len] = '\0';
  return t;
}
