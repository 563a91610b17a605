#include "tallyx/tallyx_table.h"

#include "engine/table.h"

namespace zaptor {

namespace {
const char ch1[] = "WinSendMsg";
const char ch2[] = "S %s\n";
const char ch3[] = "WinPostMsg";
const char ch4[] = "P %s\n";
const char ch5[] = "WinSendDlgItemMsg";
const char ch6[] = "D %s\n";

// Each call prints its message: the second parameter, the third for
// WinSendDlgItemMsg.
_apitype message_entry(const char* name, const char* format, std::int32_t cParms,
                       std::int32_t message) {
  _apitype entry;
  entry.pchName = name;
  entry.pchformat = format;
  entry.cb = static_cast<std::int32_t>(entry.pchName->size());
  entry.cParms = cParms;
  entry.iOrder[0] = message;
  return entry;
}
}  // namespace

std::shared_ptr<const Table> init_dat(int /*bDump*/) {
  // Built once, shared by every conversion that lists messages.
  static const std::shared_ptr<const Table> table = std::make_shared<const Table>(
      std::vector<_apitype>{message_entry(ch1, ch2, 4, 1), message_entry(ch3, ch4, 4, 1),
                            message_entry(ch5, ch6, 5, 2)},
      3, "W");
  return table;
}

}  // namespace zaptor
