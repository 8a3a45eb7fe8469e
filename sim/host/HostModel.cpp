#include "HostModel.h"

#include <algorithm>
#include <stdexcept>

#include "HostActions.h"

namespace vxsim {

namespace {

HostModel*& current_model() {
  static HostModel* model = nullptr;
  return model;
}

}  // namespace

std::uint64_t fnv1a64(const void* bytes, std::size_t size) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

const char* action_param_type_name(ActionParam::Type type) {
  switch (type) {
    case ActionParam::eType_Integer:
      return "integer";
    case ActionParam::eType_Real:
      return "real";
    case ActionParam::eType_Boolean:
      return "boolean";
    case ActionParam::eType_String:
      return "string";
    case ActionParam::eType_Enumerated:
      return "enumerated";
  }
  return "?";
}

const char* front_outcome_name(FrontOutcome outcome) {
  switch (outcome) {
    case eFront_None:
      return "none";
    case eFront_Hung:
      return "hung";
    case eFront_Restored:
      return "restored";
    case eFront_AlreadyFront:
      return "already-front";
    case eFront_Activated:
      return "activated";
  }
  return "?";
}

HostModel::HostModel() {
  if (current_model() != nullptr) throw std::logic_error("HostModel: one host model per process at a time");
  current_model() = this;
  for (const char* name : kHostMenuGroups) {
    auto group = std::make_unique<ai::MenuGroupData>();
    group->name = name;
    group->host_owned = true;
    groups_.push_back(std::move(group));
  }
  // The host's actions that plug-ins play.
  effects_["adobe_makeGuide"] = make_guide;
  effects_["adobe_saveACopyAs"] = save_a_copy_as;
}

HostModel::~HostModel() {
  close_main_window();
  current_model() = nullptr;
}

HostModel* HostModel::current() { return current_model(); }

bool HostModel::fail(const std::string& operation, ai::Err code) {
  if (!is_known_operation(operation)) return false;
  if (code == 0) {
    failures_.erase(operation);
  } else {
    failures_[operation] = code;
  }
  return true;
}

ai::Err HostModel::injected(const std::string& operation) const {
  auto it = failures_.find(operation);
  return it == failures_.end() ? ai::kNoErr : it->second;
}

ai::Err HostModel::enter(const char* operation) {
  ++calls_[operation];
  return injected(operation);
}

void HostModel::set_action_effect(const std::string& event, ActionEffect effect) {
  effects_[event] = std::move(effect);
}

// --- Messages ----------------------------------------------------------------

ai::Err HostModel::send(const char* caller, const char* selector, ai::PluginMessageData* message) {
  if (main_ == nullptr) return kNotLoadedErr;
  message->check = ai::kMessageCheck;
  message->self = &plugin_;
  message->globals = globals_;
  message->basic = basic_suite();
  const ai::Err result = main_(caller, selector, message);
  globals_ = message->globals;
  messages_.push_back({caller, selector, result});
  note_front_state();
  return result;
}

ai::Err HostModel::startup() {
  if (started_) return ai::kBadParameterErr;
  ai::PluginMessageData message{};
  const ai::Err result = send(ai::kCallerInterface, ai::kSelectorStartup, &message);
  started_ = result == ai::kNoErr;
  if (!started_) remove_plugin_menus();
  return result;
}

ai::Err HostModel::shutdown() {
  if (!started_) return ai::kNoErr;
  // A plug-in is always reloaded before it hears anything else.
  if (unloaded_) {
    if (reload() != ai::kNoErr && unloaded_) {
      started_ = false;
      return kNotLoadedErr;
    }
  }
  ai::PluginMessageData message{};
  const ai::Err result = send(ai::kCallerInterface, ai::kSelectorShutdown, &message);
  started_ = false;
  remove_plugin_menus();
  return result;
}

void HostModel::remove_plugin_menus() {
  for (const auto& item : items_) item_set_.erase(item.get());
  for (const auto& group : groups_) {
    if (!group->host_owned) group->removed = true;
  }
}

ai::Err HostModel::unload() {
  if (!started_ || unloaded_) return ai::kBadParameterErr;
  ai::PluginMessageData message{};
  const ai::Err result = send(ai::kCallerAccess, ai::kSelectorUnload, &message);
  unloaded_ = true;
  return result;
}

ai::Err HostModel::reload() {
  if (!unloaded_) return ai::kBadParameterErr;
  ai::PluginMessageData message{};
  const ai::Err result = send(ai::kCallerAccess, ai::kSelectorReload, &message);
  if (result != kNotLoadedErr) unloaded_ = false;
  return result;
}

void HostModel::notify(const char* type) {
  if (!started_ || unloaded_) return;
  const std::size_t count = notifiers_.size();
  for (std::size_t i = 0; i < count; ++i) {
    ai::NotifierData* notifier = notifiers_[i].get();
    if (notifier->type != type) continue;
    ai::NotifierMessage message{};
    message.notifier = notifier;
    message.type = notifier->type.c_str();
    ++notifier->notified;
    send(ai::kCallerNotifier, ai::kSelectorNotify, &message.d);
  }
}

// --- Menus -------------------------------------------------------------------

void HostModel::update_menus() {
  if (!started_ || unloaded_) return;
  // Items the plug-in adds while updating wait for the next round.
  const std::size_t count = items_.size();
  for (std::size_t i = 0; i < count; ++i) {
    ai::MenuItemData* item = items_[i].get();
    if (!(item->options & ai::kMenuItemWantsUpdate) || item_set_.count(item) == 0) continue;
    ai::MenuMessage message{};
    message.menuItem = item;
    ++item->updates;
    send(ai::kCallerMenu, ai::kSelectorUpdate, &message.d);
  }
}

ai::MenuItemData* HostModel::find_item(const std::string& text) const {
  ai::MenuItemData* removed = nullptr;
  for (const auto& item : items_) {
    if (item->text.empty() || item->text != text) continue;
    if (item_set_.count(item.get()) != 0) return item.get();
    if (removed == nullptr) removed = item.get();
  }
  return removed;
}

bool HostModel::pick(ai::MenuItemData* item, std::string* why, ai::Err* result) {
  if (item == nullptr || item_set_.count(item) == 0) {
    *why = "no such menu item";
    return false;
  }
  if (!started_) {
    *why = "the plug-in is not running";
    return false;
  }
  if (unloaded_) {
    *why = "the plug-in is unloaded";
    return false;
  }
  update_menus();
  if (item->submenu != nullptr) {
    *why = "the item opens a submenu";
    return false;
  }
  if (!item->enabled) {
    *why = "the item is disabled";
    return false;
  }
  ai::MenuMessage message{};
  message.menuItem = item;
  ++item->picks;
  const ai::Err answer = send(ai::kCallerMenu, ai::kSelectorGo, &message.d);
  if (result) *result = answer;
  return true;
}

// --- Timers ------------------------------------------------------------------

void HostModel::send_timer(ai::TimerData* timer) {
  ai::TimerMessage message{};
  message.timer = timer;
  ++timer->fired;
  send(ai::kCallerTimer, ai::kSelectorGo, &message.d);
  if (parked_) {
    answers_[*parked_].taken = true;
    parked_.reset();
  }
}

std::uint64_t HostModel::advance_ticks(std::uint64_t ticks) {
  std::uint64_t sent = 0;
  while (ticks > 0) {
    const bool deliver = started_ && !unloaded_;
    std::uint64_t step = ticks;
    if (deliver) {
      for (const auto& t : timers_) {
        if (t->active) step = std::min<std::uint64_t>(step, static_cast<std::uint64_t>(t->countdown));
      }
    }
    host_ticks_ += step;
    ticks -= step;
    if (!deliver) continue;  // timers hold while the plug-in cannot hear them
    // The timers due at this tick fire in the order they were added; a
    // handler may switch later ones off before their turn.
    std::vector<ai::TimerData*> due;
    for (const auto& t : timers_) {
      if (!t->active) continue;
      t->countdown -= static_cast<std::int32_t>(step);
      if (t->countdown <= 0) due.push_back(t.get());
    }
    for (ai::TimerData* t : due) {
      if (!t->active || !started_ || unloaded_) continue;
      t->countdown = t->period;
      send_timer(t);
      ++sent;
    }
  }
  return sent;
}

std::uint64_t HostModel::tick_now() {
  if (!started_ || unloaded_) return 0;
  std::vector<ai::TimerData*> active;
  for (const auto& t : timers_) {
    if (t->active) active.push_back(t.get());
  }
  std::uint64_t sent = 0;
  for (ai::TimerData* t : active) {
    if (!t->active || !started_ || unloaded_) continue;
    t->countdown = t->period;
    send_timer(t);
    ++sent;
  }
  return sent;
}

std::uint64_t HostModel::ticks_to_next_timer() const {
  if (!started_ || unloaded_) return 0;
  std::uint64_t next = 0;
  for (const auto& t : timers_) {
    if (!t->active) continue;
    const auto countdown = static_cast<std::uint64_t>(std::max(t->countdown, 1));
    if (next == 0 || countdown < next) next = countdown;
  }
  return next;
}

// --- Documents ---------------------------------------------------------------

ai::DocumentData* HostModel::new_document(double width, double height, std::optional<std::string> path) {
  auto document = std::make_unique<ai::DocumentData>();
  document->path = std::move(path);
  document->width = width;
  document->height = height;
  document->artboards.push_back({0, height, width, 0});
  current_ = document.get();
  open_documents_.insert(document.get());
  documents_.push_back(std::move(document));
  return current_;
}

ai::ArtData* HostModel::add_rectangle(double x, double y, double w, double h, double grey) {
  if (current_ == nullptr) return nullptr;
  auto art = std::make_unique<ai::ArtData>();
  art->document = current_;
  art->type = ai::kArtType_Path;
  art->paint_order = ai::kPaintOrder_PlaceAboveAll;
  art->closed = true;
  for (const ai::RealPoint p : {ai::RealPoint{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}) {
    art->segments.push_back({p, p, p, true});
  }
  art->paint.fill = grey;
  art->paint.stroke.reset();
  current_->art.push_back(art.get());
  live_art_.insert(art.get());
  art_.push_back(std::move(art));
  return art_.back().get();
}

bool HostModel::close_document() {
  if (current_ == nullptr) return false;
  ai::DocumentData* closing = current_;
  closing->open = false;
  open_documents_.erase(closing);
  for (ai::ArtData* art : closing->art) {
    art->alive = false;
    live_art_.erase(art);
  }
  closing->art.clear();
  current_ = nullptr;
  for (auto it = documents_.rbegin(); it != documents_.rend(); ++it) {
    if ((*it)->open) {
      current_ = it->get();
      break;
    }
  }
  return true;
}

std::vector<ai::DocumentData*> HostModel::documents() const {
  std::vector<ai::DocumentData*> open;
  for (const auto& document : documents_) {
    if (document->open) open.push_back(document.get());
  }
  return open;
}

// --- What happened -----------------------------------------------------------

std::vector<SuiteCount> HostModel::suite_counts() const {
  std::vector<SuiteCount> counts;
  for (const auto& [key, count] : suite_counts_) counts.push_back(count);
  return counts;
}

std::vector<FrontOutcome> HostModel::front() const {
  std::vector<FrontOutcome> outcomes;
  for (const FrontRecord& record : front_) outcomes.push_back(record.outcome);
  return outcomes;
}

LiveCounts HostModel::live() const {
  LiveCounts counts;
  counts.strings = strings_.size();
  counts.file_paths = file_paths_.size();
  counts.blocks = blocks_.size();
  counts.dictionaries = dictionaries_.size();
  counts.param_blocks = param_blocks_.size();
  counts.art_arrays = art_arrays_.size();
  counts.artboard_lists = artboard_lists_.size();
  counts.artboard_properties = artboard_properties_.size();
  counts.profiles = profiles_.size();
  counts.contexts = contexts_.size();
  counts.access = access_.size();
  return counts;
}

bool HostModel::answer_taken_since(std::size_t since) const {
  for (std::size_t i = since; i < answers_.size(); ++i) {
    if (answers_[i].taken) return true;
  }
  return false;
}

}  // namespace vxsim
