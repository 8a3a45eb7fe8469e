// BDestination: one booked placement of a job (a publication slot with its
// booked size, bleed, type area, colour style, Veloxa's texts, identifier,
// exported flag and user fields). Lengths are in points.
//
// Key-stream item, written into the current record (the group's 'LL' record)
// without a record of its own, so that successive destinations are successive
// items:
//
//   destination := CC RC R1 NC N1 SC S1 :string
//                  St:int CN:string Co:int NS:string SX:float SY:float Ex:bool
//                  MK:string Ro:bool
//                  Bl Br Bt Bb :float   (bleeds)   Tl Tr Tt Tb :float (indents)
//                  ID:(int | string)
//                  ['UF' record]        (user fields, see UserField.h; only
//                                        when there are any)
//
// "ID" is an int when the identifier is the canonical decimal text of a
// non-negative 32-bit value ("0", "123"; the empty identifier is written as
// 0), otherwise a string ("ab", "007", "4294967296"), so that every
// identifier reads back as it was written (the empty one as "0").
//
// Readers also accept the shorthands "BX"/"BY" (bleed right = left, top =
// bottom) and "TX"/"TY" (type-area width and depth, centred in the booked
// size), and tell an integer "ID" from a text by the field's type.
#pragma once

#include <cstdint>
#include <vector>

#include "datastruct/UserField.h"
#include "utils/UKeyStream.h"
#include "utils/ustring.h"

class BJobFile;
class BGroup;

class BDestination {
 public:
  // Destinations are made by BGroup::NewDestination, which binds them.
  BDestination(BJobFile* job, BGroup* parent) : job_(job), parent_(parent) {}
  BDestination(const BDestination&) = delete;
  BDestination& operator=(const BDestination&) = delete;

  virtual ~BDestination();
  virtual void SetCC(const ustring& text);
  // Each of these clears its companion text (R1, N1, S1).
  virtual void SetRC(const ustring& text);
  virtual void SetNC(const ustring& text);
  virtual void SetSC(const ustring& text);
  // Reads one destination item (the reader is positioned on it: the caller
  // has called next_item). Replaces every member that travels; absent numbers
  // and booleans keep their values, absent texts become empty. Throws what the
  // key-stream reader throws (a number field longer than its type).
  virtual void ReadRecord(UKeyInStream& r);
  virtual bool IsSpecial() const;

  // Writes the destination's item into the current record.
  void WriteRecord(UKeyOutStream& w) const;

  bool HasBleed() const { return bleedLeft_ != 0 || bleedRight_ != 0 || bleedTop_ != 0 || bleedBottom_ != 0; }

  // Every member that travels is equal (user fields without their catalogue
  // index); job and parent are not compared.
  bool SameContent(const BDestination& other) const;

  BJobFile* job() const { return job_; }
  BGroup* parent() const { return parent_; }

  std::int32_t valueCo() const { return valueCo_; }
  double width() const { return width_; }
  double depth() const { return depth_; }
  double bleedLeft() const { return bleedLeft_; }
  double bleedRight() const { return bleedRight_; }
  double bleedTop() const { return bleedTop_; }
  double bleedBottom() const { return bleedBottom_; }
  double indentLeft() const { return indentLeft_; }
  double indentRight() const { return indentRight_; }
  double indentTop() const { return indentTop_; }
  double indentBottom() const { return indentBottom_; }
  const ustring& textCC() const { return textCC_; }
  const ustring& textRC() const { return textRC_; }
  const ustring& textNC() const { return textNC_; }
  const ustring& textSC() const { return textSC_; }
  const ustring& textR1() const { return textR1_; }
  const ustring& textN1() const { return textN1_; }
  const ustring& textS1() const { return textS1_; }
  const ustring& textNS() const { return textNS_; }
  const ustring& textCN() const { return textCN_; }
  const ustring& identifier() const { return identifier_; }
  bool exported() const { return exported_; }
  bool readOnly() const { return readOnly_; }
  const ustring& textMK() const { return textMK_; }
  const std::vector<UserField>& userFields() const { return userFields_; }
  std::int32_t style() const { return style_; }

  void SetExported(bool exported) { exported_ = exported; }
  // Setters for the members Veloxa fills (tools and tests build destinations
  // with them). The companions R1, N1, S1 are set after their first text.
  void SetValueCo(std::int32_t v) { valueCo_ = v; }
  void SetWidth(double v) { width_ = v; }
  void SetDepth(double v) { depth_ = v; }
  void SetBleeds(double left, double right, double top, double bottom);
  void SetIndents(double left, double right, double top, double bottom);
  void SetR1(const ustring& text) { textR1_ = text; }
  void SetN1(const ustring& text) { textN1_ = text; }
  void SetS1(const ustring& text) { textS1_ = text; }
  void SetNS(const ustring& text) { textNS_ = text; }
  void SetCN(const ustring& text) { textCN_ = text; }
  void SetIdentifier(const ustring& text) { identifier_ = text; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  void SetMK(const ustring& text) { textMK_ = text; }
  void SetStyle(std::int32_t v) { style_ = v; }
  void AddUserField(const UserField& field) { userFields_.push_back(field); }
  void ClearUserFields() { userFields_.clear(); }

 private:
  std::int32_t valueCo_ = 0;
  double width_ = 0;
  double depth_ = 0;
  double bleedLeft_ = 0, bleedRight_ = 0, bleedTop_ = 0, bleedBottom_ = 0;
  double indentLeft_ = 0, indentRight_ = 0, indentTop_ = 0, indentBottom_ = 0;
  ustring textCC_;
  ustring textRC_;
  ustring textNC_;
  ustring textSC_;
  ustring textR1_;
  ustring textN1_;
  ustring textS1_;
  ustring textNS_;
  ustring textCN_;
  ustring identifier_;
  bool exported_ = false;
  bool readOnly_ = false;
  ustring textMK_;
  BJobFile* job_ = nullptr;
  BGroup* parent_ = nullptr;
  std::vector<UserField> userFields_;
  std::int32_t style_ = 0;
};
