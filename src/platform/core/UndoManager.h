#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// Records the inverse of every edit so that it can be undone and redone.
//
// Actions registered during one pass of the event loop form one group (unless
// groups are opened by hand). Undoing a group runs its actions in reverse
// order; whatever they register meanwhile becomes a group on the redo stack,
// and what redo's actions register goes back on the undo stack. A new action
// registered outside undo and redo clears the redo stack.
class UndoManager : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr);
    ~UndoManager() override;

    // Registers `action` as the inverse of a change made to `target`.
    void registerUndo(const void* target, Action action);

    void beginUndoGrouping();
    void endUndoGrouping();
    int groupingLevel() const { return level_; }
    bool groupsByEvent() const { return groupsByEvent_; }
    void setGroupsByEvent(bool on) { groupsByEvent_ = on; }

    bool canUndo() const;
    bool canRedo() const;
    void undo();
    void redo();
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }

    void disableUndoRegistration() { ++disabled_; }
    void enableUndoRegistration() { if (disabled_ > 0) --disabled_; }
    bool isUndoRegistrationEnabled() const { return disabled_ == 0; }

    void removeAllActions();
    void removeAllActions(const void* target);

    // The name of the group being built (or of the last one closed).
    void setActionName(const QString& name);
    QString undoActionName() const;
    QString redoActionName() const;

    int undoCount() const { return static_cast<int>(undoStack_.size()); }
    int redoCount() const { return static_cast<int>(redoStack_.size()); }

signals:
    // A group was opened by hand or by the first registration of an event.
    void didOpenUndoGroup();
    void didCloseUndoGroup();
    void didUndoChange();
    void didRedoChange();
    // canUndo() or canRedo() may have changed: after a registration, a
    // closed group, an undo, a redo or a removal.
    void stateChanged();

private:
    struct Entry {
        const void* target;
        Action action;
    };
    struct Group {
        QString name;
        std::vector<Entry> entries;
    };

    void closeEventGroup();
    void runGroup(std::vector<Group>& from, std::vector<Group>& to, bool& flag);
    std::vector<Group>& targetStack();

    std::vector<Group> undoStack_;
    std::vector<Group> redoStack_;
    int level_ = 0;
    bool groupOpen_ = false;       // the top of targetStack() is being filled
    bool eventGroupOpen_ = false;  // opened automatically, closes after this event
    bool groupsByEvent_ = true;
    bool undoing_ = false;
    bool redoing_ = false;
    int disabled_ = 0;
    QString pendingName_;
};
