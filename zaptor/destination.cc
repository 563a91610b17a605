#include "zaptor/destination.h"

#include <filesystem>
#include <system_error>

namespace zaptor {

std::string derived_destination(std::string_view src) {
  const std::size_t slash = src.rfind('/');
  const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = src.find('.', base);
  std::string dst(src.substr(0, dot));
  dst.append(".win");
  return dst;
}

bool is_same_file(const std::string& src, const std::string& dst) {
  if (src == dst) return true;
  std::error_code error;
  return std::filesystem::equivalent(src, dst, error) && !error;
}

}  // namespace zaptor
