#include "project/ProjectDocument.h"

#include <sys/stat.h>

#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/RecentFiles.h"
#include "project/RowEdits.h"
#include "project/Sampling.h"

namespace korvane {

namespace {

const char* const kProjectFilter = "*.tolv|*.tolv";

}  // namespace

ProjectDocument::ProjectDocument(UserInterface& ui, std::string appFolder)
    : ui_(ui), appFolder_(std::move(appFolder)) {}

void ProjectDocument::TakeHeader(const std::vector<std::string>& lines) {
    const ParsedProject parsed = ReadProject(lines);
    const Project& p = parsed.project;
    header.workbookPath = p.excelFileName;
    header.dbPath = p.dataBaseFileName;
    if (p.dbWriteMode == "OverWrite") {
        header.optionOW = true;
        header.optionAP = false;
    } else if (p.dbWriteMode == "Append") {
        header.optionOW = false;
        header.optionAP = true;
    }
    header.visible = p.excelVisible;
    if (parsed.hasTaskPlan) header.plan = p.taskPlan;
}

bool ProjectDocument::WriteFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string error;
    if (WriteTextFileAtomic(path, lines, error)) return true;
    ui_.showMessage("ファイルを保存できません。\n" + error);
    return false;
}

bool ProjectDocument::ReadWorkingCopy(std::vector<std::string>& lines) {
    std::string error;
    if (ReadTextLines(WorkingCopy(), lines, error)) return true;
    ui_.showMessage("作業ファイルを読み込めません。\n" + error);
    return false;
}

bool ProjectDocument::WriteWorkingCopy(const std::vector<std::string>& lines) {
    return WriteFile(WorkingCopy(), lines);
}

bool ProjectDocument::NewProject() {
    ProjectPath.clear();
    if (!WriteWorkingCopy(DefaultProjectLines())) return false;
    std::vector<std::string> lines;
    if (!ReadWorkingCopy(lines)) return false;
    TakeHeader(lines);
    return true;
}

bool ProjectDocument::LoadProjectToWindow() {
    if (!CheckProjectPath(ProjectPath, ui_)) return false;
    std::vector<std::string> lines;
    std::string error;
    struct stat st {};
    const std::string resolved = ResolveAppRelative(ProjectPath, appFolder_);
    if (::stat(resolved.c_str(), &st) == 0 && st.st_size > kMaxProjectBytes) {
        ui_.showMessage("プロジェクトファイルが大きすぎます (64 MiB を超えています)。\n" + resolved);
        return false;
    }
    if (!ReadTextLines(ResolveAppRelative(ProjectPath, appFolder_), lines, error)) {
        ui_.showMessage("プロジェクトファイルを読み込めません。\n" + error);
        return false;
    }
    if (!WriteWorkingCopy(lines)) return false;
    TakeHeader(lines);
    CheckExcelPath(header.workbookPath, ui_);
    return true;
}

bool ProjectDocument::SaveProject(const std::string& target) {
    std::vector<std::string> old;
    if (!ReadWorkingCopy(old)) return false;
    std::vector<std::string> lines;
    lines.reserve(old.size() + 4);
    lines.push_back(std::string(key::ExcelFileName) + header.workbookPath);
    lines.push_back(std::string(key::DataBaseFileName) + header.dbPath);
    lines.push_back(std::string(key::DbWriteMode) + (header.optionOW ? "OverWrite" : "Append"));
    lines.push_back(std::string(key::ExcelVisible) + std::to_string(header.visible));
    // The old header lines are replaced (a file that lacks one keeps every
    // other line: nothing after the header is taken for it).
    std::size_t first = 0;
    while (first < old.size() && first < 4 && !IsBodyLine(old[first])) ++first;
    lines.insert(lines.end(), old.begin() + static_cast<long>(first), old.end());
    SetKeyedLine(lines, key::TaskPlan, header.plan);
    if (!WriteWorkingCopy(lines)) return false;
    return WriteFile(ResolveAppRelative(target, appFolder_), lines);
}

bool ProjectDocument::SaveFile(RecentFiles* recent) {
    if (!ProjectPath.empty()) return SaveProject(ProjectPath);
    return SaveFileAs(recent);
}

bool ProjectDocument::SaveFileAs(RecentFiles* recent) {
    const std::string chosen = ui_.chooseFile(kProjectFilter, "TOLVファイルを選択", "", true);
    if (chosen.empty()) return false;
    // A save that failed leaves the project where it was: the old path
    // stays, and the recent list does not get a file that was not written.
    if (!SaveProject(chosen)) return false;
    ProjectPath = chosen;
    if (recent) recent->AddRecent(ProjectPath);
    return true;
}

bool ProjectDocument::OpenFile(RecentFiles* recent) {
    ProjectPath = ui_.chooseFile(kProjectFilter, "tolvファイルを選択", appFolder_, false);
    if (ProjectPath.empty()) return false;
    bool loaded = LoadProjectToWindow();
    if (recent) recent->AddRecent(ProjectPath);
    return loaded;
}

bool ProjectDocument::ReadWorkingCopySection(const Section& s, std::vector<std::string>& lines, std::size_t& start,
                                             std::size_t& end) {
    if (!ReadWorkingCopy(lines)) return false;
    std::string error;
    if (LocateSection(lines, s, start, end, error)) return true;
    ui_.showMessage(error);
    return false;
}

bool ProjectDocument::ReadSection(const Section& s, std::vector<std::string>& content) {
    std::vector<std::string> lines;
    std::size_t start, end;
    if (!ReadWorkingCopySection(s, lines, start, end)) return false;
    content.assign(lines.begin() + static_cast<long>(start) + 1, lines.begin() + static_cast<long>(end));
    return true;
}

bool ProjectDocument::RewriteWorkingCopy(const Section& s, const std::vector<std::string>& content) {
    std::vector<std::string> lines;
    std::size_t start, end;
    if (!ReadWorkingCopySection(s, lines, start, end)) return false;
    std::vector<std::string> out(lines.begin(), lines.begin() + static_cast<long>(start) + 1);
    out.insert(out.end(), content.begin(), content.end());
    // Lines of the old section that are neither its settings nor its rows
    // belong to no editor: keep them, after the new content.
    for (std::size_t i = start + 1 + static_cast<std::size_t>(s.settingsLines); i < end; ++i)
        if (LineKey(lines[i]) != s.rowKey) out.push_back(lines[i]);
    out.insert(out.end(), lines.begin() + static_cast<long>(end), lines.end());
    return WriteWorkingCopy(out);
}

bool ProjectDocument::RewriteSampling(const SamplingSettings& settings) {
    std::vector<std::string> lines;
    if (!ReadWorkingCopy(lines)) return false;
    std::string error;
    if (!PutSamplingSection(lines, settings, error)) {
        ui_.showMessage(error);
        return false;
    }
    return WriteWorkingCopy(lines);
}

bool ProjectDocument::RewriteKeyedLine(const std::string& k, const std::string& value) {
    std::vector<std::string> lines;
    if (!ReadWorkingCopy(lines)) return false;
    SetKeyedLine(lines, k, value);
    return WriteWorkingCopy(lines);
}

}  // namespace korvane
