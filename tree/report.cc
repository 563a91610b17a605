#include "tree/report.h"

#include <algorithm>

namespace zaptor {

namespace {

std::string plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A count right-aligned in seven columns, as `uniq -c` shows it, and a blank.
std::string counted(std::uint64_t n) {
  const std::string count = std::to_string(n);
  return std::string(count.size() < 7 ? 7 - count.size() : 0, ' ') + count + " ";
}

template <typename Count>
bool most_first(const std::pair<std::string, Count>& a, const std::pair<std::string, Count>& b) {
  return a.second != b.second ? a.second > b.second : a.first < b.first;
}

}  // namespace

void RunTotals::add(const FileResult& r) {
  ++files_;
  if (r.failed) ++failed_;
  if (!r.failed && r.changed) ++changed_;
  for (std::size_t i = 0; i < r.rewritten.size(); ++i) rewritten_[i] += r.rewritten[i];
  reports_ += r.reports;
  open_calls_ += r.open_calls;
  calls_ += r.surveyed;
  for (const auto& [message, count] : r.message_counts) messages_[message] += count;
  std::vector<std::pair<std::string, std::uint64_t>> names(r.left.begin(), r.left.end());
  std::sort(names.begin(), names.end());
  for (const auto& [name, count] : names) {
    Left& left = left_[name];
    left.count += count;
    left.files.emplace_back(r.path, count);
  }
}

std::string RunTotals::text() const {
  const std::string p = "zaptor-tree: ";
  std::string out = p + plural(files_, "file", "files") + " walked";
  switch (settings_.command) {
    case Command::survey:
      out += ", " + std::to_string(failed()) + " failed; " + plural(calls_, "call", "calls") + " surveyed\n";
      return out;
    case Command::left:
      out += ", " + std::to_string(failed()) + " failed; " + plural(left_.size(), "name", "names") + " left\n";
      return out;
    default:
      break;
  }
  const std::size_t unchanged = files_ - failed_ - changed_;
  out += ": " + std::to_string(changed_) + (settings_.command == Command::diff ? " would change, " : " changed, ") +
         std::to_string(unchanged) + " unchanged, " + std::to_string(failed()) + " failed\n";
  std::string calls;
  for (std::size_t i = 0; i < rewritten_.size(); ++i) {
    if (rewritten_[i] == 0) continue;
    calls += (calls.empty() ? "" : ", ") + std::to_string(rewritten_[i]) + " " +
             settings_.table->apilist()[i].pchName.value_or("");
  }
  out += p + "calls rewritten: " + (calls.empty() ? "none" : calls) + "\n";
  out += p + plural(reports_, "invalid character", "invalid characters") + ", " +
         plural(open_calls_, "call", "calls") + " never closed\n";
  return out;
}

nlohmann::json RunTotals::json() const {
  nlohmann::json summary = {{"files", files_}, {"failed", failed()}};
  if (settings_.command == Command::survey) {
    summary["calls"] = calls_;
    return summary;
  }
  if (settings_.command == Command::left) {
    summary["names"] = left_.size();
    return summary;
  }
  summary["changed"] = changed_;
  summary["unchanged"] = files_ - failed_ - changed_;
  nlohmann::json rewritten = nlohmann::json::object();
  for (std::size_t i = 0; i < rewritten_.size(); ++i) {
    // Only the first of entries with one name ever rewrites.
    if (rewritten_[i] != 0) rewritten[settings_.table->apilist()[i].pchName.value_or("")] = rewritten_[i];
  }
  summary["rewritten"] = rewritten;
  summary["reports"] = reports_;
  summary["open_calls"] = open_calls_;
  return summary;
}

std::vector<std::pair<std::string, std::uint64_t>> RunTotals::totals() const {
  std::vector<std::pair<std::string, std::uint64_t>> sorted(messages_.begin(), messages_.end());
  std::stable_sort(sorted.begin(), sorted.end(), most_first<std::uint64_t>);
  return sorted;
}

std::string RunTotals::totals_text() const {
  std::string out;
  for (const auto& [message, n] : totals()) out += counted(n) + message + "\n";
  return out;
}

nlohmann::json RunTotals::json_totals() const {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [message, count] : totals()) list.push_back({{"message", message}, {"count", count}});
  return list;
}

std::vector<std::pair<std::string, const RunTotals::Left*>> RunTotals::left_sorted() const {
  std::vector<std::pair<std::string, const Left*>> sorted;
  for (const auto& [name, left] : left_) sorted.emplace_back(name, &left);
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.second->count != b.second->count ? a.second->count > b.second->count : a.first < b.first;
  });
  return sorted;
}

std::string RunTotals::left_text() const {
  std::string out;
  for (const auto& [name, left] : left_sorted()) {
    out += counted(left->count) + name + " ";
    for (std::size_t i = 0; i < left->files.size(); ++i) {
      out += (i == 0 ? "" : ", ") + left->files[i].first + " (" + std::to_string(left->files[i].second) + ")";
    }
    out += "\n";
  }
  return out;
}

nlohmann::json RunTotals::json_left() const {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [name, left] : left_sorted()) {
    nlohmann::json files = nlohmann::json::array();
    for (const auto& [path, count] : left->files) files.push_back({{"file", path}, {"count", count}});
    list.push_back({{"name", name}, {"count", left->count}, {"files", files}});
  }
  return list;
}

nlohmann::json json_call(const JobSettings& settings, const std::string& path, const SurveyCall& call) {
  const SurveyFunction& f = settings.functions[static_cast<std::size_t>(call.function)];
  return {{"file", path}, {"line", call.line}, {"function", f.name}, {"label", f.label}, {"message", call.message}};
}

std::string dump_json(const nlohmann::json& document) {
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace zaptor
