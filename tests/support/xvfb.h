// Runs this test program again on a virtual X screen through a shell script of the test area
// (script <this program> <out.png> [extra]), from a test that the normal run executes. The
// script's own run sets an environment variable, so the screen tests it selects run only there.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vltest {

inline int RunScreenScript(const std::string& script, const std::string& out, const std::string& extra = "") {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return 77;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string cmd = "sh '" + script + "' '" + self + "' '" + out + "'";
  if (!extra.empty()) cmd += " '" + extra + "'";
  const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
}

// Runs this test program's tests selected by `filter` on a virtual X screen of `size` ("WxH")
// with a window manager, through tests/support/screen.sh; `env` is set to `out` there.
inline int RunOnScreen(const std::string& env, const std::string& out, const std::string& size,
                       const std::string& filter = "XvfbScreen.*") {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return 77;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string script = std::string(VL_TESTDATA) + "/../support/screen.sh";
  const std::string cmd = "sh '" + script + "' '" + self + "' '" + out + "' '" + env + "' '" + size + "' '" + filter + "'";
  const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
}

}  // namespace vltest

// Skips inside the virtual screen itself (env set) and where xvfb-run is missing.
#define VLTEST_RUN_SCREEN_SCRIPT(env, script, out, ...)                        \
  do {                                                                         \
    if (std::getenv(env)) GTEST_SKIP() << "already inside the virtual screen"; \
    const int screenRc_ = vltest::RunScreenScript(script, out, ##__VA_ARGS__); \
    if (screenRc_ == 77) GTEST_SKIP() << "xvfb-run missing";                   \
    EXPECT_EQ(screenRc_, 0);                                                   \
  } while (0)

// The same on a screen of `size` with a window manager; skips inside the screen itself.
#define VLTEST_RUN_ON_SCREEN(env, out, size, ...)                              \
  do {                                                                         \
    if (std::getenv(env)) GTEST_SKIP() << "already inside the virtual screen"; \
    const int screenRc_ = vltest::RunOnScreen(env, out, size, ##__VA_ARGS__);  \
    if (screenRc_ == 77) GTEST_SKIP() << "xvfb-run missing";                   \
    EXPECT_EQ(screenRc_, 0);                                                   \
  } while (0)
