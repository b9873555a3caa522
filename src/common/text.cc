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
  const unsigned u = static_cast<unsigned char>(c);
  if (u - '0' < 10) return u - '0';
  // Setting bit 5 folds upper case onto lower case and nothing else onto
  // a to z.
  const unsigned letter = (u | 0x20) - 'a';
  return letter < 26 ? letter + 10 : 36;
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
    // In 64 bits the step cannot wrap: value and d are below 2^32 and the
    // radix at most 36.
    const std::uint64_t next = std::uint64_t{value} * radix + d;
    if (next > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;
    } else {
      value = static_cast<std::uint32_t>(next);
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

char *format_hex32(char *out, std::uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  out[0] = '0';
  out[1] = 'x';
  for (std::size_t i = HEX32_SIZE; i > 2; v >>= 4) out[--i] = digits[v & 15];
  return out + HEX32_SIZE;
}

char *format_decimal(char *out, std::size_t v) {
  std::size_t digits = 1;
  for (std::size_t rest = v; rest >= 10; rest /= 10) ++digits;
  char *const end = out + digits;
  for (char *at = end; at != out; v /= 10)
    *--at = static_cast<char>('0' + v % 10);
  return end;
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
