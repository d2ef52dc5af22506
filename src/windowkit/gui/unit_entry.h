#pragma once
// A number field and its unit list entered as one value. The number is
// taken when its entry finishes (Return, or the focus leaving), except when
// the focus moves on to the field's own unit list: then the unit chosen
// there completes the entry, so that typing "2441" and picking "MHz" means
// 2441 MHz, not the number in the old unit first. Leaving the list without
// a choice takes the number in the unit shown.
#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <functional>

namespace bt::gui {

class UnitEntry : public QObject {
    Q_OBJECT
public:
    // `commit` reads both controls and stores the value. The object belongs
    // to `field`.
    UnitEntry(QLineEdit* field, QComboBox* units, std::function<void()> commit);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void fieldFinished();
    void unitChosen();
    void finishPending();

    QPointer<QLineEdit> field_;
    QPointer<QComboBox> units_;
    std::function<void()> commit_;
    bool pending_ = false;
};

}  // namespace bt::gui
