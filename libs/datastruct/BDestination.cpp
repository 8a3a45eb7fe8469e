#include "datastruct/BDestination.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "datastruct/JobLimits.h"
#include "datastruct/KeyStreamScope.h"

namespace {

constexpr std::uint16_t kCC = make_key("CC"), kRC = make_key("RC"), kR1 = make_key("R1"),
                        kNC = make_key("NC"), kN1 = make_key("N1"), kSC = make_key("SC"),
                        kS1 = make_key("S1"), kStyle = make_key("St"), kCN = make_key("CN"),
                        kCo = make_key("Co"), kNS = make_key("NS"), kWidth = make_key("SX"),
                        kDepth = make_key("SY"), kExported = make_key("Ex"), kMK = make_key("MK"),
                        kReadOnly = make_key("Ro"), kBleedLeft = make_key("Bl"), kBleedRight = make_key("Br"),
                        kBleedTop = make_key("Bt"), kBleedBottom = make_key("Bb"),
                        kIndentLeft = make_key("Tl"), kIndentRight = make_key("Tr"),
                        kIndentTop = make_key("Tt"), kIndentBottom = make_key("Tb"), kBleedX = make_key("BX"),
                        kBleedY = make_key("BY"), kTypeWidth = make_key("TX"), kTypeDepth = make_key("TY"),
                        kIdentifier = make_key("ID"), kUserFields = make_key("UF"),
                        kUserCode = make_key("UP"), kUserType = make_key("Uf"), kUserLabel = make_key("UT"),
                        kUserValue = make_key("UV");

// Codes of user fields that readers drop: the empty code, and "RDts", which
// Veloxa sends for its own bookkeeping.
const ustring kDroppedUserField("RDts");

// The identifier as an int field when that int reads back as the same text:
// the canonical decimal form of 0 to 2^31 - 1 ("0", "123"; not "007", not
// "2147483648"), or the empty text, which travels as 0.
bool integer_identifier(const ustring& text, std::int32_t& value) {
  const std::size_t n = text.size();
  if (n == 0) {
    value = 0;
    return true;
  }
  if (n > 10 || (n > 1 && text[0] == '0')) return false;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > INT32_MAX) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

BDestination::~BDestination() = default;

void BDestination::SetCC(const ustring& text) { textCC_ = text; }

void BDestination::SetRC(const ustring& text) {
  textRC_ = text;
  textR1_.clear();
}

void BDestination::SetNC(const ustring& text) {
  textNC_ = text;
  textN1_.clear();
}

void BDestination::SetSC(const ustring& text) {
  textSC_ = text;
  textS1_.clear();
}

bool BDestination::IsSpecial() const { return false; }

void BDestination::SetBleeds(double left, double right, double top, double bottom) {
  bleedLeft_ = left;
  bleedRight_ = right;
  bleedTop_ = top;
  bleedBottom_ = bottom;
}

void BDestination::SetIndents(double left, double right, double top, double bottom) {
  indentLeft_ = left;
  indentRight_ = right;
  indentTop_ = top;
  indentBottom_ = bottom;
}

bool BDestination::SameContent(const BDestination& other) const {
  if (userFields_.size() != other.userFields_.size()) return false;
  for (std::size_t i = 0; i < userFields_.size(); ++i) {
    if (!userFields_[i].SameContent(other.userFields_[i])) return false;
  }
  return valueCo_ == other.valueCo_ && width_ == other.width_ && depth_ == other.depth_ &&
         bleedLeft_ == other.bleedLeft_ && bleedRight_ == other.bleedRight_ && bleedTop_ == other.bleedTop_ &&
         bleedBottom_ == other.bleedBottom_ && indentLeft_ == other.indentLeft_ &&
         indentRight_ == other.indentRight_ && indentTop_ == other.indentTop_ &&
         indentBottom_ == other.indentBottom_ && textCC_ == other.textCC_ && textRC_ == other.textRC_ &&
         textNC_ == other.textNC_ && textSC_ == other.textSC_ && textR1_ == other.textR1_ &&
         textN1_ == other.textN1_ && textS1_ == other.textS1_ && textNS_ == other.textNS_ &&
         textCN_ == other.textCN_ && identifier_ == other.identifier_ && exported_ == other.exported_ &&
         readOnly_ == other.readOnly_ && textMK_ == other.textMK_ && style_ == other.style_;
}

void BDestination::WriteRecord(UKeyOutStream& w) const {
  w.key(kCC).write(textCC_);
  w.key(kRC).write(textRC_);
  w.key(kR1).write(textR1_);
  w.key(kNC).write(textNC_);
  w.key(kN1).write(textN1_);
  w.key(kSC).write(textSC_);
  w.key(kS1).write(textS1_);

  w.key(kStyle).write(style_);
  w.key(kCN).write(textCN_);
  w.key(kCo).write(valueCo_);
  w.key(kNS).write(textNS_);
  w.key(kWidth).write(width_);
  w.key(kDepth).write(depth_);
  w.key(kExported).write(exported_);
  w.key(kMK).write(textMK_);
  w.key(kReadOnly).write(readOnly_);

  w.key(kBleedLeft).write(bleedLeft_);
  w.key(kBleedRight).write(bleedRight_);
  w.key(kBleedTop).write(bleedTop_);
  w.key(kBleedBottom).write(bleedBottom_);
  w.key(kIndentLeft).write(indentLeft_);
  w.key(kIndentRight).write(indentRight_);
  w.key(kIndentTop).write(indentTop_);
  w.key(kIndentBottom).write(indentBottom_);

  std::int32_t id = 0;
  if (integer_identifier(identifier_, id)) {
    w.key(kIdentifier).write(id);
  } else {
    w.key(kIdentifier).write(identifier_);
  }

  if (userFields_.empty()) return;
  w.begin_record(kUserFields);
  for (const UserField& field : userFields_) {
    w.key(kUserCode).write(field.code);
    w.key(kUserType).write(field.typeCode);
    w.key(kUserLabel).write(field.label);
    w.key(kUserValue).write(field.value);
    w.key(kReadOnly).write(field.readOnly);
  }
  w.end();
}

void BDestination::ReadRecord(UKeyInStream& r) {
  // Everything is read into a copy first, so that a read that throws leaves
  // the destination as it was.
  ustring cc, rc, r1, nc, n1, sc, s1, cn, ns, mk, identifier;
  std::int32_t style = style_, co = valueCo_;
  double width = width_, depth = depth_;
  bool exported = exported_, readOnly = readOnly_;
  r.select(kCC).read(cc);
  r.select(kRC).read(rc);
  r.select(kR1).read(r1);
  r.select(kNC).read(nc);
  r.select(kN1).read(n1);
  r.select(kSC).read(sc);
  r.select(kS1).read(s1);
  r.select(kStyle).read(style);
  r.select(kCN).read(cn);
  r.select(kCo).read(co);
  r.select(kNS).read(ns);
  r.select(kWidth).read(width);
  r.select(kDepth).read(depth);
  r.select(kExported).read(exported);
  r.select(kMK).read(mk);
  r.select(kReadOnly).read(readOnly);

  double bleedLeft = bleedLeft_, bleedRight = bleedRight_, bleedTop = bleedTop_, bleedBottom = bleedBottom_;
  if (r.has(kBleedX)) {
    r.read(bleedRight);
    r.select(kBleedY).read(bleedTop);
    bleedLeft = bleedRight;
    bleedBottom = bleedTop;
  } else {
    r.select(kBleedRight).read(bleedRight);
    r.select(kBleedLeft).read(bleedLeft);
    r.select(kBleedTop).read(bleedTop);
    r.select(kBleedBottom).read(bleedBottom);
  }

  double indentLeft = indentLeft_, indentRight = indentRight_, indentTop = indentTop_,
         indentBottom = indentBottom_;
  if (r.has(kTypeWidth)) {
    // A missing part of the type area is taken as the whole booked size.
    double typeWidth = width, typeDepth = depth;
    r.read(typeWidth);
    r.select(kTypeDepth).read(typeDepth);
    indentLeft = indentRight = (width - typeWidth) / 2;
    indentTop = indentBottom = (depth - typeDepth) / 2;
  } else {
    r.select(kIndentRight).read(indentRight);
    r.select(kIndentLeft).read(indentLeft);
    r.select(kIndentTop).read(indentTop);
    r.select(kIndentBottom).read(indentBottom);
  }

  // The field's type tells an integer identifier from a text, so a short
  // text ("ab") is not taken for the number its bytes spell.
  UKeyInStream::FieldInfo id{};
  r.select(kIdentifier);
  if (!r.field_info(id) || id.type == UKeyStream::eFieldType_String || id.length > 4) {
    r.read(identifier);
  } else if (id.type == UKeyStream::eFieldType_UnsInt) {
    std::uint32_t value = 0;
    r.read(value);
    identifier = ustring(std::to_string(value));
  } else {
    std::int32_t value = 0;
    r.read(value);
    identifier = ustring(std::to_string(value));
  }

  std::vector<UserField> userFields;
  if (r.has(kUserFields)) {
    UKeyInScope list(r, kUserFields);
    for (std::size_t items = 1; r.next_item(); ++items) {
      job_limits::RefuseBeyond(items, job_limits::kMaxUserFields, "BJobFile: too many user fields");
      UserField field;
      r.select(kUserCode).read(field.code);
      if (field.code.empty() || field.code == kDroppedUserField) continue;
      r.select(kUserType).read(field.typeCode);
      r.select(kUserLabel).read(field.label);
      r.select(kUserValue).read(field.value);
      r.select(kReadOnly).read(field.readOnly);
      userFields.push_back(std::move(field));
    }
  }

  textCC_ = std::move(cc);
  textRC_ = std::move(rc);
  textR1_ = std::move(r1);
  textNC_ = std::move(nc);
  textN1_ = std::move(n1);
  textSC_ = std::move(sc);
  textS1_ = std::move(s1);
  style_ = style;
  textCN_ = std::move(cn);
  valueCo_ = co;
  textNS_ = std::move(ns);
  width_ = width;
  depth_ = depth;
  exported_ = exported;
  textMK_ = std::move(mk);
  readOnly_ = readOnly;
  SetBleeds(bleedLeft, bleedRight, bleedTop, bleedBottom);
  SetIndents(indentLeft, indentRight, indentTop, indentBottom);
  identifier_ = std::move(identifier);
  userFields_ = std::move(userFields);
}
