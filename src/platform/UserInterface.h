#pragma once
// Every message the logic shows goes through this interface. The window
// program, the unattended command-line run and the tests each implement it.

#include <string>

namespace korvane {

// The application's title: the caption of every OK message box.
inline constexpr const char* kAppTitle = "Korvane";
// The caption of every Yes/No question.
inline constexpr const char* kQuestionCaption = "Notice!";

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A message with an OK button and the application's title as caption.
    virtual void showMessage(const std::string& text) = 0;
    // The same, for a warning that must not hold up what goes on (a run): it
    // is shown without waiting for the OK. Where that cannot be done, it is
    // an ordinary message.
    virtual void showNotice(const std::string& text) { showMessage(text); }
    // A Yes/No question with the caption "Notice!". True for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // The same question with No as the default button.
    virtual bool askYesNoDefaultNo(const std::string& text) { return askYesNo(text); }
    // A file dialog: empty text when the user cancels. `filter` is in the
    // "description|pattern" form, e.g. "*.tolv|*.tolv".
    virtual std::string chooseFile(const std::string& filter, const std::string& title,
                                   const std::string& startFolder, bool forSaving) = 0;
    // The system beep.
    virtual void beep() {}
    // The whole application must end now (after a fatal message). The logic
    // returns right after calling this; the implementation decides how the
    // process ends.
    virtual void endApplication(int exitStatus) = 0;
};

}  // namespace korvane
