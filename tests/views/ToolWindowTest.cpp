#include "views/ToolWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

namespace {

// A window manager minimises a panel either with its main window (the main
// window's own button, the pointer elsewhere) or alone (the panel's title
// bar, under the pointer; openbox takes the owner down with it). The one
// minimised alone is closed; the one minimised with its owner stays with it.
// Neither window is mapped here, so no platform echoes the states back.
TEST(FloatingPanel, MinimisedWithItsOwnerItStaysButMinimisedAloneItCloses) {
    struct Case {
        const char* what;
        bool ownerMinimised;
        QPoint pointer;
        bool alone;
    };
    const Case cases[] = {
        {"with the main window", true, {200, 150}, false},
        {"from its own title bar", false, {600, 10}, true},
        {"from its own title bar, the owner taken with it", true, {600, 10}, true},
        {"by a key, the pointer elsewhere", false, {200, 150}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget owner;
        owner.setGeometry(0, 0, 400, 300);
        auto* panel = new QWidget(&owner, kFloatingPanelFlags);
        panel->setGeometry(500, 0, 200, 150);
        if (c.ownerMinimised) owner.setWindowState(Qt::WindowMinimized);
        panel->setWindowState(Qt::WindowMinimized);
        EXPECT_EQ(minimisedAlone(panel, c.pointer), c.alone);
    }

    // Minimised with its owner, the panel is left minimised, to come back
    // with it (placed where no pointer can be).
    QWidget owner;
    owner.setGeometry(0, 0, 400, 300);
    auto* panel = new QWidget(&owner);
    makeFloatingPanel(panel);
    panel->setGeometry(-5000, -5000, 200, 150);
    owner.setWindowState(Qt::WindowMinimized);
    panel->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel->isMinimized());
    EXPECT_TRUE(owner.isMinimized());
}

}  // namespace
