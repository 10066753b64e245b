#include "ui/NumericBox.h"

#include <QLineEdit>
#include <memory>

#include "platform/UserInterface.h"
#include "project/NumericFilter.h"

namespace korvane {

void BindNumericFilter(QLineEdit* box, UserInterface& ui, bool removeDots, std::function<bool()> active) {
    // Setting the cleaned text fires the change again; it is clean by then.
    auto busy = std::make_shared<bool>(false);
    QObject::connect(box, &QLineEdit::textChanged, box, [box, &ui, removeDots, busy, active] {
        if (*busy || (active && !active())) return;
        const std::string text = box->text().toStdString();
        const FilterOutcome outcome = FilterUntilAccepted(text, removeDots);
        if (outcome.text == text) return;
        for (int i = 0; i < outcome.beeps; ++i) ui.beep();
        *busy = true;
        box->setText(QString::fromStdString(outcome.text));
        *busy = false;
        box->setCursorPosition(static_cast<int>(outcome.caret));
        if (outcome.beeps > 0) box->setFocus();
    });
}

}  // namespace korvane
