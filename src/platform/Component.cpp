// The component model.
#include "platform/Component.h"

#include <algorithm>

namespace vantrel {

TComponent::TComponent(TComponent *AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

void TComponent::BeginDestruction() {
    if (FChildrenFreed) return;
    FDestroying = true;
    FChildrenFreed = true;
    // Owned components go first, last created first.
    while (!FComponents.empty()) {
        TComponent *child = FComponents.back();
        delete child;  // its destructor removes it from FComponents
    }
}

TComponent::~TComponent() {
    BeginDestruction();
    NotifyRemoval();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::NotifyRemoval() {
    // Everybody who subscribed forgets us. The list is taken over, not
    // copied: a destructor must not allocate (it may run because memory ran
    // out).
    std::vector<TComponent *> subscribers;
    subscribers.swap(FFreeNotifies);
    for (TComponent *c : subscribers) {
        auto &list = c->FFreeNotifies;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        c->Notification(this, TOperation::opRemove);
    }
    if (FOwner && !FOwner->FDestroying) FOwner->Notification(this, TOperation::opRemove);
}

void TComponent::InsertComponent(TComponent *component) {
    if (component->FOwner == this) return;
    if (component->FOwner) component->FOwner->RemoveComponent(component);
    component->FOwner = this;
    FComponents.push_back(component);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent *component) {
    auto it = std::find(FComponents.begin(), FComponents.end(), component);
    if (it == FComponents.end()) return;
    FComponents.erase(it);
    component->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent *other) {
    if (!other || other == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) == other->FFreeNotifies.end())
        other->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent *other) {
    if (!other) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
    other->FFreeNotifies.erase(std::remove(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this),
                               other->FFreeNotifies.end());
}

void TComponent::Notification(TComponent *AComponent, TOperation Operation) {
    // The owner passes removals on to everything it owns, so siblings that
    // link to each other hear about it.
    if (Operation == TOperation::opRemove && !FDestroying)
        ForEachInPlace(FComponents, [&](TComponent *c) {
            if (c != AComponent) c->Notification(AComponent, Operation);
        });
}

void TComponent::EndLoading() {
    if (!FLoading) return;
    FLoading = false;
    Loaded();
}

void TComponent::Loaded() {}

}  // namespace vantrel
