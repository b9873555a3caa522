// Checks the comma splitter and the drive-path rewrite on any text, the way
// a list option uses them: split the text in place, then rewrite each item.
//
// Input: the text, up to its first NUL. Invariants: the items are the
// non-empty comma-free runs of the text, in order and in place; splitting
// changes nothing but the one comma after each item; a rewrite turns
// //X rest into X:rest and leaves every other name alone; nothing is read or
// written past a text's end (each text sits in an allocation of its exact
// length).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "support.h"

namespace {

// An item as the splitter should give it: where it starts and its bytes.
struct Item {
  std::size_t offset;
  std::string text;
};

std::vector<Item> reference_items(const std::string &s) {
  std::vector<Item> items;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && s[i] != ',') continue;
    if (i > start) items.push_back({start, s.substr(start, i - start)});
    start = i + 1;
  }
  return items;
}

std::string reference_rewrite(const std::string &name) {
  if (name.size() < 2 || name[0] != '/' || name[1] != '/') return name;
  if (name.size() == 2) return "";
  return name.substr(2, 1) + ":" + name.substr(3);
}

// Splits the whole text and checks every item and the bytes around them.
void check_split(const std::string &original) {
  const std::size_t len = original.size();
  const std::unique_ptr<char[]> buffer = exact_text(original.data(), len);
  char *const begin = buffer.get();
  const std::vector<Item> want = reference_items(original);

  std::string expected_bytes = original;
  char *saved = nullptr;
  std::size_t n = 0;
  for (char *item = split_list(begin, &saved); item != nullptr;
       item = split_list(nullptr, &saved), ++n) {
    require(n < want.size(), "more items than the text holds");
    require(item == begin + want[n].offset, "item not in place");
    require(std::strlen(item) == want[n].text.size() &&
                std::memcmp(item, want[n].text.data(), want[n].text.size()) == 0,
            "item differs from the text's comma-free run");
    require(*item != '\0', "empty item");
    require(std::strchr(item, ',') == nullptr, "comma inside an item");
    const std::size_t end = want[n].offset + want[n].text.size();
    if (end < len) expected_bytes[end] = '\0';  // the comma that ended it
    require(saved >= begin && saved <= begin + len,
            "saved position outside the text");
  }
  require(n == want.size(), "fewer items than the text holds");
  require(split_list(nullptr, &saved) == nullptr,
          "an item after the list was done");
  require(std::memcmp(begin, expected_bytes.data(), len + 1) == 0,
          "splitting changed more than the commas after items");

  // Each item rewritten in place, as -p does with its names: only the
  // item's own bytes may change, never those after its end.
  for (const Item &it : want) {
    char *item = begin + it.offset;
    const std::size_t end = it.offset + it.text.size();
    const std::string after(begin + end, len + 1 - end);
    convert_drive_path(item);
    require(reference_rewrite(it.text) == item, "item rewritten wrongly");
    require(std::memcmp(begin + end, after.data(), after.size()) == 0,
            "rewrite touched bytes past the item's end");
  }
}

// Rewrites a text on its own, as is done with the output name.
void check_rewrite(const std::string &original) {
  const std::unique_ptr<char[]> name =
      exact_text(original.data(), original.size());
  convert_drive_path(name.get());
  require(reference_rewrite(original) == name.get(), "name rewritten wrongly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  const auto *p = reinterpret_cast<const char *>(data);
  const std::string text(p, strnlen(p, size));
  check_split(text);
  check_rewrite(text);
  return 0;
}
