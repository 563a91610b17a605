// Applies a table entry's format to the arguments of one call.
//
// Only what tables use is interpreted: "%s" with flags, a width and a
// precision written as digits, and "%%". A null argument or a "%s" past the
// last argument formats the empty text; any other conversion is copied to the
// output as it stands. A table's format never reaches the C library's printf.
//
// A format is read once, when the table is indexed. Applying it yields the
// output as pieces: stretches of the format, blanks, and stretches of the
// arguments. The engine places argument stretches straight from the line
// buffer into the replacement, so that a long parameter that stays where it
// was is never copied.
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
// What a format needs of its arguments: their lengths (nullopt: a null one).
using FormatArgLengths = std::array<std::optional<std::size_t>, kFormatArgs>;

inline constexpr int kFormatText = -1;  // a stretch of the format itself
inline constexpr int kBlanks = -2;      // padding: `length` blanks

// One stretch of the output: `text` for format text, `length` blanks, or
// bytes [offset, offset + length) of argument `arg` (0-7).
struct FormatPiece {
  std::size_t length;
  int arg;
  std::size_t offset;
  std::string_view text;

  bool from_format() const { return arg < 0; }
};

// One "%" conversion of a format, as the engine reads it.
struct FormatConversion {
  std::size_t offset = 0;  // of its "%" in the format
  std::string_view text;   // from the "%" through the conversion character
  enum Kind { kString, kPercent, kVerbatim } kind = kVerbatim;  // kVerbatim: copied as it stands
  bool left = false;                     // kString: "-" among its flags
  std::size_t width = 0;                 // kString
  std::optional<std::size_t> precision;  // kString
};

// The conversion whose "%" stands at `percent` in `format`.
FormatConversion read_conversion(std::string_view format, std::size_t percent);

// The conversions of `format` in order.
std::vector<FormatConversion> format_conversions(std::string_view format);

class CompiledFormat {
 public:
  // `format` must outlive the compiled form.
  explicit CompiledFormat(std::string_view format);

  // Appends to `pieces` the output for arguments of these lengths; returns
  // its length.
  std::size_t apply(const FormatArgLengths& args, std::vector<FormatPiece>& pieces) const;
  // The number of "%s" conversions.
  std::size_t conversions() const { return conversions_; }

 private:
  struct Op {
    std::string_view text;  // format text; empty for a conversion
    bool conversion;
    bool left;
    std::size_t width;
    std::optional<std::size_t> precision;
  };
  std::vector<Op> ops_;
  std::size_t conversions_ = 0;
};

// Appends the bytes of `pieces` to `out`; argument bytes come from `args`.
void append_pieces(std::string& out, const std::vector<FormatPiece>& pieces, const FormatArgs& args);

// Formats in one step: appends the output to `out`, and fills `pieces` with
// it when given.
void format_call(std::string& out, std::string_view format, const FormatArgs& args,
                 std::vector<FormatPiece>* pieces = nullptr);

}  // namespace zaptor
