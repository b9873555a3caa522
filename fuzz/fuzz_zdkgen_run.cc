// Runs the whole of zdkgen on an argument vector decoded from the input,
// inside a fixture folder that is brought back to one layout before every
// input, with stdout and stderr sent to /dev/null.
//
// Input: words separated by newlines or NULs (a final newline ends the last
// word). A word _PYMSYSCFG1=value or WEK_DEBUG_STARTUP=value sets that
// variable for the run; every other word goes on the command line after the
// program name. Words are made safe before the run so that no name can
// leave the fixture: a ".." loses its second dot, and a name (a word, or an
// item after a comma) may begin with a slash only as //X with X not a slash,
// which the tool rewrites to the relative X:. After the run, the folder the
// fixture sits in must still hold the fixture alone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/run.h"
#include "common/console.h"
#include "support.h"

namespace {

constexpr const char *STICKY_VARIABLE = "_PYMSYSCFG1";
constexpr const char *HALT_VARIABLE = "WEK_DEBUG_STARTUP";
constexpr std::size_t MAX_WORDS = 64;

std::string g_root;     // private folder that holds the fixture only
std::string g_fixture;  // the run's working directory
std::FILE *g_sink = nullptr;
int g_fifo_reader = -1;  // keeps the FIFO open so a write to it cannot block

void die(const char *what) {
  std::perror(what);
  std::abort();
}

// One path of the fixture and what it must be.
enum class Kind { file, dir, fifo };
struct FixtureEntry {
  const char *path;
  Kind kind;
  off_t size;  // files only; sparse, so large ones cost nothing
};

// Process files of several sizes, two past 0xFFFFFFFF bytes, a folder, a
// FIFO and a c: folder for rewritten names; parents before children.
constexpr FixtureEntry FIXTURE[] = {
    {"a", Kind::file, 0x25},
    {"b", Kind::file, 0},
    {"x", Kind::file, 5},
    {"big", Kind::file, 0xFFFFFFFF},
    {"over", Kind::file, 0x100000000},
    {"huge", Kind::file, off_t{5} << 30},
    {"d", Kind::dir, 0},
    {"fifo", Kind::fifo, 0},
    {"c:", Kind::dir, 0},
    {"c:/img", Kind::dir, 0},
    {"c:/img/a.elf", Kind::file, 0x25},
    {"c:/out", Kind::dir, 0},
};

void make_entry(const FixtureEntry &e) {
  if (e.kind == Kind::dir) {
    if (mkdir(e.path, 0755) != 0) die(e.path);
  } else if (e.kind == Kind::fifo) {
    if (mkfifo(e.path, 0644) != 0) die(e.path);
  } else {
    const int fd = open(e.path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, e.size) != 0 || close(fd) != 0) die(e.path);
  }
}

bool entry_intact(const FixtureEntry &e) {
  struct stat st;
  if (lstat(e.path, &st) != 0) return false;
  switch (e.kind) {
    case Kind::dir: return S_ISDIR(st.st_mode);
    case Kind::fifo: return S_ISFIFO(st.st_mode);
    case Kind::file: return S_ISREG(st.st_mode) && st.st_size == e.size;
  }
  return false;
}

bool in_fixture(const std::string &path) {
  for (const FixtureEntry &e : FIXTURE)
    if (path == e.path) return true;
  return false;
}

// Removes whatever a run added inside the fixture's folders.
void remove_additions() {
  std::error_code ec;
  for (const char *folder : {".", "d", "c:", "c:/img", "c:/out"}) {
    const std::string prefix =
        std::strcmp(folder, ".") == 0 ? "" : std::string(folder) + "/";
    std::vector<std::string> extra;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec)) {
      const std::string path = prefix + entry.path().filename().string();
      if (!in_fixture(path)) extra.push_back(path);
    }
    for (const std::string &path : extra) std::filesystem::remove_all(path, ec);
  }
}

// Brings the fixture back to its layout: cheaply when a run only added a
// file, anew when it changed or removed one of the fixture's own entries.
void restore_fixture() {
  remove_additions();
  bool intact = true;
  for (const FixtureEntry &e : FIXTURE) intact = intact && entry_intact(e);
  if (intact) return;
  if (g_fifo_reader >= 0) close(g_fifo_reader);
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(".", ec))
    std::filesystem::remove_all(entry.path(), ec);
  for (const FixtureEntry &e : FIXTURE) make_entry(e);
  g_fifo_reader = open("fifo", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (g_fifo_reader < 0) die("fifo");
}

void remove_root() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

// True when the folder above the fixture holds nothing but the fixture.
bool root_holds_fixture_only() {
  DIR *dir = opendir(g_root.c_str());
  if (dir == nullptr) return false;
  bool only = true;
  while (const dirent *e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name != "fixture") only = false;
  }
  closedir(dir);
  return only;
}

// Makes a word safe to use as a name, as the file header says.
void make_safe(std::string *w) {
  for (std::size_t i = 1; i < w->size(); ++i)
    if ((*w)[i] == '.' && (*w)[i - 1] == '.') (*w)[i] = '_';
  for (std::size_t s = 0; s < w->size(); ++s) {
    if (s != 0 && (*w)[s - 1] != ',') continue;  // not the start of a name
    if ((*w)[s] != '/') continue;
    if (s + 1 >= w->size() || (*w)[s + 1] != '/')
      (*w)[s] = '_';
    else if (s + 2 < w->size() && (*w)[s + 2] == '/')
      (*w)[s + 2] = '_';
  }
}

// Splits the input into words; a final separator ends the last word.
std::vector<std::string> decode_words(const char *p, std::size_t size) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < size && words.size() < MAX_WORDS; ++i) {
    if (p[i] == '\n' || p[i] == '\0') {
      words.push_back(word);
      word.clear();
    } else {
      word += p[i];
    }
  }
  if (!word.empty() && words.size() < MAX_WORDS) words.push_back(word);
  return words;
}

// Takes a VARIABLE=value word into the environment; false for other words.
bool take_variable(const std::string &w) {
  for (const char *name : {STICKY_VARIABLE, HALT_VARIABLE}) {
    const std::size_t n = std::strlen(name);
    if (w.size() > n && w.compare(0, n, name) == 0 && w[n] == '=') {
      if (setenv(name, w.c_str() + n + 1, 1) != 0) die("setenv");
      return true;
    }
  }
  return false;
}

void drain_fifo() {
  char buffer[4096];
  while (read(g_fifo_reader, buffer, sizeof buffer) > 0) {
  }
}

// The run works inside its fixture folder, so libFuzzer's own paths (the
// corpus folders, the artifact prefix, the dictionary) given relative to
// where it was started are made absolute before it reads them.
void make_paths_absolute(int *argc, char ***argv) {
  static std::vector<std::string> words;
  static std::vector<char *> pointers;
  const std::string here = std::filesystem::current_path().string() + "/";
  for (int i = 0; i < *argc; ++i) {
    std::string w = (*argv)[i];
    std::size_t at = std::string::npos;  // where the path begins
    if (i > 0 && !w.empty() && w[0] != '-') at = 0;
    for (const char *flag :
         {"-artifact_prefix=", "-exact_artifact_path=", "-dict="})
      if (w.rfind(flag, 0) == 0) at = std::strlen(flag);
    if (at != std::string::npos && at < w.size() && w[at] != '/')
      w.insert(at, here);
    words.push_back(w);
  }
  for (std::string &w : words) pointers.push_back(w.data());
  pointers.push_back(nullptr);
  *argv = pointers.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  make_paths_absolute(argc, argv);
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") +
                        "/zdkgen-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) die("mkdtemp");
  g_root = pattern;
  g_fixture = g_root + "/fixture";
  if (mkdir(g_fixture.c_str(), 0700) != 0) die("fixture");
  if (chdir(g_fixture.c_str()) != 0) die("chdir");
  std::atexit(remove_root);
  g_sink = std::fopen("/dev/null", "w");
  if (g_sink == nullptr) die("/dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  restore_fixture();
  unsetenv(STICKY_VARIABLE);
  unsetenv(HALT_VARIABLE);

  // Each word in its own allocation of exact length, as argv words are.
  std::vector<std::unique_ptr<char[]>> owned;
  static char program[] = "zdkgen";
  std::vector<char *> argv{program};
  for (std::string &w :
       decode_words(reinterpret_cast<const char *>(data), size)) {
    if (take_variable(w)) continue;
    make_safe(&w);
    owned.push_back(exact_text(w.data(), w.size()));
    argv.push_back(owned.back().get());
  }
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);

  Console con;
  con.out = g_sink;
  con.err = g_sink;
  const int status = run_zdkgen(argc, argv.data(), con);
  require(status == 0 || status == 1, "exit status neither 0 nor 1");
  require(std::fflush(g_sink) == 0, "the sink stream failed");
  require(root_holds_fixture_only(), "the run wrote outside its fixture");
  drain_fifo();
  unsetenv(STICKY_VARIABLE);
  unsetenv(HALT_VARIABLE);
  return 0;
}
