// The component model: ownership, removal notifications, loading.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Component.h"

using namespace vantrel;

namespace {

struct Probe : TComponent {
    Probe(TComponent *owner, std::vector<std::string> *log, std::string name)
        : TComponent(owner), Log(log), Tag(std::move(name)) {}
    ~Probe() override {
        BeginDestruction();
        if (Log) Log->push_back("destroy " + Tag);
    }
    void Notification(TComponent *c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == Link) Link = nullptr;
    }
    void Loaded() override { ++LoadedCount; }
    void SetLink(TComponent *c) {
        Link = c;
        FreeNotification(c);
    }
    std::vector<std::string> *Log;
    std::string Tag;
    TComponent *Link = nullptr;
    int LoadedCount = 0;
};

}  // namespace

TEST(Component, OwnerDestroysOwnedComponentsLastFirst) {
    std::vector<std::string> log;
    auto *owner = new Probe(nullptr, &log, "owner");
    new Probe(owner, &log, "a");
    new Probe(owner, &log, "b");
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete owner;
    EXPECT_EQ(log, (std::vector<std::string>{"destroy b", "destroy a", "destroy owner"}));
}

TEST(Component, DestroyingALinkedComponentClearsTheLink) {
    Probe a(nullptr, nullptr, "a");
    auto *b = new Probe(nullptr, nullptr, "b");
    a.SetLink(b);
    delete b;
    EXPECT_EQ(a.Link, nullptr);
}

TEST(Component, SiblingsHearOfEachOthersRemovalThroughTheOwner) {
    Probe owner(nullptr, nullptr, "owner");
    auto *a = new Probe(&owner, nullptr, "a");
    auto *b = new Probe(&owner, nullptr, "b");
    a->Link = b;  // no subscription: the owner passes the removal on
    delete b;
    EXPECT_EQ(a->Link, nullptr);
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Component, DeletingAnOwnedComponentRemovesItFromItsOwner) {
    Probe owner(nullptr, nullptr, "owner");
    auto *a = new Probe(&owner, nullptr, "a");
    delete a;
    EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Component, EndLoadingRunsLoadedOnce) {
    Probe p(nullptr, nullptr, "p");
    p.BeginLoading();
    EXPECT_TRUE(p.IsLoading());
    p.EndLoading();
    p.EndLoading();
    EXPECT_FALSE(p.IsLoading());
    EXPECT_EQ(p.LoadedCount, 1);
}
