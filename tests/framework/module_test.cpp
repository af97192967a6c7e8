// The module loader: the series of file names it tries, the list that makes
// a second request share the first one's handle, and closing.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <zlib.h>

#include "framework/sys.h"
#include "core_test_util.h"
#include "support/test_support.h"

namespace {

using ember_test::LogCapture;

using ember_test::ReadFile;
using ember_test::ScopedCwd;
using ember_test::TempDir;


size_t Count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Absolute path of the zlib this program runs with: a library that is
// surely there.
std::string ZlibPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void *>(&zlibVersion), &info) || !info.dli_fname) return {};
  return std::filesystem::canonical(info.dli_fname).string();
}

PModule Find(const char *name) {
  for (PModule m = SYS_DlGetList(); m; m = m->next)
    if (std::string(m->name) == name) return m;
  return nullptr;
}

TEST(DlOpen, AnAbsolutePathLoadsAtTheSecondTryAndIsSharedAfterwards) {
  std::string zlib = ZlibPath();
  ASSERT_FALSE(zlib.empty());
  LogCapture log;
  void *h = SYS_DlOpen(zlib.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  std::string first = log.text();
  EXPECT_NE(first.find("[dl] Load lib: Modules/" + zlib + "-osx.so\n[dl] try " + zlib +
                       "...\n[dl] address: 0x"),
            std::string::npos)
      << first;

  EXPECT_EQ(SYS_DlOpen(zlib.c_str()), h);
  std::string second = log.text().substr(first.size());
  EXPECT_EQ(second, "[dl] preloaded module: " + zlib + "\n");

  PModule node = Find(zlib.c_str());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->handle, h);
  EXPECT_EQ(node->users, 2);

  EXPECT_EQ(SYS_DlSym(h, "zlibVersion"), reinterpret_cast<void *>(&zlibVersion));

  // Two users: the first close only lets go of one; the second really closes.
  EXPECT_EQ(SYS_DlClose(h), 0);
  ASSERT_EQ(Find(zlib.c_str()), node);
  EXPECT_EQ(node->users, 1);
  EXPECT_EQ(SYS_DlClose(h), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(Find(zlib.c_str()), nullptr);
}

TEST(DlOpen, TheProgramsModulesFolderIsTriedFirst) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "Modules");
  std::filesystem::copy_file(ZlibPath(), dir.path() / "Modules" / "zcopy-osx.so");
  ScopedCwd cwd(dir.path());
  LogCapture log;
  void *h = SYS_DlOpen("zcopy");
  ASSERT_NE(h, nullptr);
  std::string text = log.text();
  EXPECT_NE(text.find("[dl] Load lib: Modules/zcopy-osx.so\n[dl] address: "), std::string::npos)
      << text;
  EXPECT_EQ(Count(text, "[dl] try "), 0u);
  EXPECT_EQ(SYS_DlClose(h), 0);
}

TEST(DlOpen, ANameThatAlreadyEndsInTheModuleSuffixIsOpenedAsGiven) {
  LogCapture log;
  EXPECT_EQ(SYS_DlOpen("/nonexistent-ember/x-osx.so"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 200);
  EXPECT_EQ(log.text().find("[dl] Load lib: /nonexistent-ember/x-osx.so\n"), 0u) << log.text();
}

TEST(DlOpen, ANameNoAttemptOpensTriesFiveFilesAndFailsWith200) {
  LogCapture log;
  EXPECT_EQ(SYS_DlOpen("ember-no-such-module"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 200);
  std::string text = log.text();
  EXPECT_EQ(Count(text, "[dl] Load lib: Modules/ember-no-such-module-osx.so\n"), 1u);
  EXPECT_NE(text.find("[dl] try ember-no-such-module...\n"
                      "[dl] try libember-no-such-module.so...\n"
                      "[dl] try libember-no-such-module.so.1...\n"
                      "[dl] try libember-no-such-module.so.2...\n"
                      "[dl] error: "),
            std::string::npos)
      << text;
  EXPECT_EQ(Count(text, "[dl] failed ("), 0u);
  EXPECT_EQ(Find("ember-no-such-module"), nullptr);

  // "debug-dlerrors" explains each failed attempt before the next.
  SYS_LogDlErrors = 1;
  EXPECT_EQ(SYS_DlOpen("ember-no-such-module"), nullptr);
  SYS_LogDlErrors = 0;
  EXPECT_EQ(Count(log.text(), "[dl] failed ("), 4u);
}

TEST(DlSym, AMissingSymbolIsNullWithoutAnErrorCode) {
  void *h = SYS_DlOpen(ZlibPath().c_str());
  ASSERT_NE(h, nullptr);
  {
    LogCapture log;
    EXPECT_EQ(SYS_DlSym(h, "ember_no_such_symbol"), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 0);
    EXPECT_EQ(log.text(), "");

    SYS_LogDlSymbols = 1;
    EXPECT_EQ(SYS_DlSym(h, "ember_no_such_symbol"), nullptr);
    SYS_LogDlSymbols = 0;
    EXPECT_EQ(log.text().find("[dl] symbol not found: ember_no_such_symbol ("), 0u);
  }
  EXPECT_EQ(SYS_DlClose(h), 0);
}

TEST(DlClose, AnUnlistedHandleIsClosedAndTheListIsUnchanged) {
  void *listed = SYS_DlOpen(ZlibPath().c_str());
  ASSERT_NE(listed, nullptr);
  // The program's own handle: no node lists it, and closing it is harmless.
  void *self = dlopen(nullptr, RTLD_LAZY);
  ASSERT_NE(self, nullptr);
  size_t listed_count = 0;
  for (PModule m = SYS_DlGetList(); m; m = m->next) ++listed_count;
  PModule head = SYS_DlGetList();
  {
    LogCapture log;
    EXPECT_EQ(SYS_DlClose(self), 0);
    EXPECT_EQ(Count(log.text(), "[dl] release: "), listed_count);
  }
  EXPECT_EQ(SYS_DlGetList(), head);
  EXPECT_EQ(head->handle, listed);
  EXPECT_EQ(SYS_DlClose(listed), 0);
}

TEST(DlLoader, BadArgumentsAreRefusedWithTheirCodes) {
  EXPECT_EQ(SYS_DlOpen(nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_DlSym(nullptr, "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 202);
  int anything = 0;
  EXPECT_EQ(SYS_DlSym(&anything, nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_DlClose(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 202);
  EXPECT_EQ(SYS_DlAddLib(nullptr, "x"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_DlAddLib(&anything, nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(DlAddLib, ARegisteredHandleIsWhatALaterOpenOfItsNameReturns) {
  void *self = dlopen(nullptr, RTLD_LAZY);
  ASSERT_NE(self, nullptr);
  ASSERT_EQ(SYS_DlAddLib(self, "Base"), 0);
  EXPECT_EQ(SYS_DlOpen("Base"), self);
  EXPECT_EQ(Find("Base")->users, 2);
  EXPECT_EQ(SYS_DlClose(self), 0);
  EXPECT_EQ(SYS_DlClose(self), 0);
  EXPECT_EQ(Find("Base"), nullptr);
}

}  // namespace
