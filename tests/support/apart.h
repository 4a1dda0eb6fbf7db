// What a user sees of a window's controls: each shown control lies inside its parent's client
// area and covers none of its shown siblings, through every level of the window.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/controls.h"

namespace vltest {

inline std::string ControlName(TControl* c) {
  const std::string n = c->Name().empty() ? c->ClassName() : c->Name();
  return c->Caption().empty() ? n : n + " \"" + c->Caption() + "\"";
}

inline void ExpectControlsApart(TWinControl* parent, const std::string& where) {
  std::vector<TControl*> shown;
  for (int i = 0; i < parent->ControlCount(); ++i)
    if (parent->Controls(i)->Visible()) shown.push_back(parent->Controls(i));
  for (size_t i = 0; i < shown.size(); ++i) {
    const TRect a = shown[i]->BoundsRect();
    EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= parent->ClientWidth() && a.Bottom <= parent->ClientHeight())
        << where << ": " << ControlName(shown[i]) << " leaves " << ControlName(parent);
    for (size_t k = i + 1; k < shown.size(); ++k) {
      const TRect b = shown[k]->BoundsRect();
      EXPECT_TRUE(a.Right <= b.Left || b.Right <= a.Left || a.Bottom <= b.Top || b.Bottom <= a.Top)
          << where << ": " << ControlName(shown[i]) << " covers " << ControlName(shown[k]);
    }
    if (auto* w = dynamic_cast<TWinControl*>(shown[i])) ExpectControlsApart(w, where);
  }
}

}  // namespace vltest
