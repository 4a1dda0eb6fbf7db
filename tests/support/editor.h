// The editor started for a test, with the modal service answering from a script: each modal
// request takes the next answer; a request with no answer left fails the test.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/view/vistrelvect.h"

namespace vltest {

// A box drawn on the view from (X1, Y1) to (X2, Y2) in Color and left selected, as a user
// leaves one before a command.
inline void DrawSelectedBox(TVistrelVect* View, int X1, int Y1, int X2, int Y2, TColor Color) {
  TVLVObject o = *View->Object(VL_OBJ_TEMPLATE);
  o.Kind = vokBox;
  o.X1 = X1, o.Y1 = Y1, o.X2 = X2, o.Y2 = Y2;
  o.PenColor = Color;
  View->AddObject(VL_OBJ_ROOT, o);
  View->SelectObject(VL_OBJ_LAST);
}

// Answers modal requests from a queue while it lives; a request with none left is cancelled
// (screen tests, where the program's own boxes may come up).
class TScriptedAnswers {
 public:
  TScriptedAnswers() {
    SetModalAnswer([this](TModalRequest& r) {
      if (Queue.empty()) return int(mrCancel);
      auto a = Queue.front();
      Queue.pop_front();
      return a(r);
    });
  }
  ~TScriptedAnswers() { SetModalAnswer(nullptr); }
  TScriptedAnswers(const TScriptedAnswers&) = delete;
  TScriptedAnswers& operator=(const TScriptedAnswers&) = delete;
  void push_back(std::function<int(TModalRequest&)> a) { Queue.push_back(std::move(a)); }
  bool empty() const { return Queue.empty(); }

 private:
  std::deque<std::function<int(TModalRequest&)>> Queue;
};

class EditorTest : public ::testing::Test {
 protected:
  quillon::TMainForm* main = nullptr;
  std::deque<std::function<int(TModalRequest&)>> answers;
  std::vector<TModalRequest> asked;

  void SetUp() override {
    SetModalAnswer([this](TModalRequest& r) {
      asked.push_back(r);
      if (answers.empty()) {
        ADD_FAILURE() << "unexpected modal request: " << r.Caption << " / " << r.Text;
        return int(mrCancel);
      }
      auto a = answers.front();
      answers.pop_front();
      return a(r);
    });
    main = quillon::StartQuillon();
    main->Show();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    quillon::StopQuillon(main);
    main = nullptr;
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.empty()) << "answers left over";
  }

  void AnswerFile(const std::string& name) {
    answers.push_back([name](TModalRequest& r) {
      EXPECT_TRUE(r.Kind == mkOpenFile || r.Kind == mkSaveFile);
      r.Value = name;
      return int(mrOk);
    });
  }
  void AnswerMessage(int result, std::string* text = nullptr) {
    answers.push_back([result, text](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkMessage);
      if (text) *text = r.Text;
      return result;
    });
  }
  void AnswerForm(std::function<void(TForm*)> fill, int result = mrOk) {
    answers.push_back([fill, result](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkForm);
      fill(r.Form);
      return result;
    });
  }

  quillon::TMDIChild* Open(const std::string& path) {
    AnswerFile(path);
    main->FileOpenItemClick(nullptr);
    QCoreApplication::processEvents();
    return main->ActiveChild();
  }
};

// The editor started in a working folder of its own, made empty under the build folder as
// <group>/<test name>; the folder the test started in comes back after.
class EditorInFolderTest : public EditorTest {
 protected:
  explicit EditorInFolderTest(const char* Group) : FGroup(Group) {}
  std::filesystem::path dir, oldCwd;

  void SetUp() override {
    oldCwd = std::filesystem::current_path();
    dir = std::filesystem::path(VL_BUILD_DIR) / FGroup / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    EditorTest::SetUp();
  }
  void TearDown() override {
    EditorTest::TearDown();
    std::filesystem::current_path(oldCwd);
  }

 private:
  const char* FGroup;
};

}  // namespace vltest
