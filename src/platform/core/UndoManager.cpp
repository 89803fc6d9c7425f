#include "platform/core/UndoManager.h"

#include <QTimer>

#include <algorithm>

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}
UndoManager::~UndoManager() = default;

std::vector<UndoManager::Group>& UndoManager::targetStack() {
    return undoing_ ? redoStack_ : undoStack_;
}

void UndoManager::beginUndoGrouping() {
    if (level_ == 0) {
        targetStack().push_back(Group{pendingName_, {}});
        pendingName_.clear();
        groupOpen_ = true;
    }
    ++level_;
    if (!undoing_ && !redoing_) emit didOpenUndoGroup();
}

void UndoManager::endUndoGrouping() {
    if (level_ == 0) return;
    if (--level_ > 0) return;
    auto& stack = targetStack();
    if (groupOpen_ && !stack.empty() && stack.back().entries.empty()) stack.pop_back();
    groupOpen_ = false;
    eventGroupOpen_ = false;
    if (!undoing_ && !redoing_) emit didCloseUndoGroup();
    emit stateChanged();
}

void UndoManager::closeEventGroup() {
    if (eventGroupOpen_ && level_ == 1) endUndoGrouping();
    eventGroupOpen_ = false;
}

void UndoManager::registerUndo(const void* target, Action action) {
    if (disabled_ > 0 || !action) return;
    if (!undoing_ && !redoing_) redoStack_.clear();
    if (level_ == 0) {
        if (!groupsByEvent_ && !undoing_ && !redoing_) {
            qWarning("UndoManager: an action was registered outside any group");
            return;
        }
        beginUndoGrouping();
        if (!undoing_ && !redoing_) {
            eventGroupOpen_ = true;
            QTimer::singleShot(0, this, &UndoManager::closeEventGroup);
        }
    }
    targetStack().back().entries.push_back(Entry{target, std::move(action)});
    if (!undoing_ && !redoing_) emit stateChanged();
}

bool UndoManager::canUndo() const {
    return !undoStack_.empty() && !(undoStack_.size() == 1 && groupOpen_ && !undoing_ &&
                                    undoStack_.back().entries.empty());
}

bool UndoManager::canRedo() const { return !redoStack_.empty(); }

void UndoManager::runGroup(std::vector<Group>& from, std::vector<Group>& to, bool& flag) {
    Group group = std::move(from.back());
    from.pop_back();
    flag = true;
    // What the actions register forms one group on the opposite stack.
    to.push_back(Group{group.name, {}});
    level_ = 1;
    groupOpen_ = true;
    for (auto it = group.entries.rbegin(); it != group.entries.rend(); ++it) it->action();
    // An action may have cleared the stacks; only drop a group we still own.
    if (!to.empty() && to.back().entries.empty()) to.pop_back();
    else if (!to.empty() && to.back().name.isEmpty()) to.back().name = group.name;
    level_ = 0;
    groupOpen_ = false;
    flag = false;
}

void UndoManager::undo() {
    if (eventGroupOpen_ && level_ == 1) closeEventGroup();
    if (level_ > 0) {
        qWarning("UndoManager: undo while a group is open");
        return;
    }
    if (undoStack_.empty() || undoing_ || redoing_) return;
    // Registrations while undoing fill the redo stack (targetStack()).
    runGroup(undoStack_, redoStack_, undoing_);
    emit didUndoChange();
    emit stateChanged();
}

void UndoManager::redo() {
    if (eventGroupOpen_ && level_ == 1) closeEventGroup();
    if (level_ > 0 || redoStack_.empty() || undoing_ || redoing_) return;
    runGroup(redoStack_, undoStack_, redoing_);
    emit didRedoChange();
    emit stateChanged();
}

void UndoManager::removeAllActions() {
    undoStack_.clear();
    redoStack_.clear();
    level_ = 0;
    groupOpen_ = false;
    eventGroupOpen_ = false;
    emit stateChanged();
}

void UndoManager::removeAllActions(const void* target) {
    auto strip = [&](std::vector<Group>& stack, bool keepTop) {
        for (size_t i = 0; i < stack.size(); ++i) {
            auto& e = stack[i].entries;
            e.erase(std::remove_if(e.begin(), e.end(),
                                   [&](const Entry& x) { return x.target == target; }),
                    e.end());
        }
        // Keep an open group in place even when it became empty.
        size_t n = stack.size();
        std::vector<Group> kept;
        kept.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            bool isOpenTop = keepTop && i + 1 == n;
            if (!stack[i].entries.empty() || isOpenTop) kept.push_back(std::move(stack[i]));
        }
        stack = std::move(kept);
    };
    strip(undoStack_, groupOpen_ && !undoing_);
    strip(redoStack_, groupOpen_ && undoing_);
    emit stateChanged();
}

void UndoManager::setActionName(const QString& name) {
    if (groupOpen_ && !targetStack().empty()) targetStack().back().name = name;
    else if (!undoStack_.empty()) undoStack_.back().name = name;
    else pendingName_ = name;
}

QString UndoManager::undoActionName() const {
    return undoStack_.empty() ? QString() : undoStack_.back().name;
}

QString UndoManager::redoActionName() const {
    return redoStack_.empty() ? QString() : redoStack_.back().name;
}
