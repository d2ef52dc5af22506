#include "windowkit/gui/unit_entry.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>

#include "windowkit/gui/field_edit.h"

namespace bt::gui {

UnitEntry::UnitEntry(QLineEdit* field, QComboBox* units, std::function<void()> commit)
    : QObject(field), field_(field), units_(units), commit_(std::move(commit)) {
    onFieldEdited(field, this, [this] { fieldFinished(); });
    connect(units, &QComboBox::activated, this, &UnitEntry::unitChosen);
    units->installEventFilter(this);
}

void UnitEntry::fieldFinished() {
    const bool toUnits = QApplication::focusWidget() == units_ || (units_ && units_->view()->isVisible());
    if (toUnits && units_->isEnabled()) {
        pending_ = true;
        return;
    }
    pending_ = false;
    commit_();
}

void UnitEntry::unitChosen() {
    pending_ = false;
    commit_();
}

void UnitEntry::finishPending() {
    if (!pending_) return;
    pending_ = false;
    commit_();
}

bool UnitEntry::eventFilter(QObject* watched, QEvent* event) {
    // The list's own popup takes the focus on the way to a choice; any other
    // departure leaves the list without one.
    if (watched == units_ && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        finishPending();
    return QObject::eventFilter(watched, event);
}

}  // namespace bt::gui
