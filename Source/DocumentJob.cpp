#include "DocumentJob.h"

#include <exception>
#include <sstream>
#include <string>

#include "Documents.h"
#include "HostDocument.h"
#include "datastruct/BJobFile.h"
#include "utils/Logger.h"

namespace {

constexpr const char* kSourceFile = "Source\\VXIllustrator";
constexpr vxu::LogSite kSitePutNoDictionary{kSourceFile, 604, "PutIntoDocumentSLUG"};
constexpr vxu::LogSite kSitePutRefused{kSourceFile, __LINE__, "PutIntoDocumentSLUG"};
constexpr vxu::LogSite kSiteGetNoDictionary{kSourceFile, 190, "CreateFromDocumentSLUG"};
constexpr vxu::LogSite kSiteEntrySize{kSourceFile, 205, "CreateFromDocumentSLUG"};
constexpr vxu::LogSite kSiteNoEntry{kSourceFile, 206, "CreateFromDocumentSLUG"};
constexpr vxu::LogSite kSiteEntryUnreadable{kSourceFile, 214, "CreateFromDocumentSLUG"};
constexpr vxu::LogSite kSiteEntryRefused{kSourceFile, __LINE__, "CreateFromDocumentSLUG"};

}  // namespace

bool PutIntoDocumentSLUG(BJobFile& job, const ai::DocumentSuite* document, bool applyProfiles) {
  const ai::DocumentSuite& documents = Held(document);
  if (applyProfiles) ApplyColourProfiles(job, document);
  std::ostringstream buffer;
  if (!job.WriteJob(buffer, eJobFileContent_Layout)) {
    VX_LOG(vxu::eLogLevel_Error, kSitePutRefused) << "the job cannot be written";
    return false;
  }
  const std::string bytes = std::move(buffer).str();

  HeldDictionary dictionary;
  if (documents.GetDictionary(dictionary.out()) != ai::kNoErr || !dictionary) {
    VX_LOG(vxu::eLogLevel_Debug, kSitePutNoDictionary) << "dict get failed";
    return false;
  }
  ai::Err err = ai::kNoErr;
  const ai::DictKey key = DictionaryKey(kJobEntryKey, &err);
  if (err == ai::kNoErr)
    err = Held(ai::suite::dictionary).SetBinaryEntry(dictionary.get(), key, bytes.data(), bytes.size());
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Error, kSitePutRefused) << "ILLE " << static_cast<int>(err);
    return false;
  }
  documents.SetDocumentModified(true);
  return true;
}

bool CreateFromDocumentSLUG(BJobFile& job) {
  HeldDictionary dictionary;
  ai::Err err = Held(ai::suite::document).GetDictionary(dictionary.out());
  if (err != ai::kNoErr || !dictionary) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteGetNoDictionary) << "dict get failed (" << static_cast<int>(err) << ")";
    return false;
  }
  const ai::DictionarySuite& dictionaries = Held(ai::suite::dictionary);
  const ai::DictKey key = DictionaryKey(kJobEntryKey, &err);
  std::size_t size = 0;
  if (err == ai::kNoErr) err = dictionaries.GetBinaryEntry(dictionary.get(), key, nullptr, &size);
  VX_LOG(vxu::eLogLevel_Debug, kSiteEntrySize)
      << "entry size = " << static_cast<unsigned long long>(size) << ", err = " << static_cast<int>(err);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNoEntry) << "ILLE " << static_cast<int>(err);
    return false;
  }
  if (size > kMaxStoredJobBytes) {
    VX_LOG(vxu::eLogLevel_Error, kSiteEntryRefused)
        << "stored job of " << static_cast<unsigned long long>(size) << " bytes refused";
    return false;
  }
  std::string bytes(size, '\0');
  std::size_t read = size;
  err = dictionaries.GetBinaryEntry(dictionary.get(), key, bytes.data(), &read);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteEntryUnreadable) << "ILLE " << static_cast<int>(err);
    return false;
  }
  bytes.resize(read < size ? read : size);
  std::istringstream in(std::move(bytes));
  try {
    job.ReadJob(in, eJobFileContent_Layout);
  } catch (const std::exception& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteEntryRefused) << "stored job cannot be read: " << e.what();
    return false;
  }
  return true;
}

void AttachReceivedJob(std::istream& stream, BJobFile& job, bool guides) {
  job.ReadJob(stream, eJobFileContent_Full);
  if (!DocumentIsOpen()) return;
  PutIntoDocumentSLUG(job, ai::suite::document);
  AdjustDocument(guides, false);
}
