// The roots of the component model: TObject and TComponent (owner, name, owned components,
// the loading state that form resources go through).
#pragma once

#include <functional>
#include <string>
#include <vector>

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject {
 public:
  // Joins `owner`'s list of owned components (none when null); inherits its loading state.
  explicit TComponent(TComponent* owner);
  // Frees every owned component (last created first), then leaves the owner's list.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string Name;  // the component's name ("DXTimer", "Button1")
  int Tag = 0;       // free for the program

  // The component that frees this one (null when none).
  TComponent* Owner() const { return owner_; }
  // Owned components in creation order.
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The owned component named `name` (exact match), or null.
  TComponent* FindComponent(const std::string& name) const;

  // True between BeginLoading and the component's Loaded (properties are being read in).
  bool Loading() const { return loading_; }
  // True for a component being designed (never, in the running program).
  bool Designing() const { return false; }
  // True while the destructor runs.
  bool Destroying() const { return destroying_; }
  // Marks this component and every owned one as loading (what reading a form resource does).
  void BeginLoading();
  // Ends loading: Loaded on every owned component (recursively, creation order), then on this.
  void EndLoading();
  // Called once the properties have been read in; clears the loading state. Override to act on
  // the final property values (call the base).
  virtual void Loaded() { loading_ = false; }

 protected:
  // Frees every owned component now, last created first (forms do this before their own parts
  // are torn down).
  void DestroyComponents();

 private:
  void Remove(TComponent* c);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  bool loading_ = false;
  bool destroying_ = false;
};
