// Byte classes of the scanner. Fixed tables, never the locale: a byte is
// classified the same way whatever the environment says.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zaptor {

enum CharClass : std::uint8_t {
  kAlnum = 1,      // A-Z a-z 0-9; the underscore is not one
  kSpace = 2,      // space \t \n \v \f \r
  kOperator = 4,   // & * . [ ] - > < / + | ? ! % = ^ _ :
  kDelimiter = 8,  // " ' ( ) ,
  kHigh = 16,      // 0x80-0xFF: passed over inside a parameter list
  kStructure = 32, // " ' ( ) /: what the capture of a call looks at
};

constexpr std::array<std::uint8_t, 256> make_char_classes() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kAlnum;
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kAlnum;
  for (int c = '0'; c <= '9'; ++c) table[c] |= kAlnum;
  for (char c : std::string_view(" \t\n\v\f\r")) table[static_cast<unsigned char>(c)] |= kSpace;
  for (char c : std::string_view("&*.[]-></+|?!%=^_:")) table[static_cast<unsigned char>(c)] |= kOperator;
  for (char c : std::string_view("\"'(),")) table[static_cast<unsigned char>(c)] |= kDelimiter;
  for (int c = 0x80; c <= 0xFF; ++c) table[c] |= kHigh;
  for (char c : std::string_view("\"'()/")) table[static_cast<unsigned char>(c)] |= kStructure;
  return table;
}

inline constexpr std::array<std::uint8_t, 256> kCharClasses = make_char_classes();

constexpr bool has_class(char c, std::uint8_t classes) {
  return (kCharClasses[static_cast<unsigned char>(c)] & classes) != 0;
}
constexpr bool is_alnum(char c) { return has_class(c, kAlnum); }
constexpr bool is_space(char c) { return has_class(c, kSpace); }
constexpr bool is_delimiter(char c) { return has_class(c, kDelimiter); }
constexpr bool is_quote(char c) { return c == '"' || c == '\''; }

}  // namespace zaptor
