// The plug-in's document operations in-process against the simulated host's
// model: the plug-in core is started by the host model through PluginMain,
// answers reach its reply window as Veloxa sends them, timer ticks route
// them, menu picks run its commands. Doubles of the pipe, the process list
// and the window system (tests/plugin/fake_services.h) stand in for the OS;
// files are real, in a private folder under /tmp.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HostModel.h"
#include "datastruct/BJobFile.h"
#include "fake_services.h"
#include "utils/umessage.h"

namespace vxdoctest {

// The booking of the examples: A4 (595.28 x 841.89 pt) with 8.5 pt bleed on
// every side, no type area, one destination in one active group.
extern const char kDemoJob[];
// The same with a type area 28.35 pt inside the trim on every side.
extern const char kDemoJobWithTypeArea[];

// A guide or other art of a document: its corners and tags.
struct Rectangle {
  double x, y, w, h;
};

class DocOpsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A fresh host model, plug-in and folder, for the next case of a table.
  void Restart() {
    TearDown();
    SetUp();
  }

  // --- Jobs -------------------------------------------------------------------

  // The payload Veloxa sends for the job in JSON (vxjob's members, with
  // "definitions" and "settings" as the messages beside it).
  static std::string Payload(const std::string& json);
  // The JSON text of a job with extra members (text after the job's own,
  // each starting with a comma), e.g. Job(kDemoJob, R"(,"FS":"/tmp/x")").
  static std::string Job(const char* job, const std::string& extra);
  // Reads the job stored in a document (layout content); false with a test
  // failure when there is none.
  static bool StoredJob(const ai::DocumentData* document, BJobFile* job);
  // Whether every destination of the job is marked exported (false without
  // any).
  static bool AllExported(BJobFile& job);

  // --- Driving the plug-in ----------------------------------------------------

  // Sends an answer with the payload to the reply window, as Veloxa does;
  // the window procedure's result.
  std::int64_t Send(std::uint64_t code, const std::string& payload);
  // Sends an answer and runs one timer tick.
  void Answer(std::uint64_t code, const std::string& payload);
  // Picks the plug-in's menu item with that English text (after the host's
  // menu update); false with a test failure when it cannot be picked.
  bool Pick(const char* text);
  // Whether the item is enabled after a menu update.
  bool Enabled(const char* text);

  // --- What the host holds ------------------------------------------------------

  // The guides of a document, bottom to top, as rectangles (from the first
  // and third corner), and their tags.
  static std::vector<Rectangle> Guides(const ai::DocumentData* document);
  // The art of a document that is not a guide.
  static std::size_t OtherArt(const ai::DocumentData* document);
  static bool Tagged(const ai::ArtData* art, const char* key);
  // The requests the plug-in wrote to the pipe (the probes left out).
  std::vector<std::string> Requests() const;
  // Actions played with that name.
  std::vector<vxsim::PlayedAction> Played(const std::string& event) const;

  // --- Files ------------------------------------------------------------------

  // A path in the test's private folder.
  std::string InFolder(const std::string& name) const { return folder_ + "/" + name; }
  static void WriteFile(const std::string& path, const std::string& bytes);
  static std::string ReadFile(const std::string& path);

  // Installs the effect of "adobe_saveACopyAs" that writes a small PDF at
  // the block's 'name' with the version its 'comp' asks for (header
  // override: that header instead); and of "adobe_makeGuide", which turns
  // the selected paths into guides.
  void InstallSaveEffect(const std::string& header = "");

  vxtest::FakeProcesses processes_;
  vxtest::FakeLink link_;
  vxtest::FakeWindows windows_;

 private:
  vxp::ScopedService<vxp::ProcessService> processes_scope_{processes_};
  vxp::ScopedService<vxp::LinkService> link_scope_{link_};
  vxp::ScopedService<vxp::WindowSystem> windows_scope_{windows_};
  std::string folder_;

 protected:
  // Made by SetUp (one host model exists at a time).
  std::unique_ptr<vxsim::HostModel> host_;
};

// The value of a parameter of a played action; null when it has none.
const vxsim::ActionParam* Param(const vxsim::PlayedAction& action, const char (&key)[5]);

}  // namespace vxdoctest
