// TComponent: the small component model every database class builds on. An
// owner destroys what it owns; components that link to each other subscribe
// to removal notifications so that no link outlives its target; a component
// whose configuration is being applied is "loading" until Loaded runs.
#pragma once

#include <exception>
#include <utility>
#include <vector>

#include "platform/Finally.h"
#include "platform/Text.h"

namespace vantrel {

enum class TOperation { opInsert, opRemove };

// Calls Apply for every item of List in order, where Apply may take items
// (the current one or others) out of the list. The list is walked in place,
// not copied, so this allocates nothing and serves destructors and the ends
// they run, which may come because memory ran out.
template <class T, class Action>
void ForEachInPlace(std::vector<T *> &List, Action Apply) {
    for (size_t i = 0; i < List.size(); ++i) {
        T *item = List[i];
        Apply(item);
        // When the item, or one before it, left the list, the next one has
        // moved into this place (i wraps below 0 and back, as size_t does).
        if (i < List.size() && List[i] != item) --i;
    }
}

// The steps of an end that must all be tried (notify each linked object,
// close what is open): while going on, a failing step does not stop the
// others and the first failure is kept for RaiseFirst; otherwise the first
// failure leaves at once. Allocates nothing of its own.
class TFirstFailure {
public:
    explicit TFirstFailure(bool GoOn = true) : FGoOn(GoOn) {}

    template <class Step>
    void Run(Step &&Apply) {
        if (!FGoOn) {
            Apply();
            return;
        }
        std::exception_ptr failure = FailureOf(std::forward<Step>(Apply));
        if (failure && !FFailure) FFailure = std::move(failure);
    }
    // Runs Apply for every item of List, walked in place (ForEachInPlace).
    template <class T, class Action>
    void ForEach(std::vector<T *> &List, Action Apply) {
        ForEachInPlace(List, [&](T *item) { Run([&] { Apply(item); }); });
    }
    // Raises the kept failure, if any.
    void RaiseFirst() {
        if (FFailure) std::rethrow_exception(std::exchange(FFailure, nullptr));
    }

private:
    bool FGoOn;
    std::exception_ptr FFailure;
};

class TComponent {
public:
    explicit TComponent(TComponent *AOwner);
    virtual ~TComponent();
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;

    TComponent *Owner() const { return FOwner; }
    const String &Name() const { return FName; }
    void SetName(const String &name) { FName = name; }

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent *Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
    // Takes over ownership (removing it from its former owner).
    void InsertComponent(TComponent *component);
    void RemoveComponent(TComponent *component);

    // Ask to be told (Notification with opRemove) when other is destroyed;
    // the subscription is mutual, as links usually are.
    void FreeNotification(TComponent *other);
    void RemoveFreeNotification(TComponent *other);

    // Told when a component this one subscribed to (or owns, or shares an
    // owner with) is inserted or removed.
    virtual void Notification(TComponent *AComponent, TOperation Operation);

    // Loading: between BeginLoading and EndLoading the component only stores
    // its properties; EndLoading runs Loaded.
    bool IsLoading() const { return FLoading; }
    bool IsDestroying() const { return FDestroying; }
    void BeginLoading() { FLoading = true; }
    void EndLoading();
    virtual void Loaded();

protected:
    // A derived destructor that must run while subclass state is intact calls
    // this first; it marks the component as going away and frees owned ones.
    void BeginDestruction();

private:
    void NotifyRemoval();
    TComponent *FOwner = nullptr;
    String FName;
    std::vector<TComponent *> FComponents;
    std::vector<TComponent *> FFreeNotifies;
    bool FLoading = false;
    bool FDestroying = false;
    bool FChildrenFreed = false;
};

}  // namespace vantrel
