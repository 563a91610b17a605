// Applies a table entry's format to the arguments of one call.
//
// Only what tables use is interpreted: "%s" with flags, a width and a
// precision written as digits, and "%%". A null argument or a "%s" past the
// last argument formats the empty text; any other conversion is copied to the
// output as it stands. A table's format never reaches the C library's printf.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaptor {

inline constexpr std::size_t kFormatArgs = 8;
using FormatArgs = std::array<std::optional<std::string_view>, kFormatArgs>;

// Where a stretch of the output came from: the format itself (arg < 0) or
// bytes [offset, offset + length) of argument `arg`.
struct FormatPiece {
  std::size_t length;
  int arg;
  std::size_t offset;
};

// Appends the formatted text to `out`; when `pieces` is given, it is filled
// with the origin of every output byte, in order.
void format_call(std::string& out, std::string_view format, const FormatArgs& args,
                 std::vector<FormatPiece>* pieces = nullptr);

}  // namespace zaptor
