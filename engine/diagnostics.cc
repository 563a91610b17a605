#include "engine/diagnostics.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/exit_status.h"

namespace zaptor {

void Diagnostics::error(std::string_view what) const {
  std::string message(program_);
  message.append(": ").append(what).append("\n");
  std::fwrite(message.data(), 1, message.size(), err_);
  std::fflush(err_);
}

void Diagnostics::error(std::string_view what, int error_number) const {
  std::string message(what);
  message.append(": ").append(std::strerror(error_number));
  error(message);
}

int run_reporting_failures(const Diagnostics& diagnostics, const std::function<int()>& run) {
  try {
    return run();
  } catch (const std::bad_alloc&) {
    diagnostics.error("out of memory");
  } catch (const std::length_error&) {
    diagnostics.error("out of memory");
  } catch (const std::exception& error) {
    diagnostics.error(error.what());
  }
  return kExitFailure;
}

}  // namespace zaptor
