#include "Documents.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "AIUnicodeString.h"
#include "DocumentJob.h"
#include "HostDocument.h"
#include "JobSizes.h"
#include "datastruct/BJobFile.h"
#include "platform/Platform.h"
#include "utils/Logger.h"
#include "utils/UFileSpecCore.h"

namespace {

constexpr const char* kSourceFile = "Source\\VXIllustrator";
constexpr vxu::LogSite kSiteNewDetails{kSourceFile, 1337, "HandleNewDetailsReply"};
constexpr vxu::LogSite kSiteNoUsableSize{kSourceFile, __LINE__, "HandleNewDetailsReply"};
constexpr vxu::LogSite kSiteNewDocumentNotCurrent{kSourceFile, __LINE__, "HandleNewDetailsReply"};
constexpr vxu::LogSite kSiteNewDocumentFailed{kSourceFile, 772, "NewDoc"};
constexpr vxu::LogSite kSiteNoGuides{kSourceFile, __LINE__, "AdjustDocument"};
constexpr vxu::LogSite kSiteSelectFailed{kSourceFile, 485, "MakeGuides"};
constexpr vxu::LogSite kSitePathFailed{kSourceFile, __LINE__, "MakeGuides"};
constexpr vxu::LogSite kSiteActionFailed{kSourceFile, 462, "DoAction"};
constexpr vxu::LogSite kSiteProfileSize{kSourceFile, 513, "load_profile"};
constexpr vxu::LogSite kSiteProfileRefused{kSourceFile, __LINE__, "load_profile"};
constexpr vxu::LogSite kSiteDetailsRequest{kSourceFile, 326, "BuildDetailsRequest"};

// The host's version from which guides sit on artboard 0 instead of the page.
constexpr std::int32_t kArtboardVersion = 14;
// The host's version from which AdjustSize resizes artboard 0 instead of
// drawing bleed guides.
constexpr std::int32_t kResizeArtboardVersion = 15;

// The new-document preset's values besides the size.
constexpr std::int32_t kPresetArtboards = 1;
constexpr std::int32_t kPresetColorModel = 2;
constexpr std::int32_t kPresetRulerUnits = 3;

// The six sizes as the records show them: trim, bleed, type area.
vxu::LogRecord& operator<<(vxu::LogRecord& record, const JobSizes& s) {
  return record << s.trimWidth << "," << s.trimHeight << "," << s.bleedWidth << "," << s.bleedHeight << ","
                << s.typeWidth << "," << s.typeHeight;
}

// A new path that is disposed of (unlocked first) unless it is kept.
class PathGuard {
 public:
  explicit PathGuard(ai::ArtHandle art) : art_(art) {}
  ~PathGuard() {
    if (art_ == nullptr || ai::suite::art == nullptr) return;
    ai::suite::art->SetArtUserAttr(art_, ai::kArtAttr_Locked, 0);
    ai::suite::art->DisposeArt(art_);
  }
  PathGuard(const PathGuard&) = delete;
  PathGuard& operator=(const PathGuard&) = delete;
  void Keep() { art_ = nullptr; }

 private:
  ai::ArtHandle art_;
};

// Sets the guide tags in the art's dictionary.
ai::Err TagGuide(ai::ArtHandle art, bool trim) {
  HeldDictionary dictionary;
  ai::Err err = Held(ai::suite::art).GetDictionary(art, dictionary.out());
  if (err == ai::kNoErr && !dictionary) err = ai::kBadParameterErr;
  const ai::DictionarySuite& dictionaries = Held(ai::suite::dictionary);
  if (err == ai::kNoErr) {
    const ai::DictKey key = DictionaryKey(kGuideTagKey, &err);
    if (err == ai::kNoErr) err = dictionaries.SetBooleanEntry(dictionary.get(), key, true);
  }
  if (err == ai::kNoErr && trim) {
    const ai::DictKey key = DictionaryKey(kTrimGuideTagKey, &err);
    if (err == ai::kNoErr) err = dictionaries.SetBooleanEntry(dictionary.get(), key, true);
  }
  return err;
}

// Whether the art's dictionary holds GuideTag = true.
bool IsTaggedGuide(ai::ArtHandle art) {
  HeldDictionary dictionary;
  if (Held(ai::suite::art).GetDictionary(art, dictionary.out()) != ai::kNoErr || !dictionary) return false;
  ai::Err err = ai::kNoErr;
  const ai::DictKey key = DictionaryKey(kGuideTagKey, &err);
  bool tagged = false;
  return err == ai::kNoErr &&
         Held(ai::suite::dictionary).GetBooleanEntry(dictionary.get(), key, &tagged) == ai::kNoErr && tagged;
}

// Artboard 0 of the current document, held while the object lives.
class FirstArtboard {
 public:
  FirstArtboard() {
    const ai::ArtboardSuite& artboards = Held(ai::suite::artboard);
    if (artboards.GetArtboardList(&list_) != ai::kNoErr) list_ = nullptr;
    if (list_ != nullptr && artboards.GetArtboardProperties(list_, 0, &properties_) != ai::kNoErr)
      properties_ = nullptr;
    ok_ = properties_ != nullptr && artboards.GetPosition(properties_, &bounds_) == ai::kNoErr;
  }
  ~FirstArtboard() {
    if (ai::suite::artboard == nullptr) return;
    if (properties_ != nullptr) ai::suite::artboard->DisposeArtboardProperties(properties_);
    if (list_ != nullptr) ai::suite::artboard->ReleaseArtboardList(list_);
  }
  FirstArtboard(const FirstArtboard&) = delete;
  FirstArtboard& operator=(const FirstArtboard&) = delete;

  bool ok() const { return ok_; }
  const ai::RealRect& bounds() const { return bounds_; }
  // Moves the artboard to bounds and writes it back to the document.
  bool Move(const ai::RealRect& bounds) {
    const ai::ArtboardSuite& artboards = Held(ai::suite::artboard);
    return artboards.SetPosition(properties_, &bounds) == ai::kNoErr &&
           artboards.Update(list_, 0, properties_) == ai::kNoErr;
  }

 private:
  ai::ArtboardListRef list_ = nullptr;
  ai::ArtboardProperties properties_ = nullptr;
  ai::RealRect bounds_{};
  bool ok_ = false;
};

// Draws the guides of AdjustDocument (see Documents.h) for sizes.
void DrawGuides(const JobSizes& sizes, bool resizeArtboard) {
  ai::AcquiredSuite<ai::RuntimeSuite> runtime(ai::suite::basic, ai::kRuntimeSuite, ai::kRuntimeSuiteVersion);
  ai::AcquiredSuite<ai::PathSuite> paths(ai::suite::basic, ai::kPathSuite, ai::kPathSuiteVersion);
  std::int32_t version = 0;
  ai::Err err = !runtime ? runtime.error() : !paths ? paths.error() : runtime->GetAppMajorVersion(&version);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNoGuides) << "ILLE " << static_cast<int>(err);
    return;
  }

  double width = 0, height = 0, ox = 0, oy = 0;
  std::optional<FirstArtboard> artboard;
  if (version < kArtboardVersion) {
    ai::RealPoint page{};
    if (Held(ai::suite::document).GetDocumentPageSize(&page) != ai::kNoErr) return;
    width = page.h;
    height = page.v;
  } else {
    artboard.emplace();
    if (!artboard->ok()) return;
    const ai::RealRect& b = artboard->bounds();
    width = std::fabs(b.right - b.left);
    height = std::fabs(b.top - b.bottom);
    ox = b.left;
    oy = b.bottom;
  }

  // Each rectangle centred on the page or artboard.
  const auto centred = [&](double w, double h, bool trim) {
    MakeGuides(paths.get(), ox + (width - w) / 2, oy + (height - h) / 2, w, h, trim);
  };
  if (sizes.typeWidth != 0 || sizes.typeHeight != 0) centred(sizes.typeWidth, sizes.typeHeight, false);
  if (sizes.bleedWidth != sizes.trimWidth || sizes.bleedHeight != sizes.trimHeight)
    centred(sizes.trimWidth, sizes.trimHeight, true);
  if (!resizeArtboard) return;
  if (version < kResizeArtboardVersion) {
    centred(sizes.bleedWidth, sizes.bleedHeight, false);
  } else if (artboard) {
    ai::RealRect resized;
    resized.left = ox + (width - sizes.bleedWidth) / 2;
    resized.bottom = oy + (height - sizes.bleedHeight) / 2;
    resized.top = resized.bottom + sizes.bleedHeight;
    resized.right = resized.left + sizes.bleedWidth;
    artboard->Move(resized);
  }
}

// The document's full path as text, "?" when the host cannot give it.
ustring DocumentPath() {
  ai::FilePathRef path = nullptr;
  if (Held(ai::suite::document).GetDocumentFileSpecification(&path) != ai::kNoErr || path == nullptr)
    return "?";
  const ai::FilePathSuite& files = Held(ai::suite::filePath);
  ai::UnicodeStringRef text = nullptr;
  ustring result = "?";
  if (files.GetFullPath(path, &text) == ai::kNoErr && text != nullptr) {
    const ai::UnicodeStringSuite& strings = Held(ai::suite::unicodeString);
    const char* utf8 = nullptr;
    std::size_t length = 0;
    if (strings.GetUTF8(text, &utf8, &length) == ai::kNoErr && utf8 != nullptr)
      result = ustring(std::string_view(utf8, length));
    strings.DisposeString(text);
  }
  files.DisposeFilePath(path);
  return result;
}

}  // namespace

void HandleNewDetailsReply(std::istream& stream, BJobFile& job) {
  job.ReadJob(stream, eJobFileContent_Full);
  const JobSizes sizes = JobSizesOf(job);
  if (!sizes.Usable()) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNoUsableSize) << "no usable size, no document: " << sizes;
    return;
  }
  VX_LOG(vxu::eLogLevel_Debug, kSiteNewDetails) << "new details " << sizes;

  ai::AcquiredSuite<ai::DocumentListSuite> list(ai::suite::basic, ai::kDocumentListSuite,
                                                ai::kDocumentListSuiteVersion);
  if (!list) return;
  const ai::DocumentHandle made = NewDoc(list.get(), sizes.bleedWidth, sizes.bleedHeight);
  if (made == nullptr) return;
  // Every host call below works on the current document: it must be the new
  // one, or the job and its guides would land in another.
  if (CurrentDocument() != made) {
    VX_LOG(vxu::eLogLevel_Error, kSiteNewDocumentNotCurrent) << "the new document is not the current one";
    return;
  }
  PutIntoDocumentSLUG(job, ai::suite::document);
  AdjustDocument(true, false);
}

ai::DocumentHandle NewDoc(const ai::DocumentListSuite* suite, double width, double height) {
  ai::DocumentHandle document = nullptr;
  ai::Err err = ai::kNoErr;
  try {
    const ai::UnicodeString title("");
    ai::NewDocumentPreset preset;
    std::memset(&preset, 0, sizeof preset);
    preset.title = title.get();
    preset.width = width;
    preset.height = height;
    preset.artboardCount = kPresetArtboards;
    preset.field28 = 0;
    preset.field32 = 0.0;
    preset.field40 = 1;
    preset.colorModel = kPresetColorModel;
    preset.rulerUnits = kPresetRulerUnits;
    preset.field52 = 2;
    preset.field56 = 1;
    preset.field60 = 2;
    err = Held(suite).New("", &preset, 0, &document);
    if (err == ai::kNoErr && document == nullptr) err = ai::kBadParameterErr;
  } catch (const ai::Error& error) {
    err = error.code();
  }
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNewDocumentFailed) << "New document failed " << static_cast<int>(err);
    return nullptr;
  }
  return document;
}

void AdjustDocument(bool guides, bool resizeArtboard) {
  if (!DocumentIsOpen()) return;
  BJobFile job;
  if (!CreateFromDocumentSLUG(job)) return;
  const JobSizes sizes = JobSizesOf(job);
  if (sizes.Usable()) {
    if (guides) RemoveGuides();
    job.SetLayoutBleedH((sizes.bleedWidth - sizes.trimWidth) / 2);
    job.SetLayoutBleedV((sizes.bleedHeight - sizes.trimHeight) / 2);
    job.SetLayoutWidth(sizes.trimWidth);
    job.SetLayoutDepth(sizes.trimHeight);
    if (guides) DrawGuides(sizes, resizeArtboard);
  }
  // The copy read back holds no check settings: its profiles are not applied.
  PutIntoDocumentSLUG(job, ai::suite::document, false);
}

bool MakeGuides(const ai::PathSuite* paths, double x, double y, double w, double h, bool trim) {
  const ai::ArtSuite& arts = Held(ai::suite::art);
  ai::ArtHandle art = nullptr;
  if (arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &art) != ai::kNoErr ||
      art == nullptr)
    return false;
  PathGuard guard(art);

  const ai::RealPoint corners[4] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
  ai::PathSegment segments[4];
  for (int i = 0; i < 4; ++i) segments[i] = {corners[i], corners[i], corners[i], true};
  const ai::PathSuite& path = Held(paths);
  ai::Err err = path.SetPathSegmentCount(art, 4);
  if (err == ai::kNoErr) err = path.SetPathSegments(art, 0, 4, segments);
  if (err == ai::kNoErr) err = path.SetPathClosed(art, true);
  if (err == ai::kNoErr) err = TagGuide(art, trim);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSitePathFailed) << "ILLE " << static_cast<int>(err);
    return false;
  }

  err = Held(ai::suite::matchingArt).DeselectAll();
  if (err == ai::kNoErr) err = arts.SetArtUserAttr(art, ai::kArtAttr_Selected, ai::kArtAttr_Selected);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteSelectFailed) << "ILLE " << static_cast<int>(err);
    return false;
  }
  Held(ai::suite::document).SyncBeforeAction();
  // A path that did not become a guide would print: the guard disposes of it.
  if (!DoAction(kMakeGuideAction)) return false;
  arts.SetArtUserAttr(art, ai::kArtAttr_Locked, ai::kArtAttr_Locked);
  guard.Keep();
  return true;
}

void RemoveGuides() {
  const ai::MatchingArtSpec every{ai::kArtType_Any, 0, 0};
  ai::ArtHandle* matches = nullptr;
  std::int32_t count = 0;
  if (Held(ai::suite::matchingArt).GetMatchingArt(&every, 1, &matches, &count) != ai::kNoErr) return;
  const ai::ArtSuite& arts = Held(ai::suite::art);
  for (std::int32_t i = 0; matches != nullptr && i < count; ++i) {
    if (!IsTaggedGuide(matches[i])) continue;
    arts.SetArtUserAttr(matches[i], ai::kArtAttr_Locked, 0);
    arts.DisposeArt(matches[i]);
  }
  if (matches != nullptr) Held(ai::suite::mdMemory).DisposeArray(matches);
}

bool DoAction(const char* name) {
  const ai::Err err = Held(ai::suite::actionManager).PlayActionEvent(name, ai::kDialogStatusNone, nullptr);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteActionFailed) << "ILLE " << static_cast<int>(err);
    return false;
  }
  return true;
}

void ApplyColourProfiles(BJobFile& job, const ai::DocumentSuite* document) {
  const BCheckSetting* setting = job.checkSettings().Find(kWorkingSpaceProfilesSetting);
  if (setting == nullptr) return;
  std::optional<ai::AcquiredSuite<ai::ColorConversionSuite>> conversion;
  ai::ColorProfile profiles[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    if (setting->textNotSet(i)) continue;
    // The file's bytes live only until the host has made its profile.
    const std::optional<std::string> bytes = load_profile(setting->text(i));
    if (!bytes) continue;
    if (!conversion)
      conversion.emplace(ai::suite::basic, ai::kColorConversionSuite, ai::kColorConversionSuiteVersion);
    if (!*conversion ||
        (*conversion)->ProfileFromBytes(bytes->data(), bytes->size(), &profiles[i]) != ai::kNoErr)
      profiles[i] = nullptr;
  }
  Held(document).SetDocumentProfiles(profiles[0], profiles[1], profiles[2]);
  // The document keeps what it needs: the plug-in's handles go back.
  for (ai::ColorProfile profile : profiles)
    if (profile != nullptr && conversion && *conversion) (*conversion)->FreeProfile(profile);
}

std::optional<std::string> load_profile(const ustring& path) {
  UFileSpecCore file;
  if (!UFileSpecCore::is_absolute_path(path) || !file.set_path(path)) return std::nullopt;
  const std::wstring native = file.native_path();
  if (native.empty()) return std::nullopt;
  vxp::Platform& os = vxp::Platform::Default();
  const vxp::FileStatus status = os.file_status(native);
  if (!status.exists) return std::nullopt;
  // A pipe or a device would block the host, or never end.
  if (!status.is_regular) {
    VX_LOG(vxu::eLogLevel_Error, kSiteProfileRefused)
        << "colour profile " << path << " is not a regular file";
    return std::nullopt;
  }
  std::uint64_t size = 0;
  if (!os.file_size(native, &size)) size = 0;
  VX_LOG(vxu::eLogLevel_Debug, kSiteProfileSize) << "len = " << static_cast<unsigned long long>(size);
  if (size == 0 || size > kMaxProfileBytes) {
    VX_LOG(vxu::eLogLevel_Error, kSiteProfileRefused)
        << "colour profile " << path << " of " << static_cast<unsigned long long>(size) << " bytes refused";
    return std::nullopt;
  }
  std::FILE* in = os.open_file(native, "rb");
  if (in == nullptr) {
    VX_LOG(vxu::eLogLevel_Error, kSiteProfileRefused) << "colour profile " << path << " cannot be opened";
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), in);
  std::fclose(in);
  if (read != bytes.size()) {
    VX_LOG(vxu::eLogLevel_Error, kSiteProfileRefused)
        << "colour profile " << path << ": " << static_cast<unsigned long long>(read) << " of "
        << static_cast<unsigned long long>(size) << " bytes read";
    return std::nullopt;
  }
  return bytes;
}

bool BuildDetailsRequest(std::ostream& out) {
  BJobFile job;
  bool result = false;
  if (DocumentIsOpen()) {
    if (CreateFromDocumentSLUG(job)) {
      job.SetValueLC(1);
      const JobSizes sizes = JobSizesOf(job);
      if (sizes.Usable()) {
        VX_LOG(vxu::eLogLevel_Debug, kSiteDetailsRequest) << "details request " << sizes;
        job.SetLayoutWidth(sizes.trimWidth);
        job.SetLayoutDepth(sizes.trimHeight);
        result = true;
      }
    } else {
      job.SetValueLC(1);
      ai::RealPoint page{};
      if (Held(ai::suite::document).GetDocumentPageSize(&page) == ai::kNoErr) {
        job.SetLayoutWidth(page.h);
        job.SetLayoutDepth(page.v);
      }
    }
    job.SetDocumentName(DocumentPath());
  }
  job.SetFlagSE(false);
  job.SetCombineGroups(false);
  job.WriteJob(out, eJobFileContent_Full);
  return result;
}
