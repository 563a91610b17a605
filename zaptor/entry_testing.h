// Test helpers: table entries made and shown readably, so that a failing
// comparison says what differs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace zaptor::testing_entries {

using Order = std::array<std::int32_t, kOrderSlots>;
inline constexpr Order kNoOrder{-1, -1, -1, -1, -1, -1, -1, -1};

inline std::string show(const std::optional<std::string>& text) {
  return text ? '"' + *text + '"' : std::string("none");
}

inline std::string describe(const _apitype& e) {
  std::string s = "name " + show(e.pchName) + " format " + show(e.pchformat) + " cb " +
                  std::to_string(e.cb) + " parms " + std::to_string(e.cParms) + " order";
  for (const std::int32_t v : e.iOrder) s += ' ' + std::to_string(v);
  return s;
}

inline std::vector<std::string> describe(const std::vector<_apitype>& entries) {
  std::vector<std::string> out;
  for (const _apitype& e : entries) out.push_back(describe(e));
  return out;
}

inline _apitype entry(std::optional<std::string> name, std::optional<std::string> format,
                      std::int32_t cb, std::int32_t parms, const Order& order) {
  _apitype e;
  e.pchName = std::move(name);
  e.pchformat = std::move(format);
  e.cb = cb;
  e.cParms = parms;
  e.iOrder = order;
  return e;
}

}  // namespace zaptor::testing_entries
