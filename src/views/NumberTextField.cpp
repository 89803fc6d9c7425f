#include "views/NumberTextField.h"

#include <QKeyEvent>
#include <QRegularExpression>

#include <cmath>

TextFieldNumberFormatter::TextFieldNumberFormatter(Kind kind, QObject* parent)
    : QValidator(parent), kind_(kind) {}

QString TextFieldNumberFormatter::stringFromNumber(double value) const {
    if (!std::isfinite(value)) return QStringLiteral("0");
    QString text = QString::number(value, 'f', maximumFractionDigits());
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

bool TextFieldNumberFormatter::numberFromString(const QString& text, double* value) const {
    static const QRegularExpression decimal(QStringLiteral("^\\s*-?(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    static const QRegularExpression integer(QStringLiteral("^\\s*-?\\d+\\s*$"));
    const auto& pattern = kind_ == Kind::Integer ? integer : decimal;
    if (!pattern.match(text).hasMatch()) return false;
    bool ok = false;
    double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    if (value) *value = v;
    return true;
}

QValidator::State TextFieldNumberFormatter::validate(QString& input, int&) const {
    QString text = input.trimmed();
    if (text.isEmpty()) return Intermediate;
    // The setting decides about the lone minus sign only: "-5" reads as a
    // number whatever it says.
    if (text == QLatin1String("-")) return allowsNegativeNumbers_ ? Intermediate : Invalid;
    double v;
    if (numberFromString(text, &v)) return Acceptable;
    // "1." or "." on the way to a decimal number.
    if (kind_ == Kind::Decimal &&
        QRegularExpression(QStringLiteral("^-?\\d*\\.$")).match(text).hasMatch()) {
        if (text.startsWith(QLatin1Char('-')) && !allowsNegativeNumbers_) return Invalid;
        return Intermediate;
    }
    return Invalid;
}

NumberTextField::NumberTextField(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignCenter);
    connect(this, &QLineEdit::textEdited, this, [this] { beingEdited_ = typedSinceSent_ = true; });
}

void NumberTextField::setFormatter(TextFieldNumberFormatter* formatter) {
    if (formatter_ && formatter_->parent() == this) delete formatter_;
    formatter_ = formatter;
    if (formatter_) formatter_->setParent(this);
    setValidator(formatter_);
}

double NumberTextField::floatValue() const {
    double v = 0.0;
    if (formatter_) {
        if (!formatter_->numberFromString(text(), &v)) return 0.0;
        return v;
    }
    return text().toDouble();
}

void NumberTextField::setFloatValue(double value) {
    typedSinceSent_ = false;
    setText(formatter_ ? formatter_->stringFromNumber(value) : QString::number(value));
}

void NumberTextField::showFollowedValue(double value) {
    if (beingEdited_) return;
    setFloatValue(value);
}

void NumberTextField::focusOutEvent(QFocusEvent* event) {
    beingEdited_ = false;
    QLineEdit::focusOutEvent(event);
}

bool NumberTextField::undoesOwnText(const QKeyEvent* event) const {
    if (event->matches(QKeySequence::Undo)) return typedSinceSent_ && isUndoAvailable();
    if (event->matches(QKeySequence::Redo)) return typedSinceSent_ && isRedoAvailable();
    return false;
}

void NumberTextField::keyPressEvent(QKeyEvent* event) {
    if ((event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) && !undoesOwnText(event)) {
        // Nothing of the field's own to undo, and the window had nothing
        // either (its Undo would have taken the key): the text stays.
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // The typed text is handed on: from here the field follows again.
        beingEdited_ = typedSinceSent_ = false;
        emit action(this);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool NumberTextField::event(QEvent* event) {
    // A line edit claims command keys before any shortcut sees them: Undo
    // and Redo even with nothing to undo, and others it reads as editing
    // keys (Ctrl+E as "end of line"). The field keeps cut, copy, paste,
    // select all, and Undo and Redo of typed text not yet sent; every other
    // command key goes to the menus, and reaches the field only when no
    // shortcut takes it.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undoOrRedo = key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo);
        const bool ownEditing = key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy) ||
                                key->matches(QKeySequence::Paste) || key->matches(QKeySequence::SelectAll);
        const bool commandKey = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (undoOrRedo ? !undoesOwnText(key) : commandKey && !ownEditing) {
            event->ignore();
            return true;
        }
    }
    // Tab applies the value, then moves on as usual.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            beingEdited_ = typedSinceSent_ = false;
            emit action(this);
        }
    }
    return QLineEdit::event(event);
}
