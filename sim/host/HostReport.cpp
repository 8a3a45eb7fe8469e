#include "HostReport.h"

#include <cstdio>
#include <exception>
#include <sstream>

#include "JobJson.h"
#include "JsonWriter.h"
#include "datastruct/BJobFile.h"
#include "utils/UKeyStream.h"
#include "utils/umessage.h"

namespace vxsim {

namespace {

constexpr const char* kSaveEvent = "adobe_saveACopyAs";

bool printable(std::uint32_t code) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    const std::uint32_t c = (code >> shift) & 0xFF;
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::string hex_text(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

std::string digest_text(std::uint64_t digest) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(digest));
  return buffer;
}

// The document dictionary entry that holds the plug-in's job.
constexpr const char* kJobEntry = "Veloxa5SLUGData";

template <class T>
void write_values(JsonWriter& json, const umessage::array_type& array, void (*put)(JsonWriter&, const T&)) {
  const auto& values = array.as<T>()->values;
  const bool bracketed = array.is_array || values.size() != 1;
  if (bracketed) json.begin_array();
  for (const T& v : values) put(json, v);
  if (bracketed) json.end_array();
}

// The record as umessage::write lays it out (an entry flagged as an array or
// holding several values is an array), through the report's writer, which
// keeps the text valid JSON whatever the strings hold.
void write_record(JsonWriter& json, const umessage& record) {
  json.begin_object();
  for (const umessage::entry_ref entry : record) {
    json.key(entry.name.view());
    const umessage::array_type& array = entry.array;
    switch (array.code()) {
      case umessage::type_int:
        write_values<std::int32_t>(json, array, [](JsonWriter& j, const std::int32_t& v) { j.integer(v); });
        break;
      case umessage::type_int64:
        write_values<std::int64_t>(json, array, [](JsonWriter& j, const std::int64_t& v) { j.integer(v); });
        break;
      case umessage::type_bool:
        write_values<bool>(json, array, [](JsonWriter& j, const bool& v) { j.boolean(v); });
        break;
      case umessage::type_double:
        write_values<double>(json, array, [](JsonWriter& j, const double& v) { j.number(v); });
        break;
      case umessage::type_string:
        write_values<ustring>(json, array, [](JsonWriter& j, const ustring& v) { j.string(v.view()); });
        break;
      case umessage::type_message:
        write_values<std::shared_ptr<umessage>>(
            json, array, [](JsonWriter& j, const std::shared_ptr<umessage>& v) { write_record(j, *v); });
        break;
      default:
        json.null();
        break;
    }
  }
  json.end_object();
}

// The job stored in the document, as vxjob show prints a job read with the
// content of a stored job; {"error": why} when the entry does not read back
// as a job; null without the entry. The content is read without ReadJob's
// first step, which installs the payload's setting definitions for the
// whole process: writing a report must not change what a plug-in running
// in the same process (the in-process tests) works with. A stored job's
// content does not depend on them.
void write_stored_job(JsonWriter& json, const ai::DocumentData& doc) {
  json.key("job");
  auto it = doc.dictionary->find(kJobEntry);
  if (it == doc.dictionary->end() || it->second.type != DictionaryEntry::eType_Binary) {
    json.null();
    return;
  }
  umessage shown;
  try {
    std::istringstream in(it->second.bytes);
    UKeyInStream reader(in);
    BJobFile job;
    job.ReadContent(reader, eJobFileContent_Layout);
    shown = job_to_json(job);
  } catch (const std::exception& e) {
    json.begin_object().key("error").string(e.what()).end_object();
    return;
  }
  write_record(json, shown);
}

void write_rect(JsonWriter& json, const ai::RealRect& r) {
  json.begin_array().number(r.left).number(r.top).number(r.right).number(r.bottom).end_array();
}

void write_points(JsonWriter& json, const ai::ArtData& art) {
  json.key("points").begin_array();
  for (const ai::PathSegment& s : art.segments) json.begin_array().number(s.p.h).number(s.p.v).end_array();
  json.end_array();
}

// Keys of the art's dictionary whose entry is the boolean true.
void write_tags(JsonWriter& json, const ai::ArtData& art) {
  json.key("tags").begin_array();
  for (const auto& [key, entry] : *art.dictionary) {
    if (entry.type == DictionaryEntry::eType_Boolean && entry.flag) json.string(key);
  }
  json.end_array();
}

void write_menu(JsonWriter& json, const HostModel& host) {
  json.key("menu").begin_array();
  for (const auto& item : host.menu_items()) {
    json.begin_object();
    json.key("key").string(item->key);
    json.key("group").string(item->group);
    json.key("text").string(item->text);
    json.key("options").integer(item->options);
    json.key("enabled").boolean(item->enabled);
    json.key("submenu");
    if (item->submenu) {
      json.string(item->submenu->name);
    } else {
      json.null();
    }
    json.key("updates").unsigned_integer(item->updates);
    json.key("picks").unsigned_integer(item->picks);
    json.end_object();
  }
  json.end_array();

  json.key("groups").begin_array();
  for (const auto& group : host.menu_groups()) {
    json.begin_object();
    json.key("name").string(group->name);
    json.key("host").boolean(group->host_owned);
    json.key("parent");
    if (group->parent) {
      json.string(group->parent->text);
    } else {
      json.null();
    }
    json.key("options").integer(group->options);
    json.end_object();
  }
  json.end_array();
}

void write_new_document(JsonWriter& json, const NewDocumentRecord& made) {
  const ai::NewDocumentPreset& p = made.preset;
  bool reserved_zero = true;
  for (unsigned char b : p.reserved) reserved_zero = reserved_zero && b == 0;
  json.begin_object();
  json.key("preset_name").string(made.preset_name);
  json.key("dialog_status").integer(made.dialog_status);
  json.key("title").string(made.title);
  json.key("width").number(p.width);
  json.key("height").number(p.height);
  json.key("artboardCount").integer(p.artboardCount);
  json.key("field28").integer(p.field28);
  json.key("field32").number(p.field32);
  json.key("field40").integer(p.field40);
  json.key("colorModel").integer(p.colorModel);
  json.key("rulerUnits").integer(p.rulerUnits);
  json.key("field52").integer(p.field52);
  json.key("field56").integer(p.field56);
  json.key("field60").integer(p.field60);
  json.key("reserved_zero").boolean(reserved_zero);
  json.end_object();
}

void write_document(JsonWriter& json, const HostModel& host, const ai::DocumentData& doc) {
  json.begin_object();
  json.key("path");
  if (doc.path) {
    json.string(*doc.path);
  } else {
    json.null();
  }
  json.key("width").number(doc.width);
  json.key("height").number(doc.height);
  json.key("current").boolean(&doc == host.current_document());
  json.key("modified").boolean(doc.modified);
  json.key("artboards").begin_array();
  for (const ai::RealRect& r : doc.artboards) write_rect(json, r);
  json.end_array();

  json.key("guides").begin_array();
  for (const ai::ArtData* art : doc.art) {
    if (!art->guide) continue;
    json.begin_object();
    write_points(json, *art);
    json.key("locked").boolean(art->attributes & ai::kArtAttr_Locked);
    write_tags(json, *art);
    json.end_object();
  }
  json.end_array();

  json.key("art").begin_array();
  for (const ai::ArtData* art : doc.art) {
    json.begin_object();
    json.key("type").integer(art->type);
    write_points(json, *art);
    json.key("closed").boolean(art->closed);
    json.key("selected").boolean(art->attributes & ai::kArtAttr_Selected);
    json.key("locked").boolean(art->attributes & ai::kArtAttr_Locked);
    json.key("guide").boolean(art->guide);
    write_tags(json, *art);
    json.end_object();
  }
  json.end_array();

  json.key("dictionary").begin_object();
  for (const auto& [key, entry] : *doc.dictionary) {
    json.key(key);
    if (entry.type == DictionaryEntry::eType_Binary) {
      json.string(hex_text(entry.bytes));
    } else {
      json.boolean(entry.flag);
    }
  }
  json.end_object();
  write_stored_job(json, doc);

  json.key("profiles");
  if (!doc.profiles_set) {
    json.null();
  } else {
    json.begin_array();
    for (const auto& profile : doc.profiles) {
      if (!profile) {
        json.null();
        continue;
      }
      json.begin_object();
      json.key("size").unsigned_integer(profile->size);
      json.key("digest").string(digest_text(profile->digest));
      json.end_object();
    }
    json.end_array();
  }

  json.key("new");
  if (doc.created_by_plugin) {
    write_new_document(json, *doc.created_by_plugin);
  } else {
    json.null();
  }
  json.end_object();
}

void write_action(JsonWriter& json, const PlayedAction& action) {
  json.begin_object();
  json.key("event").string(action.event);
  json.key("dialog").integer(action.dialog_status);
  json.key("synced").boolean(action.synced);
  json.key("params").begin_array();
  for (const ActionParam& p : action.params) {
    json.begin_object();
    json.key("key").string(four_char_text(p.key));
    json.key("type").string(action_param_type_name(p.type));
    json.key("value");
    switch (p.type) {
      case ActionParam::eType_Integer:
      case ActionParam::eType_Enumerated:
        json.integer(p.integer);
        break;
      case ActionParam::eType_Real:
        json.number(p.real);
        break;
      case ActionParam::eType_Boolean:
        json.boolean(p.integer != 0);
        break;
      case ActionParam::eType_String:
        json.string(p.text);
        break;
    }
    if (p.type == ActionParam::eType_Enumerated) json.key("name").string(p.type_name);
    json.end_object();
  }
  json.end_array();
  json.key("result").integer(action.result);
  json.end_object();
}

// One "adobe_saveACopyAs": the file it wrote, or what it was asked to
// write and why it did not.
void write_save(JsonWriter& json, const PlayedAction& action) {
  std::optional<std::string> path;
  if (action.save) {
    path = action.save->path;
  } else {
    for (const ActionParam& p : action.params) {
      if (p.key == ai::FourCC("name") && p.type == ActionParam::eType_String) path = p.text;
    }
  }
  const bool written = action.save && action.save->written;
  json.begin_object();
  json.key("path");
  if (path) {
    json.string(*path);
  } else {
    json.null();
  }
  json.key("written").boolean(written);
  json.key("version");
  if (written) {
    json.string("1." + std::to_string(action.save->minor_version));
  } else {
    json.null();
  }
  json.key("page");
  if (written) {
    json.begin_array().number(action.save->width).number(action.save->height).end_array();
  } else {
    json.null();
  }
  json.key("result").integer(action.result);
  json.key("error");
  if (action.save && !written) {
    json.string(action.save->error);
  } else if (!written && action.result != ai::kNoErr) {
    json.string("the action failed before the save began");
  } else {
    json.null();
  }
  json.end_object();
}

}  // namespace

std::string four_char_text(std::int32_t code) {
  const auto value = static_cast<std::uint32_t>(code);
  if (printable(value)) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
  }
  char buffer[11];
  std::snprintf(buffer, sizeof buffer, "0x%08X", value);
  return buffer;
}

std::string describe_code(ai::Err code) {
  std::string text = std::to_string(code);
  if (printable(static_cast<std::uint32_t>(code))) text += " ('" + four_char_text(code) + "')";
  return text;
}

std::string report_json(const HostModel& host, const std::string& plugin_path,
                        const std::optional<RunError>& error) {
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.key("version").integer(host.major_version());

  json.key("plugin").begin_object();
  json.key("path").string(plugin_path);
  json.key("name").string(host.plugin_name());
  json.key("loaded").boolean(host.attached());
  json.key("started").boolean(host.started());
  json.key("unloaded").boolean(host.unloaded());
  json.end_object();

  write_menu(json, host);

  json.key("documents").begin_array();
  for (const ai::DocumentData* doc : host.documents()) write_document(json, host, *doc);
  json.end_array();

  json.key("actions").begin_array();
  for (const PlayedAction& action : host.actions()) write_action(json, action);
  json.end_array();

  json.key("saves").begin_array();
  for (const PlayedAction& action : host.actions()) {
    if (action.event == kSaveEvent) write_save(json, action);
  }
  json.end_array();

  json.key("front").begin_array();
  for (FrontOutcome outcome : host.front()) json.string(front_outcome_name(outcome));
  json.end_array();

  json.key("messages").begin_array();
  for (const MessageRecord& m : host.messages()) {
    json.begin_object();
    json.key("caller").string(m.caller);
    json.key("selector").string(m.selector);
    json.key("result").integer(m.result);
    json.end_object();
  }
  json.end_array();

  json.key("answers").begin_array();
  for (const AnswerRecord& a : host.answers()) {
    json.begin_object();
    json.key("code").unsigned_integer(a.code);
    json.key("size").unsigned_integer(a.size);
    json.key("result").integer(a.result);
    json.key("taken").boolean(a.taken);
    json.end_object();
  }
  json.end_array();

  json.key("suites").begin_array();
  for (const SuiteEvent& e : host.suite_events()) {
    json.begin_object();
    json.key("op").string(e.acquire ? "acquire" : "release");
    json.key("name").string(e.name);
    json.key("version").integer(e.version);
    json.key("result").integer(e.result);
    json.end_object();
  }
  json.end_array();

  json.key("suite_counts").begin_array();
  for (const SuiteCount& c : host.suite_counts()) {
    json.begin_object();
    json.key("name").string(c.name);
    json.key("version").integer(c.version);
    json.key("acquired").unsigned_integer(c.acquired);
    json.key("released").unsigned_integer(c.released);
    json.end_object();
  }
  json.end_array();

  json.key("timers").begin_array();
  for (const auto& t : host.timers()) {
    json.begin_object();
    json.key("name").string(t->name);
    json.key("period").integer(t->period);
    json.key("active").boolean(t->active);
    json.key("fired").unsigned_integer(t->fired);
    json.end_object();
  }
  json.end_array();

  json.key("notifiers").begin_array();
  for (const auto& n : host.notifiers()) {
    json.begin_object();
    json.key("name").string(n->name);
    json.key("type").string(n->type);
    json.key("notified").unsigned_integer(n->notified);
    json.end_object();
  }
  json.end_array();

  json.key("alerts").begin_array();
  for (const std::string& text : host.alerts()) json.string(text);
  json.end_array();

  json.key("contexts").begin_object();
  json.key("pushed").unsigned_integer(host.contexts_pushed());
  json.key("popped").unsigned_integer(host.contexts_popped());
  json.end_object();

  const LiveCounts live = host.live();
  json.key("live").begin_object();
  json.key("strings").unsigned_integer(live.strings);
  json.key("file_paths").unsigned_integer(live.file_paths);
  json.key("blocks").unsigned_integer(live.blocks);
  json.key("dictionaries").unsigned_integer(live.dictionaries);
  json.key("param_blocks").unsigned_integer(live.param_blocks);
  json.key("art_arrays").unsigned_integer(live.art_arrays);
  json.key("artboard_lists").unsigned_integer(live.artboard_lists);
  json.key("artboard_properties").unsigned_integer(live.artboard_properties);
  json.key("profiles").unsigned_integer(live.profiles);
  json.key("contexts").unsigned_integer(live.contexts);
  json.key("access").unsigned_integer(live.access);
  json.end_object();

  json.key("calls").begin_object();
  for (const auto& [operation, count] : host.calls()) json.key(operation).unsigned_integer(count);
  json.end_object();

  json.key("ticks").unsigned_integer(host.host_ticks());

  json.key("error");
  if (error) {
    json.begin_object();
    json.key("line").integer(error->line);
    json.key("command").string(error->command);
    json.key("message").string(error->message);
    json.end_object();
  } else {
    json.null();
  }
  json.end_object();
  out += '\n';
  return out;
}

}  // namespace vxsim
