#include "windowkit/gui/field_edit.h"

#include <memory>

namespace bt::gui {

void onFieldEdited(QLineEdit* field, QObject* context, std::function<void()> callback) {
    // Return and the end of the entry arrive one after the other; the
    // second finds nothing left to take.
    auto pending = std::make_shared<bool>(false);
    QObject::connect(field, &QLineEdit::textEdited, context, [pending] { *pending = true; });
    QObject::connect(field, &QLineEdit::returnPressed, context, [pending] { *pending = true; });
    QObject::connect(field, &QLineEdit::editingFinished, context, [pending, callback = std::move(callback)] {
        if (!*pending) return;
        *pending = false;
        callback();
    });
}

}  // namespace bt::gui
