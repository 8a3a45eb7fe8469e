// BJobFile: the job as the plug-in and Veloxa exchange it. Its identifier and
// names, colour style, destinations in groups, the document geometry derived
// from them, layout values measured in the host document, file locations,
// page ranges, the record of exported destinations and the check settings.
// Lengths are in points.
//
// A job always travels as a key stream (utils/UKeyStream.h) written by
// WriteJob with the signature "JOB5". Inside the meta record:
//
//   job     := 'JJ' record 'GG' record (BGroup.h)
//              [Dp:message] [SR:message] ['BP' record { Br:bool }]
//                                                  (only Veloxa writes these)
//   'JJ'    := St:int(style) Pv:string("749") SS:string(jobId)
//              DN:string(documentName) SN:string(textSN) LN:string(textLN)
//              RB RT RY :array{ x:float y:float x+w:float y+h:float }
//                                        (bleedBox, trimBox, typeArea)
//              layout section (mask 2 or 4):
//                LH LV Lw Ld :float   SE:bool   CZ:bool
//              full section (mask 4):
//                NP CP LC :int   TF FS PD PI :string (path text, or empty)
//                'LP' record  'PR' record (BPageRange.h)  'EL' record
//                                                  (BExportedDestination.h)
//
// Messages ("Dp", the setting definitions; "SR", the check settings) are
// umessage records in their flat form. ReadJob installs "Dp" as the
// process-wide definitions (CheckSettingDefinitions.h); reading the full
// section loads the job's check settings from "SR" (LoadSettings.h). Neither
// is written back: only Veloxa writes them.
//
// Reading. A payload is untrusted. ReadJob / ReadContent either take the
// whole payload or throw and leave the job exactly as it was: everything is
// read into fresh values and lists, which replace the job's only when the
// read has succeeded, so a job never holds half a payload. Thrown: the
// key-stream reader's std::runtime_error texts ("UKeyInStream: meta key
// mismatch", "UKeyInStream: expecting record", "UKeyInStream: reading field
// longer than expected"), the refusals of lists past the limits of
// JobLimits.h ("BJobFile: too many destinations", ...), std::bad_alloc.
// Missing data is not an error:
// absent numbers and booleans keep the job's values, absent strings clear
// theirs, an absent list reads as empty. The reader is bounded by the
// payload, and nothing read from it (counts, lengths) sizes an allocation or
// a loop beyond what the payload itself holds.
//
// Writing never throws from the key stream; a failed output stream is
// reported by a false result, and then the job's destinations are not marked
// exported and the active group does not move.
//
// A job is not copyable: its destinations point back at it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "datastruct/BCheckSettingList.h"
#include "datastruct/BExportedDestination.h"
#include "datastruct/BGroup.h"
#include "datastruct/BPageItemSet.h"
#include "datastruct/BPageRange.h"
#include "datastruct/JobFileContent.h"
#include "utils/Geometry2D.h"
#include "utils/UFileSpecCore.h"
#include "utils/UKeyStream.h"
#include "utils/umessage.h"
#include "utils/ustring.h"

class BJobFile {
 public:
  // The stream identifier of a job file: the characters "JOB5".
  static constexpr std::int32_t kSignature = 0x4A4F4235;
  // The most pages the page information file describes, whatever total the
  // absolute page ranges claim.
  static constexpr std::int64_t kMaxPageInfoPages = 100000;

  BJobFile();
  BJobFile(const BJobFile&) = delete;
  BJobFile& operator=(const BJobFile&) = delete;
  virtual ~BJobFile();

  // --- Reading and writing --------------------------------------------------

  // With the stream already failed, does nothing and returns false.
  // Otherwise opens a key-stream reader on it (checking the stream header),
  // installs field "Dp" as the process-wide setting definitions (an empty
  // message when it is absent; a definitions catalogue already built stays as
  // it is), then ReadContent(reader, mask); true. Throws as described above;
  // the definitions are installed once "Dp" has been read, even when the rest
  // of the payload is then refused.
  bool ReadJob(std::istream& in, int mask);
  // Reads the job's sections selected by mask from the reader's current
  // record (the meta record of a job file). Replaces the groups under every
  // mask and, with the full section, the page ranges, the exported
  // destinations and the check settings. When the rectangles' origins are
  // all exactly (0, 0), each rectangle is centred on the origin.
  void ReadContent(UKeyInStream& r, int mask);

  // Writes the job as a whole stream (signature "JOB5"): WriteContent, then
  // closes every container. Assigns a jobId when it is empty. With
  // eJobFileContent_UnexportedOnly the destinations written are marked
  // exported once the stream has been written successfully. False when the
  // output stream failed.
  bool WriteJob(std::ostream& out, int mask);
  // Writes records 'JJ' and 'GG' into the writer's current record. Marks the
  // written destinations exported (under eJobFileContent_UnexportedOnly)
  // unless the writer has failed.
  void WriteContent(UKeyOutStream& w, int mask);
  // The export report: WriteJob with mask 52 (the active group's unexported
  // destinations); then the first group that still holds unexported
  // destinations, if any, becomes the only active one and ComputeGeometry
  // runs, so repeated exports walk through the groups in order. A failed
  // write changes nothing but the jobId.
  bool WriteForExport(std::ostream& out);

  // --- Derived values -------------------------------------------------------

  // The first active group, or defaultGroup when no group is active.
  BGroup& ActiveGroup();
  // Sets bleedBox, trimBox and typeArea, at the origin, from the destinations
  // of the active group (of every group with combineGroups): the trim is the
  // smallest positive booked size, the bleed the largest size with bleed,
  // the type area the smallest indented size. A zero trim width or depth
  // means that no size is booked. typeArea keeps its value unless both of
  // its sizes are known.
  void ComputeGeometry();
  // Where the document operations export the PDF (a copy of outputFile).
  UFileSpecCore OutputFileSpec() const { return fields_.outputFile; }
  // Writes the page information file to pageInfoFile (truncating it): a key
  // stream without signature holding record 0x000A with an entry for page
  // -1, then one for each page 1..N, N being the total page count of the
  // absolute page ranges (none when it is not positive, at most
  // kMaxPageInfoPages). Each entry is key 0x0078 = page - 1 (-2 for page -1)
  // followed by the page's items (BPageItemSet.h). False when the file
  // cannot be opened or written; nothing is logged.
  bool WritePageInfoFile() const;

  // --- Members --------------------------------------------------------------

  BGroupList& groups() { return groups_; }
  const BGroupList& groups() const { return groups_; }
  BGroup& defaultGroup() { return defaultGroup_; }
  BPageItemSet& pageItemSet() { return pageItemSet_; }
  const BPageItemSet& pageItemSet() const { return pageItemSet_; }

  // Carried unchanged.
  const UFileSpecCore& locationTF() const { return fields_.locationTF; }
  // "TF" as it is written: the text read, or the location's path.
  const ustring& textTF() const { return fields_.textTF.empty() ? fields_.locationTF.path() : fields_.textTF; }
  const UFileSpecCore& outputFile() const { return fields_.outputFile; }
  // Carried unchanged.
  const UFileSpecCore& locationPD() const { return fields_.locationPD; }
  // "PD" as it is written: the text read, or the location's path.
  const ustring& textPD() const { return fields_.textPD.empty() ? fields_.locationPD.path() : fields_.textPD; }
  const UFileSpecCore& pageInfoFile() const { return fields_.pageInfoFile; }
  const ustring& documentName() const { return fields_.documentName; }
  // Carried unchanged.
  const ustring& textLN() const { return fields_.textLN; }
  const Rect2D& bleedBox() const { return fields_.bleedBox; }
  const Rect2D& trimBox() const { return fields_.trimBox; }
  const Rect2D& typeArea() const { return fields_.typeArea; }
  BPageRangeList& pageRanges() { return pageRanges_; }
  const BPageRangeList& pageRanges() const { return pageRanges_; }
  BPageRangeAbsoluteList& absolutePageRanges() { return absolutePageRanges_; }
  const BPageRangeAbsoluteList& absolutePageRanges() const { return absolutePageRanges_; }
  BExportedDestinationList& exportedDestinations() { return exportedDestinations_; }
  const BExportedDestinationList& exportedDestinations() const { return exportedDestinations_; }
  // Carried unchanged.
  std::int32_t valueNP() const { return fields_.valueNP; }
  // Carried unchanged.
  std::int32_t valueCP() const { return fields_.valueCP; }
  std::int32_t valueLC() const { return fields_.valueLC; }
  double layoutBleedH() const { return fields_.layoutBleedH; }
  double layoutBleedV() const { return fields_.layoutBleedV; }
  double layoutWidth() const { return fields_.layoutWidth; }
  double layoutDepth() const { return fields_.layoutDepth; }
  // Carried unchanged.
  bool flagSE() const { return fields_.flagSE; }
  bool combineGroups() const { return fields_.combineGroups; }
  // Veloxa's colour style code.
  std::int32_t style() const { return fields_.style; }
  // Carried unchanged.
  const ustring& textSN() const { return fields_.textSN; }
  const ustring& jobId() const { return fields_.jobId; }

  void SetLocationTF(const UFileSpecCore& spec) {
    fields_.locationTF = spec;
    fields_.textTF.clear();
  }
  void SetOutputFile(const UFileSpecCore& spec) { fields_.outputFile = spec; }
  void SetLocationPD(const UFileSpecCore& spec) {
    fields_.locationPD = spec;
    fields_.textPD.clear();
  }
  void SetPageInfoFile(const UFileSpecCore& spec) { fields_.pageInfoFile = spec; }
  void SetDocumentName(const ustring& text) { fields_.documentName = text; }
  void SetTextLN(const ustring& text) { fields_.textLN = text; }
  void SetBleedBox(const Rect2D& r) { fields_.bleedBox = r; }
  void SetTrimBox(const Rect2D& r) { fields_.trimBox = r; }
  void SetTypeArea(const Rect2D& r) { fields_.typeArea = r; }
  void SetValueNP(std::int32_t v) { fields_.valueNP = v; }
  void SetValueCP(std::int32_t v) { fields_.valueCP = v; }
  void SetValueLC(std::int32_t v) { fields_.valueLC = v; }
  void SetLayoutBleedH(double v) { fields_.layoutBleedH = v; }
  void SetLayoutBleedV(double v) { fields_.layoutBleedV = v; }
  void SetLayoutWidth(double v) { fields_.layoutWidth = v; }
  void SetLayoutDepth(double v) { fields_.layoutDepth = v; }
  void SetFlagSE(bool v) { fields_.flagSE = v; }
  void SetCombineGroups(bool v) { fields_.combineGroups = v; }
  void SetStyle(std::int32_t v) { fields_.style = v; }
  void SetTextSN(const ustring& text) { fields_.textSN = text; }
  void SetJobId(const ustring& text) { fields_.jobId = text; }

  // The check settings, loaded from "SR" whenever the full section is read
  // (an absent "SR" leaves the list empty).
  BCheckSettingList& checkSettings() { return checkSettings_; }
  const BCheckSettingList& checkSettings() const { return checkSettings_; }
  // The PDF version the check settings require (1.3 to 1.7), 0 when none.
  double RequiredPDFVersion() const { return checkSettings_.RequiredPDFVersion(); }

  // Flag "Br" of the last payload that held record "BP"; it has no effect.
  static bool FlagBr();

 private:
  // Everything a read replaces or keeps as one value, so that a read can work
  // on a copy and commit it whole.
  struct Fields {
    UFileSpecCore locationTF;
    UFileSpecCore outputFile;
    UFileSpecCore locationPD;
    // "TF" and "PD" exactly as read: nothing here interprets them, and a file
    // specification would drop a relative text or a trailing separator, so
    // they are written back from these texts until a setter replaces them.
    ustring textTF;
    ustring textPD;
    UFileSpecCore pageInfoFile;
    ustring documentName;
    ustring textLN;
    Rect2D bleedBox = undefined_rect;
    Rect2D trimBox = undefined_rect;
    Rect2D typeArea = undefined_rect;
    std::int32_t valueNP = 1;
    std::int32_t valueCP = 1;
    std::int32_t valueLC = 0;
    double layoutBleedH = 0;
    double layoutBleedV = 0;
    double layoutWidth = 0;
    double layoutDepth = 0;
    bool flagSE = false;
    bool combineGroups = false;
    std::int32_t style = 0;
    ustring textSN;
    ustring jobId;
  };

  void WriteSections(UKeyOutStream& w, int mask, std::vector<BDestination*>* written);

  BGroupList groups_;
  BGroup defaultGroup_;
  BPageItemSet pageItemSet_;
  Fields fields_;
  BPageRangeList pageRanges_;
  BPageRangeAbsoluteList absolutePageRanges_;
  BExportedDestinationList exportedDestinations_;
  BCheckSettingList checkSettings_;
};
