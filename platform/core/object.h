// Objects and components: owners free what they own, and components that refer to
// another component are told when it goes away.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  // Runs the destroy step (notifications while the object is whole), then deletes it.
  void Free();
  virtual void BeforeDestruction() {}
  virtual std::string ClassName() const;
};

// Frees an object that may be null; the pointer is cleared.
template <class T>
void FreeAndNil(T*& p) {
  T* q = p;
  p = nullptr;
  if (q) q->Free();
}

class TPersistent : public TObject {
 public:
  // Copies source into this object; the default raises as the class library does.
  virtual void Assign(TPersistent* source);
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TOperation { opInsert, opRemove };

enum TComponentStateItem : uint32_t {
  csLoading = 1,
  csReading = 2,
  csWriting = 4,
  csDestroying = 8,
  csDesigning = 16,
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  void BeforeDestruction() override;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int i) const;
  int ComponentIndex() const;
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  void DestroyComponents();
  TComponent* FindComponent(const std::string& name) const;

  // Asks to be told (Notification with opRemove) when c is destroyed. Two-way.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);

  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& name) { FName = name; }
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t t) { FTag = t; }
  uint32_t ComponentState() const { return FComponentState; }
  bool Destroying() const { return (FComponentState & csDestroying) != 0; }

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  void SetDestroyingFlag() { FComponentState |= csDestroying; }

 private:
  void NotifyFreeNotifies();
  void SendNotification(TComponent* c, TOperation op);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::string FName;
  intptr_t FTag = 0;
  uint32_t FComponentState = 0;
  bool FNotified = false;
};
