// The common base of the library's image controls: background, border, resolution, the
// current bitmap, and the registry through which attached components learn that the view's
// bitmap object was replaced.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/bitmap.h"
#include "platform/gui/controls.h"

// A method bound to an object: Data is the object, Code identifies the method. Two methods
// are the same when both match.
struct TVLMethod {
  const void* Data = nullptr;
  std::array<unsigned char, 16> Code{};
  std::function<void(TObject* sender)> Call;

  bool Empty() const { return !Call; }
  bool Same(const TVLMethod& o) const { return Data == o.Data && Code == o.Code; }

  // obj->m(sender).
  template <class T>
  static TVLMethod Of(T* obj, void (T::*m)(TObject*)) {
    static_assert(sizeof(m) <= 16, "method pointer too large");
    TVLMethod r;
    r.Data = obj;
    std::memcpy(r.Code.data(), &m, sizeof(m));
    r.Call = [obj, m](TObject* sender) { (obj->*m)(sender); };
    return r;
  }
  // Any callable, identified by an owner and a number of the caller's choice.
  static TVLMethod Make(const void* data, uintptr_t id, std::function<void(TObject*)> fn) {
    TVLMethod r;
    r.Data = data;
    std::memcpy(r.Code.data(), &id, sizeof(id));
    r.Call = std::move(fn);
    return r;
  }
};

class TVLView : public TCustomControl {
 public:
  explicit TVLView(TComponent* AOwner);
  ~TVLView() override;

  TColor Background() const { return FBackground; }
  virtual void SetBackground(TColor Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  void SetCtl3D(bool Value) override;

  // The view's current bitmap; none here.
  virtual TBitmap* GetBitmap();
  int DpiX() const { return FDpiX; }
  int DpiY() const { return FDpiY; }
  virtual void SetDpiX(int Value);
  virtual void SetDpiY(int Value);
  virtual void SetDpi(int X, int Y);
  // Called after the content of the image changed.
  virtual void ImageChange();

  // Registry of bitmap-change callbacks. Add returns the index of the new record.
  int AddBitmapChangeEvent(const TVLMethod& m);
  template <class T>
  int AddBitmapChangeEvent(T* obj, void (T::*m)(TObject*)) {
    return AddBitmapChangeEvent(TVLMethod::Of(obj, m));
  }
  // Removes the first record with the same code and data.
  void RemoveBitmapChangeEvent(const TVLMethod& m);
  template <class T>
  void RemoveBitmapChangeEvent(T* obj, void (T::*m)(TObject*)) {
    RemoveBitmapChangeEvent(TVLMethod::Of(obj, m));
  }
  // Calls every record registered now, in order, with the view as sender.
  void CallBitmapChangeEvents();
  int BitmapChangeEventCount() const { return int(FBitmapChangeEvents.size()); }

  // Times the window was built from its creation parameters.
  int WindowCreations() const { return FWindowCreations; }

 protected:
  void CreateParams(TCreateParams& Params) override;
  // Tells the components that asked for free notification, while the view is whole.
  // Descendants call it first in their destructors.
  void NotifyAttached() { TComponent::BeforeDestruction(); }

  TBorderStyle FBorderStyle = bsSingle;
  std::vector<std::shared_ptr<TVLMethod>> FBitmapChangeEvents;
  TColor FBackground = clBtnFace;
  int FDpiX = 0;
  int FDpiY = 0;
  int FWindowCreations = 0;
  std::shared_ptr<bool> FAlive;
};
