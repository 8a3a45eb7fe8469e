#include "HostActions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/Platform.h"
#include "utils/utf.h"

namespace vxsim {

namespace {

// The compatibility values of 'comp' and the PDF versions they stand for.
constexpr std::int64_t kFirstCompatibility = 19;  // PDF 1.3
constexpr std::int64_t kLastCompatibility = 23;   // PDF 1.7
constexpr int kDefaultMinorVersion = 3;

// The last value set for key, or null.
const ActionParam* last_param(const PlayedAction& action, const char (&key)[5]) {
  const ai::Err code = ai::FourCC(key);
  const ActionParam* found = nullptr;
  for (const ActionParam& p : action.params) {
    if (p.key == code) found = &p;
  }
  return found;
}

struct Bounds {
  double left = 0;
  double bottom = 0;
  double right = 0;
  double top = 0;
  bool encloses(const Bounds& b) const {
    return left <= b.left && bottom <= b.bottom && right >= b.right && top >= b.top;
  }
};

Bounds anchor_bounds(const ai::ArtData& art) {
  Bounds b{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (const ai::PathSegment& s : art.segments) {
    b.left = std::min(b.left, s.p.h);
    b.right = std::max(b.right, s.p.h);
    b.bottom = std::min(b.bottom, s.p.v);
    b.top = std::max(b.top, s.p.v);
  }
  return b;
}

bool is_trim_guide(const ai::ArtData& art) {
  auto it = art.dictionary->find(kTrimGuideKey);
  return it != art.dictionary->end() && it->second.type == DictionaryEntry::eType_Boolean && it->second.flag;
}

// Writes bytes to a new file beside path, then puts it in path's place.
bool write_file_replacing(const std::string& path, const std::string& bytes, std::string* error) {
  vxp::Platform& os = vxp::Platform::Default();
  std::wstring target;
  vxu::utf8_to_utf16(path, target);
  if (os.file_status(target).is_directory) {
    *error = "a folder has the name " + path;
    return false;
  }
  static unsigned serial = 0;
  const std::string suffix =
      ".vxhost-" + std::to_string(os.current_process_id()) + "-" + std::to_string(++serial) + ".part";
  std::wstring partial;
  vxu::utf8_to_utf16(path + suffix, partial);
  std::FILE* file = os.open_file(partial, "wb");
  if (file == nullptr) {
    *error = "cannot create a file beside " + path;
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    os.delete_file(partial);
    *error = "cannot write " + path;
    return false;
  }
  if (os.file_status(target).exists && !os.delete_file(target)) {
    os.delete_file(partial);
    *error = "cannot replace " + path;
    return false;
  }
  if (!os.move_path(partial, target)) {
    os.delete_file(partial);
    *error = "cannot move the new file to " + path;
    return false;
  }
  return true;
}

bool write_page(const vxpdf::Page& page, int minor_version, const std::string& path, std::string* error) {
  std::string bytes;
  std::string why;
  if (!vxpdf::WritePdf(page, minor_version, &bytes, &why)) {
    *error = "the document cannot be written as PDF: " + why;
    return false;
  }
  return write_file_replacing(path, bytes, error);
}

}  // namespace

bool is_absolute_path(const std::string& path) {
  if (vxp::Platform::Default().path_style() == vxp::ePathStyle_Posix) return !path.empty() && path[0] == '/';
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      separator(path[2])) {
    return true;
  }
  return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

ai::Err make_guide(HostModel& host, PlayedAction&) {
  ai::DocumentData* document = host.current_document();
  if (document == nullptr) return ai::kNoDocumentErr;
  bool any = false;
  for (ai::ArtData* art : document->art) {
    if (art->type == ai::kArtType_Path && (art->attributes & ai::kArtAttr_Selected)) {
      art->guide = true;
      any = true;
    }
  }
  return any ? ai::kNoErr : kNothingSelectedErr;
}

ai::Err save_a_copy_as(HostModel& host, PlayedAction& action) {
  SaveRecord& save = action.save.emplace();
  const ai::DocumentData* document = host.current_document();
  if (document == nullptr) {
    save.error = "no document is open";
    return ai::kNoDocumentErr;
  }
  const ActionParam* name = last_param(action, "name");
  if (name == nullptr) {
    save.error = "the parameter block has no 'name'";
    return ai::kBadParameterErr;
  }
  if (name->type != ActionParam::eType_String) {
    save.error = "'name' is not a string";
    return ai::kBadParameterErr;
  }
  save.path = name->text;
  if (!is_absolute_path(name->text)) {
    save.error = "'name' is not an absolute path";
    return ai::kBadParameterErr;
  }
  int minor_version = kDefaultMinorVersion;
  if (const ActionParam* comp = last_param(action, "comp")) {
    if (comp->type != ActionParam::eType_Enumerated && comp->type != ActionParam::eType_Integer) {
      save.error = "'comp' is not an enumerated value";
      return ai::kBadParameterErr;
    }
    if (comp->integer < kFirstCompatibility || comp->integer > kLastCompatibility) {
      save.error = "'comp' " + std::to_string(comp->integer) + " is not a compatibility this host knows (" +
                   std::to_string(kFirstCompatibility) + " to " + std::to_string(kLastCompatibility) + ")";
      return ai::kBadParameterErr;
    }
    minor_version = static_cast<int>(comp->integer - kFirstCompatibility) + 3;
  }
  const vxpdf::Page page = document_page(*document, false);
  if (!write_page(page, minor_version, name->text, &save.error)) return kCannotWriteErr;
  save.written = true;
  save.minor_version = minor_version;
  save.width = page.width;
  save.height = page.height;
  return ai::kNoErr;
}

vxpdf::Page document_page(const ai::DocumentData& document, bool guides) {
  const ai::RealRect frame = document.artboards.empty() ? ai::RealRect{0, document.height, document.width, 0}
                                                        : document.artboards.front();
  const double left = std::min(frame.left, frame.right);
  const double bottom = std::min(frame.top, frame.bottom);
  vxpdf::Page page;
  page.width = std::fabs(frame.right - frame.left);
  page.height = std::fabs(frame.top - frame.bottom);
  const auto point = [&](const ai::RealPoint& p) { return vxpdf::Point{p.h - left, p.v - bottom}; };

  std::vector<Bounds> trims;
  for (const ai::ArtData* art : document.art) {
    if (art->type != ai::kArtType_Path) continue;
    if (art->guide) {
      if (is_trim_guide(*art)) trims.push_back(anchor_bounds(*art));
      continue;
    }
    vxpdf::Path path;
    for (const ai::PathSegment& s : art->segments)
      path.anchors.push_back({point(s.p), point(s.in), point(s.out)});
    path.closed = art->closed;
    if (art->paint.fill) path.fill = vxpdf::Colour::Grey(*art->paint.fill);
    if (art->paint.stroke) path.stroke = vxpdf::Colour::Grey(*art->paint.stroke);
    path.line_width = art->paint.stroke_width;
    page.paths.push_back(std::move(path));
  }
  if (!guides) return page;

  for (const ai::ArtData* art : document.art) {
    if (art->type != ai::kArtType_Path || !art->guide || art->segments.empty()) continue;
    const Bounds b = anchor_bounds(*art);
    vxpdf::Colour colour = kOtherGuideColour;
    if (is_trim_guide(*art)) {
      colour = kTrimGuideColour;
    } else if (std::any_of(trims.begin(), trims.end(), [&](const Bounds& t) { return b.encloses(t); })) {
      colour = kBleedGuideColour;
    }
    const vxpdf::Point corner = point({b.left, b.bottom});
    page.guides.push_back({corner.x, corner.y, b.right - b.left, b.top - b.bottom, colour});
  }
  return page;
}

bool write_document_pdf(const ai::DocumentData& document, bool guides, int minor_version,
                        const std::string& path, std::string* error) {
  return write_page(document_page(document, guides), minor_version, path, error);
}

}  // namespace vxsim
