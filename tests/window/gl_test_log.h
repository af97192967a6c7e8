// Captures the framework log of one test into a scratch file.
#pragma once

#include <string>

#include "framework/log.h"
#include "support/test_support.h"

namespace ember_test {

class GlTestLog {
public:
  GlTestLog() {
    SYS_LogSetFile(dir_.str("test.log").c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
  }
  ~GlTestLog() {
    SYS_LogSetFlags(0);
    SYS_LogClose();
    SYS_ErrorClear();
  }
  GlTestLog(const GlTestLog &) = delete;
  GlTestLog &operator=(const GlTestLog &) = delete;

  std::string Text() const {
    auto file = dir_.path() / "test.log";
    return std::filesystem::exists(file) ? ReadFile(file) : std::string();
  }
  bool Has(const std::string &line) const { return Text().find(line) != std::string::npos; }

private:
  TempDir dir_;
};

}  // namespace ember_test
