#include "platform/core/object.h"

#include <algorithm>
#include <cctype>
#include <typeinfo>

void TObject::Free() {
  BeforeDestruction();
  delete this;
}

std::string TObject::ClassName() const {
  std::string n = typeid(*this).name();
  // Itanium names: length prefix then the name.
  size_t i = 0;
  while (i < n.size() && n[i] >= '0' && n[i] <= '9') ++i;
  return i > 0 ? n.substr(i) : n;
}

void TPersistent::Assign(TPersistent* source) {
  std::string from = source ? source->ClassName() : std::string("nil");
  throw EConvertError("Cannot assign a " + from + " to a " + ClassName());
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent* TComponent::Components(int i) const {
  if (i < 0 || i >= int(FComponents.size())) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return FComponents[size_t(i)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& v = FOwner->FComponents;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : int(it - v.begin());
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->FOwner == this) return;
  if (c->FOwner) c->FOwner->RemoveComponent(c);
  FComponents.push_back(c);
  c->FOwner = this;
  SendNotification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
  if (!c || c->FOwner != this) return;
  SendNotification(c, opRemove);
  auto it = std::find(FComponents.begin(), FComponents.end(), c);
  if (it != FComponents.end()) FComponents.erase(it);
  c->FOwner = nullptr;
}

// The owner and everything it owns hear of insertions and removals.
void TComponent::SendNotification(TComponent* c, TOperation op) {
  Notification(c, op);
  std::vector<TComponent*> snapshot = FComponents;
  for (TComponent* x : snapshot) {
    if (x != c && std::find(FComponents.begin(), FComponents.end(), x) != FComponents.end()) x->Notification(c, op);
  }
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    RemoveComponent(c);
    c->Free();
  }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents) {
    if (c->FName.size() == name.size() && std::equal(name.begin(), name.end(), c->FName.begin(), [](char a, char b) {
          return std::tolower((unsigned char)a) == std::tolower((unsigned char)b);
        }))
      return c;
  }
  return nullptr;
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), c) == FFreeNotifies.end()) FFreeNotifies.push_back(c);
  if (std::find(c->FFreeNotifies.begin(), c->FFreeNotifies.end(), this) == c->FFreeNotifies.end())
    c->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* c) {
  if (!c) return;
  std::erase(FFreeNotifies, c);
  std::erase(c->FFreeNotifies, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    // A component that goes away is dropped from the free-notification list.
    std::erase(FFreeNotifies, component);
  }
}

void TComponent::NotifyFreeNotifies() {
  if (FNotified) return;
  FNotified = true;
  SetDestroyingFlag();
  for (TComponent* c : FComponents) c->SetDestroyingFlag();
  while (!FFreeNotifies.empty()) {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    std::erase(c->FFreeNotifies, this);
    c->Notification(this, opRemove);
  }
}

void TComponent::BeforeDestruction() { NotifyFreeNotifies(); }

TComponent::~TComponent() {
  NotifyFreeNotifies();
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}
