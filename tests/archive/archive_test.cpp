// The archiver component against stand-in libraries that record every call.
//
// This program lives in bin/testlibs/, a folder without any archiver DLL; each test
// points the DLL search at one scenario folder below it and the libraries there
// append their calls to a log (PV_ARCLOG). A library stays loaded under its base
// name for as long as someone holds it, so every test checks that none is loaded
// before it starts and after the component is gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "core/error.h"
#include "win/app.h"
#include "win/form.h"

using namespace pv::arc;

namespace {

const char* const kLibFiles[] = {"unlha32.dll", "unarj32j.dll", "unzip32.dll", "tar32.dll",
                                 "bz2lib.dll",  "cab32.dll",    "unrar32.dll", "bga32.dll"};

std::string exeDir() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\'));
}

std::string hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(p)));
  return buf;
}

// Per process: ctest may run several of these programs at once.
std::string scratch(const std::string& name) {
  return exeDir() + "\\" + std::to_string(::GetCurrentProcessId()) + "-" + name;
}

std::string logPath() { return scratch("calls.log"); }

std::vector<std::string> readLog() {
  std::vector<std::string> lines;
  std::ifstream in(logPath());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Lines of the log that start with prefix (e.g. "unlha32 Set").
std::vector<std::string> linesWith(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& l : readLog())
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  return out;
}

// Lines whose text after the library name starts with what (e.g. "attach").
std::vector<std::string> callsOf(const std::string& what) {
  std::vector<std::string> out;
  for (const std::string& l : readLog()) {
    std::size_t sp = l.find(' ');
    if (sp != std::string::npos && l.compare(sp + 1, what.size(), what) == 0) out.push_back(l);
  }
  return out;
}

using Lines = std::vector<std::string>;

// Points LoadLibraryA at a scenario folder only: no current folder, no PATH (which
// may name the folder of the real unlha32.dll).
void useScenario(const std::string& scenario) {
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  static auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetDllDirectoryA")));
  ASSERT_NE(setDllDirectory, nullptr);
  char sys[MAX_PATH];
  ::GetSystemDirectoryA(sys, MAX_PATH);
  ::SetEnvironmentVariableA("PATH", sys);
  const std::string dir = exeDir() + "\\" + scenario;
  ASSERT_NE(::GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES) << dir;
  ASSERT_TRUE(setDllDirectory(dir.c_str()));
}

std::string loadedLibraries() {
  std::string s;
  for (const char* f : kLibFiles)
    if (::GetModuleHandleA(f)) s += std::string(f) + " ";
  return s;
}

// Exposes what no operation of the program fills.
class TestArchive : public TArchive {
 public:
  using TArchive::memberRecord;
  using TArchive::setArcFile;
};

const pv::win::FormDesc kOwnerDesc = {"OwnerForm", "owner", 0, 0, 200, 100};

class ArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool once = false;
    if (!once) {
      pv::win::app().initialize(::GetModuleHandleA(nullptr));
      pv::win::app().setTitle("archive test");
      RegisterArcExtractMessage();
      once = true;
    }
    ::SetEnvironmentVariableA("PV_ARCLOG", logPath().c_str());
  }

  void SetUp() override {
    ASSERT_EQ(loadedLibraries(), "") << "a library of an earlier test is still loaded";
    clearLog();
    ::SetEnvironmentVariableA("PV_ARCBUSY", nullptr);
    ::SetEnvironmentVariableA("PV_ARCNOOPEN", nullptr);
    form_ = pv::win::createForm<pv::win::Form>(kOwnerDesc);
  }

  void TearDown() override {
    arc_.reset();
    form_.reset();
    clearLog();
    EXPECT_EQ(loadedLibraries(), "") << "the component did not release its libraries";
  }

  void clearLog() { ::DeleteFileA(logPath().c_str()); }

  // A component on the test form, bound in scenario with options (set before Loaded,
  // as a form description would).
  TestArchive& bound(const std::string& scenario, TArchiveOptions options = {}) {
    useScenario(scenario);
    arc_ = std::make_unique<TestArchive>();
    arc_->setOwner(form_.get(), "Archive1");
    arc_->SetOptions(options);
    arc_->Loaded();
    return *arc_;
  }

  std::unique_ptr<pv::win::Form> form_;
  std::unique_ptr<TestArchive> arc_;
};

// ---------------------------------------------------------------- binding

TEST_F(ArchiveTest, BindsEveryLibraryInOrderWithVersionsAndModes) {
  TestArchive& a = bound("full");
  EXPECT_EQ(a.UnLhaVersion(), 123);
  EXPECT_EQ(a.UnLhaSubVersion(), 4);
  EXPECT_EQ(a.UnArjVersion(), 210);
  EXPECT_EQ(a.UnArjSubVersion(), 5);
  EXPECT_EQ(a.UnZipVersion(), 300);
  EXPECT_EQ(a.TarVersion(), 49);
  EXPECT_EQ(a.Bz2Version(), 7);
  EXPECT_EQ(a.CabVersion(), 97);
  EXPECT_EQ(a.RarVersion(), 20);
  EXPECT_EQ(a.BgaVersion(), 33);

  // bz2lib is probed right after tar32 and released at once.
  EXPECT_EQ(callsOf("attach"), (Lines{"unlha32 attach", "unarj32j attach", "unzip32 attach", "tar32 attach",
                                      "bz2lib attach", "cab32 attach", "unrar32 attach", "bga32 attach"}));
  EXPECT_EQ(linesWith("bz2lib"), (Lines{"bz2lib attach", "bz2lib GetVersion", "bz2lib detach"}));
  EXPECT_EQ(::GetModuleHandleA("bz2lib.dll"), nullptr);

  // Versions are read once; sub-versions only where the component keeps them.
  EXPECT_EQ(callsOf("GetVersion").size(), 8u);
  EXPECT_EQ(callsOf("GetSubVersion"), (Lines{"unlha32 GetSubVersion", "unarj32j GetSubVersion"}));

  // Background and cursor modes as set (False), never to bga32, no cursor to unrar32.
  EXPECT_EQ(callsOf("SetBackGroundMode"),
            (Lines{"unlha32 SetBackGroundMode 0", "unarj32j SetBackGroundMode 0", "unzip32 SetBackGroundMode 0",
                   "tar32 SetBackGroundMode 0", "cab32 SetBackGroundMode 0", "unrar32 SetBackGroundMode 0"}));
  EXPECT_EQ(callsOf("SetCursorMode"),
            (Lines{"unlha32 SetCursorMode 0", "unarj32j SetCursorMode 0", "unzip32 SetCursorMode 0",
                   "tar32 SetCursorMode 0", "cab32 SetCursorMode 0"}));
  // Nothing else is called while binding.
  EXPECT_EQ(readLog().size(), 8u + 1u + 8u + 2u + 6u + 5u);  // attach, bz2 detach, versions, modes

  clearLog();
  arc_.reset();
  EXPECT_EQ(callsOf("detach"), (Lines{"unlha32 detach", "unarj32j detach", "unzip32 detach", "tar32 detach",
                                      "cab32 detach", "unrar32 detach", "bga32 detach"}));
}

TEST_F(ArchiveTest, ModesSetBeforeLoadingAreHandedOver) {
  useScenario("full");
  arc_ = std::make_unique<TestArchive>();
  arc_->setOwner(form_.get(), "Archive1");
  arc_->SetBackGround(true);
  arc_->SetOptions({aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar, aoNoInstBga});
  arc_->Loaded();
  EXPECT_EQ(linesWith("unlha32 Set"), (Lines{"unlha32 SetBackGroundMode 1", "unlha32 SetCursorMode 0"}));
}

TEST_F(ArchiveTest, NothingIsBoundWithoutAnOwnerForm) {
  useScenario("full");
  arc_ = std::make_unique<TestArchive>();
  arc_->Loaded();
  EXPECT_EQ(readLog(), Lines{});
  EXPECT_EQ(arc_->UnLhaVersion(), 0);
  arc_->SetMode(amLha);
  EXPECT_EQ(arc_->Execute("ret 0"), -1);
  EXPECT_TRUE(arc_->GetRunning());
}

TEST_F(ArchiveTest, OptionsSkipLibrariesAndAreReadOnlyAtLoading) {
  TestArchive& a = bound("full", {aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar});
  EXPECT_EQ(callsOf("attach"), (Lines{"unlha32 attach", "bga32 attach"}));
  EXPECT_EQ(a.TarVersion(), 0);
  EXPECT_EQ(a.Bz2Version(), 0);  // no tar32, no probe
  EXPECT_EQ(a.UnLhaVersion(), 123);
  EXPECT_EQ(a.BgaVersion(), 33);
  EXPECT_EQ(loadedLibraries(), "unlha32.dll bga32.dll ");

  a.SetOptions({});
  a.SetOptions({aoNoInstLha, aoNoInstBga});
  EXPECT_EQ(loadedLibraries(), "unlha32.dll bga32.dll ");
  EXPECT_EQ(callsOf("attach").size(), 2u);
}

TEST_F(ArchiveTest, Bz2ProbeDependsOnTarVersion) {
  {
    TestArchive& a = bound("tar50");
    EXPECT_EQ(a.TarVersion(), 50);
    EXPECT_EQ(a.Bz2Version(), 65535);
    EXPECT_EQ(linesWith("bz2lib"), Lines{});
    arc_.reset();
  }
  clearLog();
  {
    TestArchive& a = bound("bz2alone");  // bz2lib.dll without tar32.dll
    EXPECT_EQ(a.Bz2Version(), 0);
    EXPECT_EQ(linesWith("bz2lib"), Lines{});
    arc_.reset();
  }
  clearLog();
  {
    TestArchive& a = bound("bz2noentry");  // a bz2lib.dll without BZ2GetVersion
    EXPECT_EQ(a.TarVersion(), 12);
    EXPECT_EQ(a.Bz2Version(), 0);
    EXPECT_EQ(linesWith("bz2lib"), (Lines{"bz2lib attach", "bz2lib detach"}));
  }
}

TEST_F(ArchiveTest, ArchiveOneOnAFormDescription) {
  // The main window's configuration, read from a description row.
  useScenario("full");
  static const pv::win::ControlDesc rows[] = {
      {pv::win::Kind::Component, "Archive1", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {},
       &pv::win::create<TArchive>, "Mode=amLha;Options=[aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar]"},
  };
  static const pv::win::FormDesc desc = {"Form1", "Form1", 0, 0, 200, 100};
  auto f = pv::win::createForm<pv::win::Form>(desc, rows);
  TArchive& a = f->find<TArchive>("Archive1");
  EXPECT_EQ(a.Mode(), amLha);
  EXPECT_EQ(a.ArcMode(), amLha);
  EXPECT_EQ(a.Options(), (TArchiveOptions{aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar}));
  EXPECT_FALSE(a.BackGround());
  EXPECT_FALSE(a.Cursor());
  EXPECT_FALSE(a.NoMessage());
  EXPECT_EQ(a.UnLhaVersion(), 123);
  EXPECT_EQ(callsOf("attach"), (Lines{"unlha32 attach", "bga32 attach"}));
  EXPECT_EQ(a.Execute("ret 0"), 0);
  EXPECT_FALSE(a.GetRunning());
  f.reset();
  EXPECT_EQ(loadedLibraries(), "");
}

TEST_F(ArchiveTest, DescriptionValuesMustBeSpelledExactly) {
  // A mistyped description must fail loudly, not leave a library unexpectedly bound.
  TestArchive a;
  EXPECT_THROW(a.setProperty("Options", "[aoNoInstArj, aoNoInstFoo]"), pv::Error);
  EXPECT_THROW(a.setProperty("Options", "aoNoInstArj"), pv::Error);
  EXPECT_THROW(a.setProperty("Mode", "amlha"), pv::Error);
  EXPECT_THROW(a.setProperty("BackGround", "yes"), pv::Error);
  EXPECT_THROW(a.setProperty("ArcMode", "amLha"), pv::Error);  // read-only
  a.setProperty("Options", "[ aoNoInstBga ,aoNoInstLha]");
  EXPECT_EQ(a.Options(), (TArchiveOptions{aoNoInstLha, aoNoInstBga}));
  a.setProperty("Options", "[]");
  EXPECT_EQ(a.Options(), TArchiveOptions{});
  a.setProperty("Mode", "amBga");
  EXPECT_EQ(a.ArcMode(), amBga);
  a.setProperty("BackGround", "True");
  a.setProperty("Cursor", "True");
  a.setProperty("NoMessage", "True");
  EXPECT_TRUE(a.BackGround() && a.Cursor() && a.NoMessage());
}

TEST_F(ArchiveTest, WithoutTheLhaLibraryExecuteFailsAndItIsAlwaysRunning) {
  TestArchive& a = bound("empty");
  a.SetMode(amLha);
  EXPECT_EQ(a.UnLhaVersion(), 0);
  EXPECT_EQ(a.Execute("ret 0"), -1);
  EXPECT_TRUE(a.GetRunning());
  EXPECT_EQ(a.Bz2Version(), 0);
}

// ---------------------------------------------------------------- Execute

TEST_F(ArchiveTest, ExecuteRegistersTheMessageWindowAroundTheCommand) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);
  clearLog();
  EXPECT_EQ(a.Execute("ret 7"), 7);
  const std::string form = hex(form_->handle());
  ASSERT_NE(form_->handle(), nullptr);
  EXPECT_EQ(readLog(), (Lines{"unlha32 SetOwnerWindow " + hex(a.MessageWindow()),
                              "unlha32 Command owner=" + form + " cmd=ret 7 out=0 size=0",
                              "unlha32 ClearOwnerWindow"}));

  // Output buffer and size pass through; failure codes come back unchanged.
  clearLog();
  char buf[64];
  EXPECT_EQ(a.Execute("ret -32768", buf, sizeof buf), -32768);
  EXPECT_EQ(callsOf("Command"), Lines{"unlha32 Command owner=" + form + " cmd=ret -32768 out=" + hex(buf) + " size=64"});

  // NoMessage: the command alone.
  a.SetNoMessage(true);
  clearLog();
  EXPECT_EQ(a.Execute("ret 1"), 1);
  EXPECT_EQ(readLog(), Lines{"unlha32 Command owner=" + form + " cmd=ret 1 out=0 size=0"});

  // amGz and amTar both run on tar32.
  a.SetNoMessage(false);
  a.SetMode(amGz);
  clearLog();
  EXPECT_EQ(a.Execute("ret 5"), 5);
  EXPECT_EQ(callsOf("Command"), Lines{"tar32 Command owner=" + form + " cmd=ret 5 out=0 size=0"});

  // No library for amAuto: nothing is called at all.
  a.SetMode(amAuto);
  clearLog();
  EXPECT_EQ(a.Execute("ret 0"), -1);
  EXPECT_EQ(readLog(), Lines{});
}

TEST_F(ArchiveTest, ALibraryWithoutClearOwnerWindowNeverGetsTheWindow) {
  TestArchive& a = bound("noclear");
  a.SetMode(amLha);
  clearLog();
  EXPECT_EQ(a.Execute("ret 0"), 0);
  EXPECT_EQ(readLog(), Lines{"unlha32 Command owner=" + hex(form_->handle()) + " cmd=ret 0 out=0 size=0"});
}

TEST_F(ArchiveTest, RefusedOwnerWindowIsNotCleared) {
  TestArchive& a = bound("ownerfalse");
  a.SetMode(amLha);
  clearLog();
  EXPECT_EQ(a.Execute("ret 0"), 0);
  EXPECT_EQ(readLog(), (Lines{"unlha32 SetOwnerWindow " + hex(a.MessageWindow()),
                              "unlha32 Command owner=" + hex(form_->handle()) + " cmd=ret 0 out=0 size=0"}));
}

TEST_F(ArchiveTest, MissingEntriesAreSkipped) {
  {
    // Only the command entry: version 0, always "running", but commands run.
    TestArchive& a = bound("bare");
    a.SetMode(amLha);
    EXPECT_EQ(a.UnLhaVersion(), 0);
    EXPECT_EQ(a.UnLhaSubVersion(), 0);
    EXPECT_TRUE(a.GetRunning());
    EXPECT_FALSE(a.CanTellRunning()) << "a caller must not wait on it";
    EXPECT_TRUE(a.CanExecute());
    EXPECT_EQ(a.Execute("ret 3"), 3);
    EXPECT_EQ(readLog(), (Lines{"unlha32 attach", "unlha32 Command owner=" + hex(form_->handle()) +
                                                      " cmd=ret 3 out=0 size=0"}));
    arc_.reset();
  }
  clearLog();
  {
    // Everything but the command entry: -1, and the window is not registered either.
    TestArchive& a = bound("nocommand");
    a.SetMode(amLha);
    EXPECT_EQ(a.UnLhaVersion(), 123);
    EXPECT_TRUE(a.CanTellRunning());
    EXPECT_FALSE(a.CanExecute());
    clearLog();
    EXPECT_EQ(a.Execute("ret 0"), -1);
    EXPECT_EQ(readLog(), Lines{});
  }
}

TEST_F(ArchiveTest, ExecuteCreatesTheOwnerWindowWhenNeeded) {
  useScenario("full");
  pv::win::Form unbuilt(kOwnerDesc);
  ASSERT_FALSE(unbuilt.hasHandle());
  {
    TestArchive a;
    a.setOwner(&unbuilt, "Archive1");
    a.SetOptions({aoNoInstArj, aoNoInstZip, aoNoInstTar, aoNoInstCab, aoNoInstRar, aoNoInstBga});
    a.Loaded();
    a.SetMode(amLha);
    clearLog();
    EXPECT_EQ(a.Execute("ret 0"), 0);
    ASSERT_TRUE(unbuilt.hasHandle());
    EXPECT_EQ(callsOf("Command"), Lines{"unlha32 Command owner=" + hex(unbuilt.handle()) + " cmd=ret 0 out=0 size=0"});
  }
}

TEST_F(ArchiveTest, GetRunningAsksTheLibraryOfArcMode) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);
  EXPECT_FALSE(a.GetRunning());
  ::SetEnvironmentVariableA("PV_ARCBUSY", "unlha32");
  EXPECT_TRUE(a.GetRunning());
  a.SetMode(amBga);
  EXPECT_FALSE(a.GetRunning());
  a.SetMode(amAuto);
  clearLog();
  EXPECT_TRUE(a.GetRunning());
  EXPECT_EQ(callsOf("GetRunning"), Lines{});
}

// ---------------------------------------------------------------- mode resolution

TEST_F(ArchiveTest, LibrariesAreAskedBeforeTheExtensionTable) {
  TestArchive& a = bound("full");
  auto resolve = [&](const std::string& file) {
    a.setArcFile(file);
    a.SetMode(amAuto);
    return a.ArcMode();
  };
  clearLog();
  EXPECT_EQ(resolve("x@unlha32.zip"), amLha);
  EXPECT_EQ(callsOf("CheckArchive"), Lines{"unlha32 CheckArchive x@unlha32.zip 0 =1"});

  // Nobody knows it: all six asked in their order (tar32 never), then the table.
  clearLog();
  EXPECT_EQ(resolve("x.zip"), amZip);
  EXPECT_EQ(callsOf("CheckArchive"),
            (Lines{"unlha32 CheckArchive x.zip 0 =0", "unzip32 CheckArchive x.zip 0 =0", "unarj32j CheckArchive x.zip 0 =0",
                   "cab32 CheckArchive x.zip 0 =0", "unrar32 CheckArchive x.zip 0 =0", "bga32 CheckArchive x.zip 0 =0"}));

  EXPECT_EQ(resolve("y@unrar32@unzip32.lzh"), amZip);
  EXPECT_EQ(resolve("y@bga32.cab"), amBga);
  EXPECT_EQ(resolve("a.tar.gz"), amTar);
  EXPECT_EQ(resolve("a.gz"), amGz);
  EXPECT_EQ(resolve("A.TGZ"), amTar);
  EXPECT_EQ(resolve("a.Z"), amGz);
  EXPECT_EQ(resolve("a.bz2"), amGz);  // Bz2Version 7
  EXPECT_EQ(resolve("a.tar.bz2"), amTar);
  EXPECT_FALSE(a.ExeExt());

  EXPECT_EQ(resolve("sfx@bga32.exe"), amBga);
  EXPECT_TRUE(a.ExeExt());
  EXPECT_EQ(resolve("setup.exe"), amAuto);
  EXPECT_TRUE(a.ExeExt());
  a.SetMode(amLha);  // a fixed mode leaves ExeExt alone
  EXPECT_EQ(a.ArcMode(), amLha);
  EXPECT_TRUE(a.ExeExt());
  EXPECT_EQ(resolve("a.lzh"), amLha);
  EXPECT_FALSE(a.ExeExt());
}

TEST_F(ArchiveTest, Bz2ArchivesNeedABz2Version) {
  TestArchive& a = bound("empty");
  a.setArcFile("a.tar.bz2");
  a.SetMode(amAuto);
  EXPECT_EQ(a.ArcMode(), amAuto);
}

// ---------------------------------------------------------------- setters

TEST_F(ArchiveTest, BackGroundAndCursorCallOnlyOnChange) {
  TestArchive& a = bound("full");
  clearLog();
  a.SetBackGround(false);
  a.SetCursor(false);
  EXPECT_EQ(readLog(), Lines{});

  a.SetBackGround(true);
  EXPECT_EQ(readLog(), (Lines{"unlha32 SetBackGroundMode 1", "unarj32j SetBackGroundMode 1", "unzip32 SetBackGroundMode 1",
                              "tar32 SetBackGroundMode 1", "cab32 SetBackGroundMode 1", "unrar32 SetBackGroundMode 1"}));
  clearLog();
  a.SetBackGround(true);
  EXPECT_EQ(readLog(), Lines{});

  a.SetCursor(true);
  EXPECT_EQ(readLog(), (Lines{"unlha32 SetCursorMode 1", "unarj32j SetCursorMode 1", "unzip32 SetCursorMode 1",
                              "tar32 SetCursorMode 1", "cab32 SetCursorMode 1"}));
  clearLog();
  a.SetCursor(true);
  EXPECT_EQ(readLog(), Lines{});
  EXPECT_TRUE(a.BackGround());
  EXPECT_TRUE(a.Cursor());
}

TEST_F(ArchiveTest, EveryModeWriteClosesTheOpenArchive) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);
  clearLog();
  EXPECT_EQ(a.CloseArchive(), -1);  // nothing open: no call
  EXPECT_EQ(readLog(), Lines{});

  ASSERT_TRUE(a.OpenArchive("one@unlha32.lzh"));
  a.SetMode(amLha);
  ASSERT_TRUE(a.OpenArchive("one@unlha32.lzh"));
  a.SetMode(amLha);
  EXPECT_EQ(callsOf("CloseArchive"), (Lines{"unlha32 CloseArchive 5a5a0001", "unlha32 CloseArchive 5a5a0001"}));

  // Closed by the library that opened it, not by the one of the new mode.
  ASSERT_TRUE(a.OpenArchive("two@unzip32.zip"));
  EXPECT_EQ(a.ArcMode(), amLha);  // the fixed mode stays; the LHA library opens it
  a.SetMode(amAuto);
  ASSERT_TRUE(a.OpenArchive("two@unzip32.zip"));
  EXPECT_EQ(a.ArcMode(), amZip);
  clearLog();
  a.SetMode(amLha);
  EXPECT_EQ(callsOf("CloseArchive"), Lines{"unzip32 CloseArchive 5a5a0001"});
  EXPECT_EQ(a.CloseArchive(), -1);  // forgotten

  // A library that hands out no handle leaves nothing to close.
  ::SetEnvironmentVariableA("PV_ARCNOOPEN", "unlha32");
  EXPECT_FALSE(a.OpenArchive("three.lzh"));
  clearLog();
  EXPECT_EQ(a.CloseArchive(), -1);
  EXPECT_EQ(readLog(), Lines{});

  // The destructor closes what is open before releasing the libraries.
  ::SetEnvironmentVariableA("PV_ARCNOOPEN", nullptr);
  ASSERT_TRUE(a.OpenArchive("four.lzh"));
  clearLog();
  arc_.reset();
  Lines log = readLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "unlha32 CloseArchive 5a5a0001");
}

// ---------------------------------------------------------------- wm_arcextract

// Closes the error box the application shows on this thread and keeps its text.
class ErrorBoxCatcher {
 public:
  ErrorBoxCatcher() {
    instance_ = this;
    timer_ = ::SetTimer(nullptr, 0, 100, &ErrorBoxCatcher::tick);
  }
  ~ErrorBoxCatcher() {
    ::KillTimer(nullptr, timer_);
    instance_ = nullptr;
  }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &ErrorBoxCatcher::visit, 0);
  }
  static BOOL CALLBACK visit(HWND hwnd, LPARAM) {
    char cls[32] = "";
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !::IsWindowVisible(hwnd)) return TRUE;
    std::string text;
    ::EnumChildWindows(hwnd, &ErrorBoxCatcher::staticText, reinterpret_cast<LPARAM>(&text));
    if (instance_) instance_->texts_.push_back(text);
    ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
  }
  static BOOL CALLBACK staticText(HWND child, LPARAM out) {
    char cls[32] = "", buf[512] = "";
    ::GetClassNameA(child, cls, sizeof cls);
    ::GetWindowTextA(child, buf, sizeof buf);
    auto* text = reinterpret_cast<std::string*>(out);
    if (_stricmp(cls, "Static") == 0 && buf[0] && text->empty()) *text = buf;
    return TRUE;
  }
  static inline ErrorBoxCatcher* instance_ = nullptr;
  UINT_PTR timer_;
  std::vector<std::string> texts_;
};

TEST_F(ArchiveTest, ExtractNotificationsReachOnExtract) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);

  // Unassigned: the library gets 0.
  clearLog();
  EXPECT_EQ(a.Execute("extract 3"), 0);
  EXPECT_EQ(callsOf("answer"), Lines{"unlha32 answer=0"});

  TArchive* sender = nullptr;
  std::int32_t mode = -1;
  std::string eis;
  a.SetOnExtract([&](TArchive* s, std::int32_t nMode, PExtractingInfo lpEis, std::int32_t& result) {
    sender = s;
    mode = nMode;
    eis = static_cast<const char*>(lpEis);
    EXPECT_EQ(result, 0);
    result = 42;
  });
  clearLog();
  EXPECT_EQ(a.Execute("extract 2"), 42);
  EXPECT_EQ(callsOf("answer"), Lines{"unlha32 answer=42"});
  EXPECT_EQ(sender, &a);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(eis, "extracting-information");

  // Once ClearOwnerWindow ran the library has no window to notify.
  a.SetNoMessage(true);
  clearLog();
  EXPECT_EQ(a.Execute("extract 1"), -2);
  EXPECT_EQ(callsOf("no owner"), Lines{"unlha32 no owner window"});
}

TEST_F(ArchiveTest, AThrowingHandlerGoesToTheErrorBoxAndTheLibraryGetsResultAsItStood) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);
  a.SetOnExtract([](TArchive*, std::int32_t, PExtractingInfo, std::int32_t& result) {
    result = 9;
    throw pv::Error("展開を中止しました");
  });
  ErrorBoxCatcher boxes;
  clearLog();
  EXPECT_EQ(a.Execute("extract 4"), 9);
  EXPECT_EQ(callsOf("answer"), Lines{"unlha32 answer=9"});
  EXPECT_EQ(boxes.texts(), Lines{"展開を中止しました"});
}

TEST_F(ArchiveTest, MessageWindowPassesOtherMessagesToTheDefaultProcedure) {
  TestArchive a;
  HWND w = a.MessageWindow();
  ASSERT_TRUE(::IsWindow(w));
  EXPECT_FALSE(::IsWindowVisible(w));
  ::SendMessageA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
  char buf[16] = "";
  EXPECT_EQ(::SendMessageA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(::SendMessageA(w, ArcExtractMessage(), 1, 0), 0);
  a.SetOnExtract([](TArchive*, std::int32_t n, PExtractingInfo, std::int32_t& r) { r = n * 10; });
  EXPECT_EQ(::SendMessageA(w, ArcExtractMessage(), 5, 0), 50);
  EXPECT_NE(ArcExtractMessage(), 0u);
  EXPECT_EQ(ArcExtractMessage(), ::RegisterWindowMessageA("wm_arcextract"));
}

TEST_F(ArchiveTest, DestroyingTheComponentDestroysItsMessageWindow) {
  HWND w;
  {
    TestArchive a;
    w = a.MessageWindow();
    ASSERT_TRUE(::IsWindow(w));
  }
  EXPECT_FALSE(::IsWindow(w));
}

// ---------------------------------------------------------------- member record

// A file whose last write is the given local time.
void setLocalWriteTime(const std::string& path, WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME st{};
  st.wYear = y; st.wMonth = mo; st.wDay = d; st.wHour = h; st.wMinute = mi; st.wSecond = s;
  FILETIME local, utc;
  ASSERT_TRUE(::SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(::SetFileTime(f, nullptr, nullptr, &utc));
  ::CloseHandle(f);
}

TEST_F(ArchiveTest, AMemberReportedByTheLibraryIsReadField) {
  TestArchive& a = bound("full");
  a.SetMode(amLha);
  ASSERT_TRUE(a.OpenArchive("members.lzh"));
  ASSERT_EQ(a.FindFirst("*.*"), 0);
  EXPECT_EQ(a.FindName(), "dir\\\x95\x5C.txt");
  EXPECT_EQ(a.FindAttribute(), "-a--ABCD");  // eight characters, no terminator
  EXPECT_EQ(a.FindMode(), "-lh5-");
  EXPECT_EQ(a.FindOriginalSize(), 1000u);
  EXPECT_EQ(a.FindCompressedSize(), 400u);
  EXPECT_EQ(a.FindCRC(), 0xBEEFu);
  EXPECT_EQ(a.FindOSType(), 0x4Du);
  EXPECT_EQ(a.FindRatio(), 400);
  EXPECT_NEAR(a.FindDate(), *pv::encodeDateTime(2002, 3, 15, 12, 34, 56), 1e-9);
  EXPECT_EQ(a.FindNext(), -1);
  EXPECT_EQ(callsOf("FindNext"), Lines{"unlha32 FindNext 5a5a0001"});
}

TEST_F(ArchiveTest, AnAllZeroRecordFallsBackToTheArchiveFilesDate) {
  TestArchive& a = bound("full");
  const std::string file = scratch("zero-record.lzh");
  setLocalWriteTime(file, 2001, 2, 3, 4, 5, 6);

  // As constructed: empty texts, zero sizes; the date of an unset ArcFile fails.
  EXPECT_EQ(a.FindName(), "");
  EXPECT_EQ(a.FindAttribute(), "");
  EXPECT_EQ(a.FindMode(), "");
  EXPECT_EQ(a.FindOriginalSize(), 0u);
  EXPECT_EQ(a.FindCompressedSize(), 0u);
  EXPECT_EQ(a.ArcOriginalSize(), 0u);
  EXPECT_EQ(a.ArcCompressedSize(), 0u);
  EXPECT_THROW(a.FindDate(), pv::Error);

  a.SetMode(amLha);
  ASSERT_TRUE(a.OpenArchive(file));
  ASSERT_EQ(a.FindFirst("zero"), 0);
  EXPECT_EQ(a.FindName(), "");
  const double expected = *pv::encodeDateTime(2001, 2, 3, 4, 5, 6);
  EXPECT_NEAR(a.FindDate(), expected, 1e-9);

  // Cached: a later change of the file is not seen while the archive stays open...
  setLocalWriteTime(file, 2010, 1, 1, 0, 0, 0);
  EXPECT_NEAR(a.FindDate(), expected, 1e-9);
  // ...but opening an archive reads the date anew.
  ASSERT_TRUE(a.OpenArchive(file));
  ASSERT_EQ(a.FindFirst("zero"), 0);
  EXPECT_NEAR(a.FindDate(), *pv::encodeDateTime(2010, 1, 1, 0, 0, 0), 1e-9);

  // A file that does not exist: the conversion error reaches the reader.
  ASSERT_TRUE(a.OpenArchive(scratch("no-such-archive.lzh")));
  ASSERT_EQ(a.FindFirst("zero"), 0);
  EXPECT_THROW(a.FindDate(), pv::Error);
  ::DeleteFileA(file.c_str());
}

TEST_F(ArchiveTest, FieldsAreCutAtTheirSizeWithoutATerminator) {
  TestArchive a;
  TIndividualInfo& r = a.memberRecord();
  std::fill(std::begin(r.szFileName), std::end(r.szFileName), 'n');
  std::fill(std::begin(r.dummy1), std::end(r.dummy1), 'p');
  std::fill(std::begin(r.szAttribute), std::end(r.szAttribute), 'a');
  std::fill(std::begin(r.szMode), std::end(r.szMode), 'm');
  EXPECT_EQ(a.FindName(), std::string(513, 'n'));
  EXPECT_EQ(a.FindAttribute(), std::string(8, 'a'));
  EXPECT_EQ(a.FindMode(), std::string(8, 'm'));
  r.szAttribute[3] = 0;
  EXPECT_EQ(a.FindAttribute(), "aaa");
}

}  // namespace
