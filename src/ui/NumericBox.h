#pragma once
// Binds the numeric entry filter to a text box: every change of its text
// runs the filter, each removed character sounds the beep, and after a
// removal the caret goes to the end and the box takes the focus. The count
// and seed boxes also lose every "." afterwards.

#include <functional>

class QLineEdit;

namespace korvane {

class UserInterface;

// `active` (optional) decides per change whether the filter applies, for an
// editor that serves numeric and plain cells alike.
void BindNumericFilter(QLineEdit* box, UserInterface& ui, bool removeDots = false,
                       std::function<bool()> active = {});

}  // namespace korvane
