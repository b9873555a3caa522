#include "common/text.h"

#include <cerrno>
#include <cstring>

namespace {

// White space is the blank and 0x09 to 0x0D, whatever the locale says.
bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of c as a digit of any base up to 36, or 36 when it is none.
unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A') + 10;
  return 36;
}

bool has_hex_prefix(const char *p) {
  return p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

}  // namespace

std::uint32_t parse_u32(const char *text, int base, const char **stop) {
  const char *p = text;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';

  if (has_hex_prefix(p) && (base == 0 || base == 16)) {
    // A prefix with no hexadecimal digit after it is no number at all,
    // not the number 0.
    if (digit_value(p[2]) >= 16) {
      if (stop) *stop = text;
      return 0;
    }
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = *p == '0' ? 8 : 10;
  }

  const auto radix = static_cast<unsigned>(base);
  const char *first_digit = p;
  std::uint32_t value = 0;
  bool overflow = false;
  for (unsigned d; (d = digit_value(*p)) < radix; ++p) {
    if (overflow) continue;  // pass over the remaining digits
    if (value > (0xFFFFFFFFu - d) / radix) {
      overflow = true;
      value = 0xFFFFFFFFu;
    } else {
      value = value * radix + d;
    }
  }
  if (p == first_digit) {
    if (stop) *stop = text;
    return 0;
  }
  if (overflow) errno = ERANGE;
  if (negative) value = 0u - value;
  if (stop) *stop = p;
  return value;
}

char *split_list(char *text, char **saved) {
  char *p = text ? text : *saved;
  while (*p == ',') ++p;
  if (*p == '\0') {
    *saved = p;
    return nullptr;
  }
  char *item = p;
  while (*p != '\0' && *p != ',') ++p;
  if (*p == ',') *p++ = '\0';
  *saved = p;
  return item;
}

void convert_drive_path(char *name) {
  if (name[0] != '/' || name[1] != '/') return;
  if (name[2] == '\0') {
    name[0] = '\0';
    return;
  }
  name[0] = name[2];
  name[1] = ':';
  std::memmove(name + 2, name + 3, std::strlen(name + 3) + 1);
}
