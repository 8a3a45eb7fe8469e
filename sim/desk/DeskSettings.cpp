#include "DeskSettings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "DeskJob.h"
#include "JobJson.h"

namespace {

namespace fs = std::filesystem;

// The biggest JSON file vxdesk reads: a job of any sensible size fits.
constexpr std::uintmax_t kMaxJsonFileBytes = 64u << 20;

constexpr const char* kMembers[] = {"startLateMs",  "stopAfter",  "refuse",        "endAfterSeconds", "job",
                                    "outputFolder", "recordFile", "checkSettings", "answerTimeoutMs"};

bool fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

bool known_member(const ustring& name) {
  for (const char* member : kMembers)
    if (name == member) return true;
  return false;
}

// A whole number from 0 to max; absent leaves *out as it is.
template <class T>
bool read_number(const umessage& m, const char* name, std::uint64_t max, T* out, std::string* error) {
  const umessage::array_type* array = m.find(name);
  if (array == nullptr) return true;
  std::int64_t value = -1;
  const bool whole =
      array->size() == 1 && (array->type() == umessage::type_int || array->type() == umessage::type_int64);
  if (!whole || !m.get(name, 0, value) || value < 0 || static_cast<std::uint64_t>(value) > max)
    return fail(error,
                std::string("member ") + name + ": expected a whole number from 0 to " + std::to_string(max));
  *out = static_cast<T>(value);
  return true;
}

// A path text, taken from base when it is relative; absent leaves *out.
bool read_path(const umessage& m, const char* name, const std::string& base, std::string* out,
               std::string* error) {
  if (m.find(name) == nullptr) return true;
  ustring text;
  if (m.count(name) != 1 || !m.get(name, 0, text) || text.empty())
    return fail(error, std::string("member ") + name + ": expected a path");
  *out = (fs::path(base) / std::string(text)).lexically_normal().string();
  return true;
}

bool read_job(const umessage& m, const std::string& base, DeskSettings* settings, std::string* error) {
  const umessage::array_type* array = m.find("job");
  if (array == nullptr) {
    settings->job = BuiltInJob();
    settings->jobSource = "built-in";
  } else if (array->size() == 1 && array->type() == umessage::type_string) {
    std::string path;
    if (!read_path(m, "job", base, &path, error)) return false;
    if (!ReadJsonFile(path, &settings->job, error)) return false;
    settings->jobSource = path;
  } else if (array->size() == 1 && array->type() == umessage::type_message) {
    settings->job = m.value<umessage>("job");
    settings->jobSource = "inline";
  } else {
    return fail(error, "member job: expected a path or a job object");
  }
  try {
    BJobFile job;
    job_from_json(job, settings->job);
  } catch (const JobJsonError& e) {
    return fail(error, "job (" + settings->jobSource + "): " + e.what());
  }
  return true;
}

void copy_member(const umessage& from, const ustring& name, umessage* to) {
  const umessage::array_type* array = from.find(name);
  if (array == nullptr) return;
  to->erase(name);
  switch (array->type()) {
    case umessage::type_int:
      to->add(name, from.value<int>(name));
      break;
    case umessage::type_int64:
      to->add(name, from.value<std::int64_t>(name));
      break;
    case umessage::type_bool:
      to->add(name, from.value<bool>(name));
      break;
    case umessage::type_double:
      to->add(name, from.value<double>(name));
      break;
    case umessage::type_string:
      to->add(name, from.value<ustring>(name));
      break;
    case umessage::type_message:
      to->add(name, std::make_shared<umessage>(from.value<umessage>(name)));
      break;
    default:
      break;
  }
}

// --- Options ----------------------------------------------------------------------

struct Option {
  const char* flag;
  const char* member;
  enum Kind { kNumber, kSwitch, kPath, kJsonFile } kind;
  std::uint64_t max;
};

constexpr Option kOptions[] = {
    {"--start-late", "startLateMs", Option::kNumber, kMaxDeskWaitMs},
    {"--stop-after", "stopAfter", Option::kNumber, 0xFFFFFFFFu},
    {"--refuse", "refuse", Option::kSwitch, 0},
    {"--end-after", "endAfterSeconds", Option::kNumber, kMaxDeskWaitMs / 1000},
    {"--job", "job", Option::kPath, 0},
    {"--out", "outputFolder", Option::kPath, 0},
    {"--record", "recordFile", Option::kPath, 0},
    {"--checks", "checkSettings", Option::kJsonFile, 0},
    {"--answer-timeout", "answerTimeoutMs", Option::kNumber, kMaxDeskWaitMs},
};

bool parse_number(const std::string& text, std::uint64_t max, std::int64_t* out) {
  if (text.empty() || text.size() > 12) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > max) return false;
  *out = static_cast<std::int64_t>(value);
  return true;
}

}  // namespace

bool ReadJsonFile(const std::string& path, umessage* m, std::string* error) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return fail(error, "cannot read " + path + ": " + ec.message());
  if (size > kMaxJsonFileBytes)
    return fail(error, path + ": larger than " + std::to_string(kMaxJsonFileBytes) + " bytes");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(error, "cannot read " + path);
  if (!m->read(in)) return fail(error, path + ": not a JSON object");
  return true;
}

bool ReadDeskSettings(const umessage& m, const std::string& runtime, DeskSettings* settings,
                      std::string* error) {
  for (const auto& [name, array] : m) {
    if (!known_member(name)) return fail(error, "unknown member " + name.str());
  }
  DeskSettings s;
  s.outputFolder = (fs::path(runtime) / kDeskOutputFolder).string();
  s.recordFile = (fs::path(runtime) / kDeskRecordFile).string();
  if (!read_number(m, "startLateMs", kMaxDeskWaitMs, &s.startLateMs, error) ||
      !read_number(m, "stopAfter", 0xFFFFFFFFu, &s.stopAfter, error) ||
      !read_number(m, "endAfterSeconds", kMaxDeskWaitMs / 1000, &s.endAfterSeconds, error) ||
      !read_number(m, "answerTimeoutMs", kMaxDeskWaitMs, &s.answerTimeoutMs, error))
    return false;
  if (const umessage::array_type* refuse = m.find("refuse")) {
    if (refuse->size() != 1 || !m.get("refuse", 0, s.refuse))
      return fail(error, "member refuse: expected true or false");
  }
  if (!read_path(m, "outputFolder", runtime, &s.outputFolder, error) ||
      !read_path(m, "recordFile", runtime, &s.recordFile, error))
    return false;
  if (const umessage::array_type* checks = m.find("checkSettings")) {
    if (checks->size() != 1 || checks->type() != umessage::type_message)
      return fail(error, "member checkSettings: expected an object");
    s.checkSettings = m.value<umessage>("checkSettings");
  }
  if (!read_job(m, runtime, &s, error)) return false;
  *settings = std::move(s);
  return true;
}

bool ParseDeskOptions(const std::vector<std::string>& args, umessage* options,
                      std::vector<std::string>* words, std::string* error) {
  umessage parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0 || arg == "--help" || arg == "--config") {
      words->push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string flag = arg.substr(0, equals);
    const Option* option = nullptr;
    for (const Option& o : kOptions)
      if (flag == o.flag) option = &o;
    if (option == nullptr) return fail(error, "unknown option " + flag);
    if (option->kind == Option::kSwitch) {
      if (equals != std::string::npos) return fail(error, flag + " takes no value");
      parsed.set(option->member, true);
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return fail(error, flag + " needs a value");
    }
    switch (option->kind) {
      case Option::kNumber: {
        std::int64_t number = 0;
        if (!parse_number(value, option->max, &number))
          return fail(error, flag + " needs a whole number from 0 to " + std::to_string(option->max) +
                                 ", not \"" + value + "\"");
        parsed.set(option->member, number);
        break;
      }
      case Option::kPath: {
        if (value.empty()) return fail(error, flag + " needs a path");
        std::error_code ec;
        const fs::path absolute = fs::absolute(value, ec);
        if (ec) return fail(error, flag + ": " + ec.message());
        parsed.set(option->member, ustring(absolute.lexically_normal().string()));
        break;
      }
      case Option::kJsonFile: {
        umessage m;
        if (!ReadJsonFile(value, &m, error)) return false;
        parsed.set(option->member, std::make_shared<umessage>(std::move(m)));
        break;
      }
      case Option::kSwitch:
        break;
    }
  }
  *options = std::move(parsed);
  return true;
}

umessage OverlaySettings(umessage file, const umessage& options) {
  for (const auto& [name, array] : options) copy_member(options, name, &file);
  return file;
}
