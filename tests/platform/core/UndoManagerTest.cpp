#include "platform/core/UndoManager.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

// A model with one value whose setter registers its own inverse, as every
// edit of the application does.
struct Counter {
    UndoManager* um;
    int value = 0;
    void set(int v) {
        int old = value;
        um->registerUndo(this, [this, old] { set(old); });
        value = v;
    }
};

class UndoManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&um, &UndoManager::didOpenUndoGroup, [this] { ++changeCount; });
        QObject::connect(&um, &UndoManager::didUndoChange, [this] { if (changeCount > 0) --changeCount; });
        QObject::connect(&um, &UndoManager::didRedoChange, [this] { ++changeCount; });
    }
    void endEvent() { QCoreApplication::processEvents(); }
    UndoManager um;
    Counter c{&um};
    int changeCount = 0;
};

TEST_F(UndoManagerTest, OneGroupPerEventThenRedo) {
    c.set(1);
    c.set(2);
    endEvent();
    c.set(3);
    endEvent();
    EXPECT_EQ(um.undoCount(), 2);
    EXPECT_EQ(changeCount, 2);

    um.undo();
    EXPECT_EQ(c.value, 2);
    um.undo();  // both edits of the first event at once
    EXPECT_EQ(c.value, 0);
    EXPECT_FALSE(um.canUndo());
    EXPECT_EQ(changeCount, 0);

    um.redo();
    EXPECT_EQ(c.value, 2);
    um.redo();
    EXPECT_EQ(c.value, 3);
    EXPECT_EQ(changeCount, 2);
    um.undo();
    EXPECT_EQ(c.value, 2);
}

TEST_F(UndoManagerTest, NewActionClearsRedo) {
    c.set(1);
    endEvent();
    um.undo();
    EXPECT_TRUE(um.canRedo());
    c.set(5);
    EXPECT_FALSE(um.canRedo());
    endEvent();
    um.undo();
    EXPECT_EQ(c.value, 0);
}

TEST_F(UndoManagerTest, UndoClosesTheOpenEventGroupAndFlagsAreSet) {
    bool sawUndoing = false, sawRedoing = false;
    um.registerUndo(this, [&] { sawUndoing = um.isUndoing(); um.registerUndo(this, [&] { sawRedoing = um.isRedoing(); }); });
    um.undo();  // same event: the group is closed first
    EXPECT_TRUE(sawUndoing);
    EXPECT_TRUE(um.canRedo());
    um.redo();
    EXPECT_TRUE(sawRedoing);
    EXPECT_FALSE(um.isUndoing());
    EXPECT_FALSE(um.isRedoing());
}

TEST_F(UndoManagerTest, ManualGroupsAndRemoval) {
    um.beginUndoGrouping();
    c.set(1);
    c.set(2);
    int other = 0;
    um.registerUndo(&other, [&] { other = 9; });
    um.endUndoGrouping();
    um.beginUndoGrouping();
    um.registerUndo(&other, [&] { other = 7; });
    um.endUndoGrouping();

    um.removeAllActions(&other);
    EXPECT_EQ(um.undoCount(), 1);  // the group of only `other` went away
    um.undo();
    EXPECT_EQ(c.value, 0);
    EXPECT_EQ(other, 0);

    c.set(4);
    endEvent();
    um.removeAllActions();
    EXPECT_FALSE(um.canUndo());
    EXPECT_FALSE(um.canRedo());
}

TEST_F(UndoManagerTest, DisabledRegistrationRecordsNothing) {
    um.disableUndoRegistration();
    c.set(3);
    um.enableUndoRegistration();
    endEvent();
    EXPECT_FALSE(um.canUndo());
    EXPECT_EQ(changeCount, 0);
}

}  // namespace
