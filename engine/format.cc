#include "engine/format.h"

#include <climits>

namespace zaptor {

namespace {

class Formatter {
 public:
  Formatter(std::string& out, const FormatArgs& args, std::vector<FormatPiece>* pieces)
      : out_(out), args_(args), pieces_(pieces) {}

  void literal(std::string_view text) {
    if (text.empty()) return;
    out_.append(text);
    note(text.size(), -1, 0);
  }

  void padding(std::size_t count) {
    if (count == 0) return;
    out_.append(count, ' ');
    note(count, -1, 0);
  }

  // One "%s": the next argument, cut to `precision`, padded to `width`.
  void string_conversion(bool left, std::size_t width, std::optional<std::size_t> precision) {
    const std::size_t slot = next_arg_++;
    std::string_view value;
    if (slot < args_.size() && args_[slot]) value = *args_[slot];
    if (precision && *precision < value.size()) value = value.substr(0, *precision);
    const std::size_t pad = width > value.size() ? width - value.size() : 0;
    if (!left) padding(pad);
    if (!value.empty()) {
      out_.append(value);
      note(value.size(), static_cast<int>(slot), 0);
    }
    if (left) padding(pad);
  }

 private:
  void note(std::size_t length, int arg, std::size_t offset) {
    if (pieces_ == nullptr) return;
    if (arg < 0 && !pieces_->empty() && pieces_->back().arg < 0) {
      pieces_->back().length += length;
      return;
    }
    pieces_->push_back({length, arg, offset});
  }

  std::string& out_;
  const FormatArgs& args_;
  std::vector<FormatPiece>* pieces_;
  std::size_t next_arg_ = 0;
};

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits at `pos` as a printf field value; nullopt when it
// does not fit an int, as printf would refuse it.
std::optional<std::size_t> read_number(std::string_view text, std::size_t& pos) {
  std::size_t value = 0;
  bool overflow = false;
  while (pos < text.size() && is_digit(text[pos])) {
    value = value * 10 + static_cast<std::size_t>(text[pos] - '0');
    if (value > static_cast<std::size_t>(INT_MAX)) {
      overflow = true;
      value = INT_MAX;
    }
    ++pos;
  }
  if (overflow) return std::nullopt;
  return value;
}

// Characters that may stand between "%" and the conversion character.
constexpr bool is_spec_char(char c) {
  return is_digit(c) || std::string_view("-+ #.*$'hlLqjzt").find(c) != std::string_view::npos;
}

}  // namespace

void format_call(std::string& out, std::string_view format, const FormatArgs& args,
                 std::vector<FormatPiece>* pieces) {
  if (pieces != nullptr) pieces->clear();
  Formatter f(out, args, pieces);
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      f.literal(format.substr(pos));
      return;
    }
    f.literal(format.substr(pos, percent - pos));
    // The whole conversion: flags, fields, modifiers and its character.
    std::size_t end = percent + 1;
    while (end < format.size() && is_spec_char(format[end])) ++end;
    if (end < format.size()) ++end;
    const std::string_view spec = format.substr(percent, end - percent);
    pos = end;

    if (spec == "%%") {
      f.literal("%");
      continue;
    }
    // Is it "%" flags width[.precision] "s"?
    std::size_t i = 1;
    bool left = false;
    while (i < spec.size() && std::string_view("-+ #0").find(spec[i]) != std::string_view::npos) {
      left = left || spec[i] == '-';
      ++i;
    }
    const auto width = read_number(spec, i);
    std::optional<std::size_t> precision;
    bool fields_ok = width.has_value();
    if (i < spec.size() && spec[i] == '.') {
      ++i;
      precision = read_number(spec, i);
      fields_ok = fields_ok && precision.has_value();
    }
    if (fields_ok && i + 1 == spec.size() && spec[i] == 's') {
      f.string_conversion(left, *width, precision);
    } else {
      f.literal(spec);
    }
  }
}

}  // namespace zaptor
