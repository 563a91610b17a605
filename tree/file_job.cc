#include "tree/file_job.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "engine/engine.h"
#include "tree/source_file.h"
#include "tree/unified_diff.h"
#include "zaptor/replacing_file.h"

namespace zaptor {

namespace {

std::string shown_byte(char c) {
  if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
  static constexpr char kHex[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  return std::string("'\\x") + kHex[byte >> 4] + kHex[byte & 15] + "'";
}

// What a conversion tells, as messages on the file's lines and counts.
class FileEvents : public Events {
 public:
  FileEvents(const JobSettings& settings, FileResult& result) : settings_(settings), result_(result) {}

  void rewritten(int entry, std::uint64_t /*line*/) override { ++result_.rewritten[static_cast<std::size_t>(entry)]; }
  void invalid_character(char c, int /*times*/, int entry, std::uint64_t line) override {
    ++result_.reports;
    tell(line, "invalid character " + shown_byte(c) + " in a call of " + name(entry));
  }
  void open_call(int entry, std::uint64_t line) override {
    ++result_.open_calls;
    tell(line, "warning: call of " + name(entry) + " never closed; left as written");
  }
  bool keeps_calls() const override { return settings_.command == Command::survey; }
  int wanted_parameter(int entry) const override {
    return settings_.command == Command::survey ? settings_.functions[static_cast<std::size_t>(entry)].parameter
                                                : -1;
  }
  void parameter(int entry, std::uint64_t line, std::string_view text) override {
    ++result_.surveyed;
    if (settings_.survey_list == SurveyList::lines) {
      // Straight onto the output: most runs list every call.
      std::string& out = result_.out;
      out.append(result_.path).append(":").append(std::to_string(line)).append(": ");
      out.append(settings_.functions[static_cast<std::size_t>(entry)].label).append(" ");
      append_squeezed(out, text);
      out.push_back('\n');
      return;
    }
    std::string message = squeeze_blanks(text);
    if (settings_.survey_list == SurveyList::totals) {
      ++result_.message_counts[message];
    } else {
      result_.calls.push_back({line, entry, std::move(message)});
    }
  }

 private:
  std::string name(int entry) const {
    return settings_.table->apilist()[static_cast<std::size_t>(entry)].pchName.value_or("");
  }
  void tell(std::uint64_t line, const std::string& what) {
    result_.messages.push_back(result_.path + ":" + std::to_string(line) + ": " + what);
  }

  const JobSettings& settings_;
  FileResult& result_;
};

void fail(FileResult& r, const std::string& why) {
  r.failed = true;
  r.messages.push_back(r.path + ": error: " + why);
}

bool interrupted(const JobSettings& settings) {
  return settings.interrupted != nullptr && settings.interrupted->load();
}

// Writes `bytes` in place of `path` at once: a reader, or a run cut short,
// sees the old file or the new one, never a part.
bool replace_file(FileResult& r, const std::string& path, std::string_view bytes, const JobSettings& settings,
                  const FileState* expected) {
  ReplacingFile out(/*guard_signals=*/false);
  if (!out.open(path)) {
    fail(r, "cannot write " + path + ": " + std::generic_category().message(errno));
    return false;
  }
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) != bytes.size() || std::fflush(out.stream()) != 0) {
    fail(r, "cannot write " + path + ": " + std::generic_category().message(errno != 0 ? errno : EIO));
    return false;
  }
  if (interrupted(settings)) {
    fail(r, "interrupted; left as it was");
    return false;
  }
  if (expected != nullptr && file_state(r.path) != *expected) {
    fail(r, "changed on disk while it was converted; left as it is");
    return false;
  }
  if (!out.commit()) {
    fail(r, "cannot write " + path + ": " + std::generic_category().message(errno));
    return false;
  }
  return true;
}

void apply(FileResult& r, const ReadFile& in, const std::string& converted, const JobSettings& settings) {
  if (!settings.backup_suffix.empty() &&
      !replace_file(r, r.path + settings.backup_suffix, in.bytes(), settings, &in.state)) {
    return;
  }
  replace_file(r, r.path, converted, settings, &in.state);
}

void copy(FileResult& r, const WalkedFile& file, const ReadFile& in, const std::string& converted,
          const JobSettings& settings) {
  const std::filesystem::path target = std::filesystem::path(settings.copy_to) / file.relative;
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) {
    fail(r, "cannot make the folder " + target.parent_path().string() + ": " + ec.message());
    return;
  }
  if (const auto there = file_state(target); there && there->device == in.state.device &&
                                             there->inode == in.state.inode) {
    fail(r, "its copy " + target.string() + " would be the file itself; left as it is");
    return;
  }
  replace_file(r, target.string(), r.changed ? std::string_view(converted) : in.bytes(), settings, nullptr);
}

std::string stop_message(const FileResult& r, std::uint64_t line, Command command) {
  return r.path + ":" + std::to_string(line) + ": error: " + growth_stop_reason() + "; " + r.path +
         (command == Command::survey ? " not surveyed past it" : " left unchanged");
}

}  // namespace

FileResult run_file(const WalkedFile& file, const JobSettings& settings) {
  FileResult r;
  r.path = file.path;
  r.rewritten.assign(settings.table->entries_in_use(), 0);
  const ReadFile in = read_regular_file(file.path);
  if (!in.error.empty()) {
    fail(r, "cannot read it: " + in.error);
    return r;
  }

  FileEvents events(settings, r);
  LineReader reader(in.bytes());
  std::string converted;
  Output sink(converted);
  Conversion conversion(settings.table);
  conversion.events = &events;
  conversion.fp_src = &reader;
  const bool keeps_text = settings.command != Command::survey;
  const SourceResult result = conversion.process_source(reader, keeps_text ? &sink : nullptr);
  if (result.status == ScanStatus::endless_rewrite) {
    r.failed = true;
    r.messages.push_back(stop_message(r, result.line, settings.command));
    return r;
  }
  r.changed = keeps_text && converted != in.bytes();

  switch (settings.command) {
    case Command::diff:
      if (r.changed) unified_diff(r.path, in.bytes(), converted, settings.context, r.out);
      break;
    case Command::apply:
      if (r.changed) apply(r, in, converted, settings);
      break;
    case Command::copy:
      copy(r, file, in, converted, settings);
      break;
    case Command::left: {
      LeftCalls left(*settings.pattern);
      left.scan(converted);
      r.left = left.counts();
      break;
    }
    case Command::survey:
      break;
  }
  return r;
}

}  // namespace zaptor
