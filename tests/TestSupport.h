#pragma once
// Shared test helpers: a user interface that records what it is asked, a
// temporary folder per test, and raw byte access to files.

#include <string>
#include <utility>
#include <vector>

#include "platform/UserInterface.h"

namespace korvane::test {

class RecordingUi : public UserInterface {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showNotice(const std::string& text) override { notices.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        return answerYes;
    }
    // The questions whose default is No get their own answer.
    bool askYesNoDefaultNo(const std::string& text) override {
        questions.push_back(text);
        return answerDefaultNo;
    }
    std::string chooseFile(const std::string& filter, const std::string& title,
                           const std::string& startFolder, bool forSaving) override {
        dialogs.push_back({filter, title, startFolder, forSaving});
        return nextFile;
    }
    void beep() override { ++beeps; }
    void endApplication(int status) override {
        ended = true;
        exitStatus = status;
    }

    struct Dialog {
        std::string filter, title, startFolder;
        bool forSaving;
    };
    std::vector<std::string> messages;
    std::vector<std::string> notices;  // shown without waiting (warnings)
    std::vector<std::string> questions;
    std::vector<Dialog> dialogs;
    bool answerYes = true;
    bool answerDefaultNo = false;
    std::string nextFile;
    int beeps = 0;
    bool ended = false;
    int exitStatus = 0;
};

// A fresh empty folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// Lines joined with CR LF after each, converted to code page 932.
std::string Cp932Lines(const std::vector<std::string>& utf8Lines);

// A zip package of these entries (name, bytes), stored uncompressed.
std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries);
// A minimal .xlsx as Excel saves one: a sheet per entry (its name and the
// XML inside its <sheetData>), and docProps/app.xml naming `application`.
void WriteXlsx(const std::string& path, const std::vector<std::pair<std::string, std::string>>& sheets,
               const std::string& application = "Microsoft Excel");
// Rewrites the zip package at `path` with entry `name` replaced by `bytes`.
// False when the package cannot be read or has no such entry.
bool ReplaceZipEntry(const std::string& path, const std::string& name, const std::string& bytes);

}  // namespace korvane::test
