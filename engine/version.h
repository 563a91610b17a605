// The version every program prints for --version.
#pragma once

#include <string_view>

namespace zaptor {

inline constexpr std::string_view kVersion = ZAPTOR_VERSION;

}  // namespace zaptor
