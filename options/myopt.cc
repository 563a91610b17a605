#include "options/myopt.h"

#include <cstdint>
#include <string_view>

#include "engine/chartype.h"

namespace zaptor {

const char* p_optstr = nullptr;

namespace {

std::int32_t optind_ = 1;  // the next word to deliver; argv[0] is the program

}  // namespace

int my_getopt(int argc, char** argv, std::string_view optstring) {
  p_optstr = nullptr;
  if (optind_ >= argc) return 0;

  const char* word = argv[optind_];
  const std::string_view w = word != nullptr ? std::string_view(word) : std::string_view();
  // is_alnum is ASCII-only whatever the locale says, and rejects ':', so a
  // word can never select the argument marker of the option string.
  if (w.size() >= 2 && w[0] == '-' && is_alnum(w[1])) {
    const std::size_t at = optstring.find(w[1]);
    if (at != std::string_view::npos) {
      const bool takes_argument = at + 1 < optstring.size() && optstring[at + 1] == ':';
      if (takes_argument && optind_ < argc - 1) {
        p_optstr = argv[optind_ + 1];
        optind_ += 2;
      } else {
        ++optind_;
      }
      return static_cast<unsigned char>(w[1]);
    }
  }
  p_optstr = word;
  ++optind_;
  return -1;
}

void my_getopt_reset() { optind_ = 1; }

}  // namespace zaptor
