// TPersistent and TComponent: ownership, names, component state and
// notifications.
#include "component.h"

#include <algorithm>

#include "sysutils.h"

void TPersistent::Assign(const TPersistent& source) {
  source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent&) const {
  throw EConvertError("Cannot assign");
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Everyone who asked to hear of this component's end hears it now, and
  // this component forgets its registrations with others.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& theirs = other->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& newName) {
  if (newName == FName) return;
  if (FOwner && !newName.empty()) {
    TComponent* other = FOwner->FindComponent(newName);
    if (other && other != this)
      throw EComponentError(Format("A component named %s already exists", {newName}));
  }
  FName = newName;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, name)) return c;
  return nullptr;
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->FOwner == this) return;
  if (!component->FName.empty()) {
    TComponent* other = FindComponent(component->FName);
    if (other)
      throw EComponentError(Format("A component named %s already exists", {component->FName}));
  }
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  Insert(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component->FOwner != this) return;
  Notification(component, opRemove);
  Remove(component);
}

void TComponent::DestroyComponents() {
  // Last created first; each one leaves the list in its own destructor.
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    Remove(last);
    Notification(last, opRemove);
    delete last;
  }
}

void TComponent::Destroying() {
  if (HasState(csDestroying)) return;
  FComponentState.insert(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::SetDesigning(bool value) {
  if (value)
    FComponentState.insert(csDesigning);
  else
    FComponentState.erase(csDesigning);
  for (TComponent* c : FComponents) c->SetDesigning(value);
}

void TComponent::BeginLoading() {
  FComponentState.insert(csLoading);
  for (TComponent* c : FComponents) c->BeginLoading();
}

void TComponent::EndLoading() {
  if (HasState(csLoading)) Loaded();
  // Loaded may create or destroy components: walk a copy, skipping the gone.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end()) c->EndLoading();
}

void TComponent::Loaded() {
  FComponentState.erase(csLoading);
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  // Both sides keep the pair, so whichever goes first can tell the other.
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
    FFreeNotifies.push_back(component);
  auto& theirs = component->FFreeNotifies;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component),
                      FFreeNotifies.end());
  auto& theirs = component->FFreeNotifies;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component)
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component),
                        FFreeNotifies.end());
  NotifyOwned(component, operation);
}

void TComponent::NotifyOwned(TComponent* component, TOperation operation) {
  // A handler may destroy components: walk a copy, skipping those gone.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (c != component && std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
      c->Notification(component, operation);
}

void TComponent::Insert(TComponent* component) {
  FComponents.push_back(component);
  component->FOwner = this;
}

void TComponent::Remove(TComponent* component) {
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component),
                    FComponents.end());
  component->FOwner = nullptr;
}
