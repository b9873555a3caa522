// Checks parse_u32 against a slow reference that reads the same text by the
// conversion rules, with a digit accumulator of unbounded precision, so no
// input is too long for it to know the true magnitude.
//
// Input: byte 0 chooses the base (bit 0: 16, else 0) and the errno the call
// starts with (bit 1: EDOM, else 0); the rest, up to its first NUL, is the
// text, held in an allocation of exactly its length so that a read past its
// end is caught.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "support.h"
#include "common/text.h"

namespace {

// A non-negative number of any size, as base-65536 limbs, lowest first.
struct BigNumber {
  std::vector<std::uint32_t> limbs;
};

// n = n * base + digit.
void multiply_add(BigNumber *n, unsigned base, unsigned digit) {
  std::uint32_t carry = digit;
  for (std::uint32_t &limb : n->limbs) {
    const std::uint32_t v = limb * base + carry;
    limb = v & 0xFFFF;
    carry = v >> 16;
  }
  for (; carry != 0; carry >>= 16) n->limbs.push_back(carry & 0xFFFF);
}

bool fits_u32(const BigNumber &n) {
  for (std::size_t i = 2; i < n.limbs.size(); ++i)
    if (n.limbs[i] != 0) return false;
  return true;
}

std::uint32_t low_u32(const BigNumber &n) {
  std::uint32_t v = 0;
  if (!n.limbs.empty()) v = n.limbs[0];
  if (n.limbs.size() > 1) v |= n.limbs[1] << 16;
  return v;
}

// Value of c as a digit, or 99 when it is none; looked up in a table rather
// than computed.
unsigned reference_digit(char c) {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (c == '\0') return 99;
  const char *hit = std::strchr(digits, c);
  return hit ? static_cast<unsigned>(hit - digits) : 99;
}

struct Expected {
  std::uint32_t value = 0;
  std::size_t stop = 0;  // offset into the text
  bool overflow = false;
};

Expected reference_parse(const char *s, std::size_t len, int base) {
  auto at = [&](std::size_t i) { return i < len ? s[i] : '\0'; };
  std::size_t i = 0;
  while (at(i) != '\0' && std::strchr(" \t\n\v\f\r", at(i)) != nullptr) ++i;
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') negative = at(i++) == '-';
  unsigned radix = static_cast<unsigned>(base);
  const bool prefix = at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X');
  if (prefix && (base == 0 || base == 16)) {
    if (reference_digit(at(i + 2)) >= 16) return Expected{};  // no number
    radix = 16;
    i += 2;
  } else if (base == 0) {
    radix = at(i) == '0' ? 8 : 10;
  }
  BigNumber magnitude;
  const std::size_t first = i;
  for (; reference_digit(at(i)) < radix; ++i)
    multiply_add(&magnitude, radix, reference_digit(at(i)));
  if (i == first) return Expected{};
  Expected e;
  e.stop = i;
  e.overflow = !fits_u32(magnitude);
  e.value = e.overflow ? 0xFFFFFFFFu : low_u32(magnitude);
  if (negative) e.value = 0u - e.value;
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const int base = (data[0] & 1) ? 16 : 0;
  const int errno_before = (data[0] & 2) ? EDOM : 0;
  const auto *body = reinterpret_cast<const char *>(data + 1);
  const std::size_t len = strnlen(body, size - 1);
  const std::unique_ptr<char[]> text = exact_text(body, len);

  const Expected want = reference_parse(text.get(), len, base);
  errno = errno_before;
  const char *stop = nullptr;
  const std::uint32_t got = parse_u32(text.get(), base, &stop);
  const int errno_after = errno;
  require(got == want.value, "value differs from the reference");
  require(stop == text.get() + want.stop, "stop position differs");
  require(errno_after == (want.overflow ? ERANGE : errno_before),
          "errno is not ERANGE on overflow, or was changed otherwise");

  errno = errno_before;
  require(parse_u32(text.get(), base) == got,
          "value depends on whether the stop position is asked for");
  return 0;
}
