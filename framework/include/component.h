// TPersistent and TComponent: the base of option objects and of components
// with a name, an owner that owns and destroys them, a state and notifications.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "exceptions.h"

/// A failure of the component base: a name already used among an owner's
/// components.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

/// Base of option objects that a component owns and publishes (a
/// connection's encryption options, a table's options). Assign copies the
/// values of another persistent of a kind the target knows.
class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  /// Copies `source` into this object. The base hands the work to
  /// source.AssignTo(*this); when neither side knows the other it raises
  /// EConvertError "Cannot assign".
  virtual void Assign(const TPersistent& source);

 protected:
  /// The reverse of Assign; the base refuses.
  virtual void AssignTo(TPersistent& dest) const;
};

/// What a component is going through.
enum TComponentStateItem {
  csLoading,     // being read from a form resource; Loaded() ends it
  csDesigning,   // in a designer, not running in a program
  csDestroying,  // destruction has begun
};
using TComponentState = std::set<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

/// A named component with an optional owner. An owner owns its components:
/// it destroys them, in reverse order of their creation, when it is destroyed
/// itself; a component destroyed on its own leaves its owner's list. So a
/// component with an owner is created with `new` and never deleted twice.
///
/// Notifications: when a component joins or leaves an owner, the owner and
/// every component it owns hear of it (Notification with opInsert/opRemove).
/// A component that refers to one outside its owner asks for a free
/// notification (FreeNotification) and then hears opRemove when that one is
/// destroyed; both sides forget the registration when either goes away.
///
/// Destruction order: ~TComponent runs after the destructors of derived
/// classes. A derived destructor that must act while the object is whole
/// (close a dataset, disconnect) calls Destroying() first; an owner that
/// wants its components gone while its own members still exist calls
/// DestroyComponents() in its destructor.
///
/// Not thread-safe: a component and its owner belong to one thread.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  const std::string& Name() const { return FName; }
  /// Renames the component. Raises EComponentError "A component named %s
  /// already exists" when another component of the same owner already has
  /// the name (case-insensitive; empty names never clash). Descendants that
  /// react to a rename override it and call the base first.
  virtual void SetName(const std::string& newName);

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  /// The owned components in order of insertion (creation).
  TComponent* Components(int index) const { return FComponents.at(index); }
  /// The owned component of that name (case-insensitive), or nullptr.
  TComponent* FindComponent(std::string_view name) const;
  /// Position in the owner's list, -1 without owner.
  int ComponentIndex() const;

  /// Takes a component into this owner's list (it leaves its former owner).
  void InsertComponent(TComponent* component);
  /// Lets a component go from this owner's list without destroying it.
  void RemoveComponent(TComponent* component);
  /// Destroys every owned component, last created first.
  void DestroyComponents();

  const TComponentState& ComponentState() const { return FComponentState; }
  bool HasState(TComponentStateItem item) const { return FComponentState.count(item) != 0; }
  /// Marks this component and everything it owns as being destroyed.
  void Destroying();
  /// Enters or leaves design mode, with every owned component.
  void SetDesigning(bool value);
  /// Loading from a form resource: BeginLoading marks this component and
  /// its components csLoading; EndLoading calls Loaded() on this component,
  /// then on each owned one in creation order.
  void BeginLoading();
  void EndLoading();

  /// Asks for a notification when `component` is destroyed.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

 protected:
  /// Runs when loading ends; the base clears csLoading. Descendants call it
  /// first, then finish what loading postponed.
  virtual void Loaded();
  /// A component joined or left this one's owner, or one this component
  /// registered with is being destroyed. The base forgets a destroyed
  /// component's free notification and passes the notice to the owned
  /// components.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void NotifyOwned(TComponent* component, TOperation operation);

  std::string FName;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState;
};
