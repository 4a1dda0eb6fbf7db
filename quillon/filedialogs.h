// Plain open and save dialogs of the editor: a file name chosen through the platform's modal
// service (tests answer it), or the desktop's file dialog when the program runs on a screen.
#pragma once
#include <string>

#include "platform/core/core.h"

namespace quillon {

class TPlainFileDialog : public TComponent {
 public:
  TPlainFileDialog(TComponent* AOwner, bool Save);
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Name) { FFileName = Name; }
  // "Description|*.a;*.b|..." as the platform's common dialogs take it.
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Filter) { FFilter = Filter; }
  bool AutoSetFilter() const { return FAutoSetFilter; }
  void SetAutoSetFilter(bool Value) { FAutoSetFilter = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Title) { FTitle = Title; }
  bool Execute();

 private:
  bool FSave;
  std::string FFileName;
  std::string FFilter;
  std::string FTitle;
  bool FAutoSetFilter = true;
};

}  // namespace quillon
