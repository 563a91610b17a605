#include "engine/format.h"

#include <climits>

namespace zaptor {

namespace {

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
constexpr bool is_field_char(char c) {
  return is_digit(c) || std::string_view("-+ #.*$'hlLqjzt").find(c) != std::string_view::npos;
}

}  // namespace

FormatConversion read_conversion(std::string_view format, std::size_t percent) {
  // The whole conversion: flags, fields, modifiers and its character.
  std::size_t end = percent + 1;
  while (end < format.size() && is_field_char(format[end])) ++end;
  if (end < format.size()) ++end;
  FormatConversion c;
  c.offset = percent;
  c.text = format.substr(percent, end - percent);
  if (c.text == "%%") {
    c.kind = FormatConversion::kPercent;
    return c;
  }
  // Is it "%" flags width[.precision] "s"?
  const std::string_view text = c.text;
  std::size_t i = 1;
  while (i < text.size() && std::string_view("-+ #0").find(text[i]) != std::string_view::npos) {
    c.left = c.left || text[i] == '-';
    ++i;
  }
  const auto width = read_number(text, i);
  bool fields_ok = width.has_value();
  if (i < text.size() && text[i] == '.') {
    ++i;
    c.precision = read_number(text, i);
    fields_ok = fields_ok && c.precision.has_value();
  }
  if (fields_ok && i + 1 == text.size() && text[i] == 's') {
    c.kind = FormatConversion::kString;
    c.width = *width;
  }
  return c;
}

std::vector<FormatConversion> format_conversions(std::string_view format) {
  std::vector<FormatConversion> conversions;
  for (std::size_t percent = format.find('%'); percent != std::string_view::npos;) {
    conversions.push_back(read_conversion(format, percent));
    percent = format.find('%', percent + conversions.back().text.size());
  }
  return conversions;
}

CompiledFormat::CompiledFormat(std::string_view format) {
  const auto literal = [&](std::string_view text) {
    if (!text.empty()) ops_.push_back({text, false, false, 0, std::nullopt});
  };
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      literal(format.substr(pos));
      return;
    }
    literal(format.substr(pos, percent - pos));
    const FormatConversion c = read_conversion(format, percent);
    pos = percent + c.text.size();
    if (c.kind == FormatConversion::kPercent) {
      literal(c.text.substr(1));
    } else if (c.kind == FormatConversion::kString) {
      ops_.push_back({{}, true, c.left, c.width, c.precision});
      ++conversions_;
    } else {
      literal(c.text);
    }
  }
}

std::size_t CompiledFormat::apply(const FormatArgLengths& args, std::vector<FormatPiece>& pieces) const {
  std::size_t next_arg = 0;
  std::size_t total = 0;
  for (const Op& op : ops_) {
    if (!op.conversion) {
      pieces.push_back({op.text.size(), kFormatText, 0, op.text});
      total += op.text.size();
      continue;
    }
    const std::size_t slot = next_arg++;
    std::size_t length = 0;
    if (slot < args.size() && args[slot]) length = *args[slot];
    if (op.precision && *op.precision < length) length = *op.precision;
    const std::size_t pad = op.width > length ? op.width - length : 0;
    if (!op.left && pad > 0) pieces.push_back({pad, kBlanks, 0, {}});
    if (length > 0) pieces.push_back({length, static_cast<int>(slot), 0, {}});
    if (op.left && pad > 0) pieces.push_back({pad, kBlanks, 0, {}});
    total += length + pad;
  }
  return total;
}

void append_pieces(std::string& out, const std::vector<FormatPiece>& pieces, const FormatArgs& args) {
  for (const FormatPiece& piece : pieces) {
    if (piece.arg == kFormatText) {
      out.append(piece.text);
    } else if (piece.arg == kBlanks) {
      out.append(piece.length, ' ');
    } else {
      out.append(args[static_cast<std::size_t>(piece.arg)]->substr(piece.offset, piece.length));
    }
  }
}

void format_call(std::string& out, std::string_view format, const FormatArgs& args,
                 std::vector<FormatPiece>* pieces) {
  std::vector<FormatPiece> own;
  std::vector<FormatPiece>& list = pieces != nullptr ? *pieces : own;
  list.clear();
  FormatArgLengths lengths{};
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k]) lengths[k] = args[k]->size();
  }
  CompiledFormat(format).apply(lengths, list);
  append_pieces(out, list, args);
}

}  // namespace zaptor
