#include "ControllerFixture.h"

#include "platform/core/UndoManager.h"
#include "support/TestSupport.h"

#include <QFileDialog>
#include <QMenu>

namespace {

using ShutdownTest = ControllerTest;

// "Save" without a project opens the export's save panel; the user cancels it.
void cancelSavePanel(AudioController* c) {
    testsupport::waitUntil([&] {
        for (auto* panel : c->ui.window->findChildren<QFileDialog*>())
            if (panel->isVisible()) {
                panel->reject();
                return true;
            }
        return false;
    }, 500);
    testsupport::spin(5);
}

enum Answer { Save = 0, DontSave = 1, Cancel = 2, NoQuestion = -2 };

// The close box: who is asked, and whether the window closes.
TEST_F(ShutdownTest, CloseDecisionTable) {
    struct Case {
        const char* name;
        bool tracks;
        bool edited;
        bool miniPlayerShown;
        int answer;
        bool closes;
        bool asked;
        bool terminateFromAlert;
    };
    const Case cases[] = {
        {"no tracks", false, true, false, Cancel, true, false, false},
        {"not edited", true, false, false, Cancel, true, false, false},
        {"mini player shown", true, true, true, Cancel, true, false, false},
        {"save", true, true, false, Save, false, true, false},
        {"don't save", true, true, false, DontSave, true, true, true},
        {"cancel", true, true, false, Cancel, false, true, false},
        // An alert closed without an answer keeps everything, as Cancel does.
        {"dismissed", true, true, false, -1, false, true, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->ui.audioView->audioTracks.clear();
        if (k.tracks) addTrack();
        c->setDocumentEdited(k.edited);
        c->miniPlayer.playerWindow->setVisible(k.miniPlayerShown);
        c->shell.applicationTerminateFromAlertWindow = false;
        alerts.clear();
        answer = k.answer;
        EXPECT_EQ(w->windowShouldClose(), k.closes);
        ASSERT_EQ(alerts.size(), k.asked ? 1u : 0u);
        if (k.asked) {
            EXPECT_EQ(alerts[0].messageText, "Do you want to save the composition?");
            EXPECT_EQ(alerts[0].informativeText, "Export to file before exiting.");
            EXPECT_EQ(alerts[0].buttons, QStringList({"Save", "Don't Save", "Cancel"}));
        }
        EXPECT_EQ(c->shell.applicationTerminateFromAlertWindow, k.terminateFromAlert);
        // Cancel keeps the edited mark.
        if (k.answer == Cancel && k.asked) {
            EXPECT_TRUE(c->isDocumentEdited());
        }
        testsupport::spin(5);  // let a queued save run
        cancelSavePanel(c);
    }
}

TEST_F(ShutdownTest, QuitDecisionTable) {
    struct Case {
        const char* name;
        bool tracks;
        bool edited;
        bool fromAlert;
        int answer;
        AppDelegate::TerminateReply reply;
        bool asked;
    };
    using R = AppDelegate::TerminateReply;
    const Case cases[] = {
        {"no tracks", false, true, false, Cancel, R::TerminateNow, false},
        {"not edited", true, false, false, Cancel, R::TerminateNow, false},
        {"already asked by the window", true, true, true, Cancel, R::TerminateNow, false},
        {"don't save", true, true, false, DontSave, R::TerminateNow, true},
        {"cancel", true, true, false, Cancel, R::TerminateCancel, true},
        {"save", true, true, false, Save, R::TerminateCancel, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->ui.audioView->audioTracks.clear();
        if (k.tracks) addTrack();
        c->setDocumentEdited(k.edited);
        c->shell.applicationTerminateFromAlertWindow = k.fromAlert;
        c->shell.applicationHasToTerminateAfterSaving = false;
        alerts.clear();
        answer = k.answer;
        EXPECT_EQ(d->applicationShouldTerminate(), k.reply);
        EXPECT_EQ(alerts.size(), k.asked ? 1u : 0u);
        testsupport::spin(5);
    }
}

// "Save" at quit: a save that is not made (its panel cancelled) leaves the
// application running and the next quit asks again.
TEST_F(ShutdownTest, FailedSaveAtQuitAsksAgain) {
    addTrack();
    c->setDocumentEdited(true);
    answer = Save;
    d->terminate();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(c->shell.applicationHasToTerminateAfterSaving);
    testsupport::spin(20);
    cancelSavePanel(c);
    EXPECT_FALSE(c->shell.applicationHasToTerminateAfterSaving);
    EXPECT_EQ(quits, 0);

    answer = Cancel;
    alerts.clear();
    d->terminate();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(quits, 0);

    answer = DontSave;
    d->terminate();
    EXPECT_EQ(quits, 1);
}

// A save that succeeds while the flag is set ends the application.
TEST_F(ShutdownTest, SuccessfulSaveAtQuitTerminates) {
    c->shell.applicationHasToTerminateAfterSaving = true;
    c->saveDidEnd(true);
    EXPECT_EQ(quits, 1);
}

// The close box with "Save" and the save panel cancelled keeps the window
// and the application.
TEST_F(ShutdownTest, SaveFromTheCloseBox) {
    addTrack();
    c->setDocumentEdited(true);
    interface->mainWindow->show();
    answer = Save;
    interface->mainWindow->close();
    EXPECT_TRUE(interface->mainWindow->isVisible());
    testsupport::spin(20);
    cancelSavePanel(c);
    EXPECT_FALSE(c->shell.applicationHasToTerminateAfterSaving);
    EXPECT_EQ(quits, 0);
}

// Closing the main window with the mini player open goes on without a
// question; closing the mini player then asks, and "Don't Save" quits.
TEST_F(ShutdownTest, MiniPlayerKeepsTheApplication) {
    addTrack();
    c->setDocumentEdited(true);
    interface->mainWindow->show();
    c->showPlayerWindow();
    answer = DontSave;
    EXPECT_TRUE(interface->mainWindow->close());
    testsupport::spin(20);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(quits, 0);

    c->miniPlayer.playerWindow->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return quits == 1; }));
    EXPECT_EQ(alerts.size(), 1u);
}

// Every way out asks once: one answer ends the application, and Cancel
// leaves it as it was, with Quit still working.
enum How { Quit, CloseWindow };
struct QuitStep {
    How how;
    int answer;
};
struct QuitPath {
    const char* name;
    std::vector<QuitStep> steps;
    size_t questions;
    int quits;
};
class QuitPaths : public ControllerTest, public ::testing::WithParamInterface<QuitPath> {};

TEST_P(QuitPaths, AskOnce) {
    const QuitPath& k = GetParam();
    addTrack();
    c->setDocumentEdited(true);
    interface->mainWindow->show();
    for (const QuitStep& step : k.steps) {
        answer = step.answer;
        if (step.how == Quit)
            d->terminate();
        else
            interface->mainWindow->close();
        testsupport::spin(20);
    }
    // On the way out the windows close too: nothing asks again.
    interface->mainWindow->close();
    testsupport::spin(20);
    EXPECT_EQ(alerts.size(), k.questions);
    EXPECT_EQ(quits, k.quits);
    EXPECT_FALSE(interface->mainWindow->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Shutdown, QuitPaths,
    ::testing::Values(QuitPath{"QuitDontSave", {{Quit, DontSave}}, 1, 1},
                      QuitPath{"QuitCancelQuitAgain", {{Quit, Cancel}, {Quit, DontSave}}, 2, 1},
                      QuitPath{"CloseWindowDontSave", {{CloseWindow, DontSave}}, 1, 1},
                      QuitPath{"CloseWindowCancelThenQuit", {{CloseWindow, Cancel}, {Quit, DontSave}}, 2, 1}),
    [](const ::testing::TestParamInfo<QuitPath>& info) { return std::string(info.param.name); });

TEST_F(ShutdownTest, ClosingTheLastWindowQuits) {
    interface->mainWindow->show();
    EXPECT_TRUE(interface->mainWindow->close());
    ASSERT_TRUE(testsupport::waitUntil([&] { return quits == 1; }));
}

// The change count and the edited mark, through the main window's undo manager.
TEST_F(ShutdownTest, ChangeCountAndEditedMark) {
    UndoManager* undo = c->undoManager();
    undo->setGroupsByEvent(false);
    // An edit whose inverse registers its own inverse, so that it can be redone.
    std::function<void()> inverse = [&] { undo->registerUndo(this, inverse); };
    auto edit = [&] {
        undo->beginUndoGrouping();
        inverse();
        undo->endUndoGrouping();
    };
    struct Step {
        const char* what;
        int tracks;
        std::function<void()> act;
        quint64 count;
        bool edited;
    };
    const std::vector<Step> steps = {
        {"edit with no tracks marks", 0, edit, 1, true},
        {"undo to zero clears", 0, [&] { undo->undo(); }, 0, false},
        {"redo without tracks: count up, no mark", 0, [&] { undo->redo(); }, 1, false},
        {"undo", 1, [&] { undo->undo(); }, 0, false},
        {"edit", 1, edit, 1, true},
        {"edit", 1, edit, 2, true},
        {"edit", 1, edit, 3, true},
        {"undo", 1, [&] { undo->undo(); }, 2, true},
        {"undo", 1, [&] { undo->undo(); }, 1, true},
        {"undo", 1, [&] { undo->undo(); }, 0, false},
        {"redo with tracks marks", 1, [&] { undo->redo(); }, 1, true},
        {"saved", 1, [&] {
             c->library.projectChangeCount = 0;
             c->setDocumentEdited(false);
         }, 0, false},
        {"undo past the save stays at zero", 1, [&] { undo->undo(); }, 0, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        c->ui.audioView->audioTracks.clear();
        for (int i = 0; i < step.tracks; ++i) addTrack();
        step.act();
        EXPECT_EQ(c->library.projectChangeCount, step.count);
        EXPECT_EQ(c->isDocumentEdited(), step.edited);
    }
    // Quitting after undoing past the save does not ask.
    EXPECT_EQ(d->applicationShouldTerminate(), AppDelegate::TerminateReply::TerminateNow);
}

TEST_F(ShutdownTest, ProjectFoldersAreRecognisedWithoutRegardToCase) {
    struct Case {
        const char* path;
        bool project;
    };
    for (auto k : {Case{"/m/Song.trvproj", true}, Case{"/m/Song.TRVPROJ", true},
                   Case{"/m/Song.trvproj.wav", false}, Case{"/m/trvproj", false},
                   Case{"/m/a.wav", false}})
        EXPECT_EQ(AppDelegate::isProjectURL(QUrl::fromLocalFile(k.path)), k.project) << k.path;
}

TEST_F(ShutdownTest, MarkersMenuWithoutTracks) {
    d->menuWillOpen(c->ui.markersMenu);
    auto actions = c->ui.markersMenu->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0]->text(), "No markers");
    EXPECT_FALSE(actions[0]->isEnabled());
}

}  // namespace
