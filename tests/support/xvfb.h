// Runs this test program again on a virtual X screen through a shell script of the test area
// (script <this program> <out.png> [extra]), from a test that the normal run executes. The
// script's own run sets an environment variable, so the screen tests it selects run only there.
//
// scripts/setup installs xvfb-run and openbox, so a screen that can't start fails the test;
// VLTEST_ALLOW_NO_SCREEN=1 skips such tests instead, for a machine without them.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vltest {

inline bool AllowNoScreen() {
  const char* v = std::getenv("VLTEST_ALLOW_NO_SCREEN");
  return v && std::string(v) == "1";
}

// Why no virtual screen can start here (a missing program), or "" when one can.
inline std::string NoScreenReason(bool windowManager) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return "xvfb-run missing";
  if (windowManager && std::system("command -v openbox >/dev/null 2>&1") != 0) return "openbox missing";
  return "";
}

struct TScreenRun {
  int Rc = 0;
  std::string Output;  // what the inner run wrote, its failures included
};

inline TScreenRun RunCapturing(const std::string& cmd) {
  TScreenRun run;
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return {128, "could not start: " + cmd};
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) run.Output.append(buf, n);
  const int rc = ::pclose(p);
  run.Rc = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
  return run;
}

inline TScreenRun RunScreenScript(const std::string& script, const std::string& out, const std::string& extra = "") {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string cmd = "sh '" + script + "' '" + self + "' '" + out + "'";
  if (!extra.empty()) cmd += " '" + extra + "'";
  return RunCapturing(cmd);
}

// Runs this test program's tests selected by `filter` on a virtual X screen of `size` ("WxH")
// with a window manager, through tests/support/screen.sh; `env` is set to `out` there.
inline TScreenRun RunOnScreen(const std::string& env, const std::string& out, const std::string& size,
                              const std::string& filter = "XvfbScreen.*") {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string script = std::string(VL_TESTDATA) + "/../support/screen.sh";
  return RunCapturing("sh '" + script + "' '" + self + "' '" + out + "' '" + env + "' '" + size + "' '" + filter + "'");
}

}  // namespace vltest

// A test that needs the virtual screen: fails where it can't start, or skips when allowed.
#define VLTEST_REQUIRE_SCREEN(windowManager)                                                   \
  do {                                                                                         \
    const std::string noScreen_ = vltest::NoScreenReason(windowManager);                       \
    if (!noScreen_.empty()) {                                                                  \
      if (vltest::AllowNoScreen()) GTEST_SKIP() << noScreen_ << " (VLTEST_ALLOW_NO_SCREEN=1)"; \
      FAIL() << noScreen_ << ": scripts/setup installs it (VLTEST_ALLOW_NO_SCREEN=1 skips)";   \
    }                                                                                          \
  } while (0)

// Checks the inner run: its output goes into the failure message.
#define VLTEST_EXPECT_SCREEN_RUN(run)                                                  \
  do {                                                                                 \
    const vltest::TScreenRun run_ = (run);                                             \
    if (run_.Rc == 77 && vltest::AllowNoScreen()) GTEST_SKIP() << "no virtual screen"; \
    EXPECT_EQ(run_.Rc, 0) << "the run on the virtual screen failed:\n" << run_.Output; \
  } while (0)

// Skips inside the virtual screen itself (env set).
#define VLTEST_RUN_SCREEN_SCRIPT(env, script, out, ...)                            \
  do {                                                                             \
    if (std::getenv(env)) GTEST_SKIP() << "already inside the virtual screen";     \
    VLTEST_REQUIRE_SCREEN(false);                                                  \
    VLTEST_EXPECT_SCREEN_RUN(vltest::RunScreenScript(script, out, ##__VA_ARGS__)); \
  } while (0)

// The same on a screen of `size` with a window manager; skips inside the screen itself.
#define VLTEST_RUN_ON_SCREEN(env, out, size, ...)                                 \
  do {                                                                            \
    if (std::getenv(env)) GTEST_SKIP() << "already inside the virtual screen";    \
    VLTEST_REQUIRE_SCREEN(true);                                                  \
    VLTEST_EXPECT_SCREEN_RUN(vltest::RunOnScreen(env, out, size, ##__VA_ARGS__)); \
  } while (0)
