#include "toolkit/classes.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) {
    owner_->components_.push_back(this);
    loading_ = owner_->loading_;
  }
}

TComponent::~TComponent() {
  destroying_ = true;
  DestroyComponents();
  if (owner_ != nullptr) owner_->Remove(this);
}

void TComponent::DestroyComponents() {
  // Each child removes itself from our list in its destructor, so always take the last one.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    c->owner_ = nullptr;
    components_.pop_back();
    delete c;
  }
}

void TComponent::Remove(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : components_) {
    if (c->Name == name) return c;
  }
  return nullptr;
}

void TComponent::BeginLoading() {
  loading_ = true;
  for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::EndLoading() {
  // A copy: a Loaded handler may create or free components.
  std::vector<TComponent*> list = components_;
  for (TComponent* c : list) c->EndLoading();
  if (loading_) Loaded();
}
