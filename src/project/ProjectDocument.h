#pragma once
// The open project: its working copy "tmp.tolv1" in the application folder,
// the header values the main window holds, and New, Open, Save, Save As and
// the rewrites every editor uses. Whole files are written to a temporary file
// and renamed over the target, so a crash never loses the user's project.

#include <string>
#include <vector>

#include "project/Project.h"

namespace korvane {

class UserInterface;
class RecentFiles;

// A project file larger than this is no project: refused before reading.
inline constexpr long long kMaxProjectBytes = 64LL * 1024 * 1024;

class ProjectDocument {
public:
    ProjectDocument(UserInterface& ui, std::string appFolder);

    // The five header values, bound to the main window's controls.
    HeaderValues header;
    // The file name of the open project; empty for a project never saved.
    std::string ProjectPath;

    std::string WorkingCopy() const { return appFolder_ + "/tmp.tolv1"; }
    std::string BufferCopy() const { return appFolder_ + "/tmp_buf.tolv"; }
    const std::string& appFolder() const { return appFolder_; }

    // Writes the 28 default lines into the working copy and resets the header
    // values from it. The window then clears its grids and layout.
    bool NewProject();
    // Copies the file named by ProjectPath into the working copy and takes its
    // header values and plan. False (nothing changed) when the path fails its
    // check or the file cannot be read. A missing workbook only shows its
    // message; the project stays loaded (and the result is true).
    bool LoadProjectToWindow();
    // Writes the header values and plan into the working copy, then copies the
    // working copy to `target` (resolved against the application folder).
    bool SaveProject(const std::string& target);
    // "プロジェクトを保存": SaveProject to ProjectPath, or Save As when empty.
    bool SaveFile(RecentFiles* recent);
    // "名前を付けてプロジェクトを保存".
    bool SaveFileAs(RecentFiles* recent);
    // "プロジェクトを開く". True when a project was loaded.
    bool OpenFile(RecentFiles* recent);

    // Replaces the lines between a section's two markers with `content` (for
    // the plan sections: the settings lines first, then the rows). Lines of the
    // old section that are neither settings nor rows are kept. A missing
    // start or end marker refuses the rewrite with a message; nothing changes.
    // (The sampling section, keyed lines that may be missing altogether, has
    // RewriteSampling.)
    bool RewriteWorkingCopy(const Section& section, const std::vector<std::string>& content);
    // Puts the sampling settings into the working copy as its last section
    // (or takes the section out when they are the default), keeping every
    // other line. A section without its end marker refuses the rewrite with
    // a message; nothing changes.
    bool RewriteSampling(const SamplingSettings& settings);
    // Replaces every line whose first 20 characters equal `key` by key + value;
    // a project without such a line gets it where a new file has it.
    bool RewriteKeyedLine(const std::string& key, const std::string& value);

    // The working copy's lines, for editors that change single rows. Reading
    // shows a message on failure.
    bool ReadWorkingCopy(std::vector<std::string>& lines);
    bool WriteWorkingCopy(const std::vector<std::string>& lines);

    // The lines of a section between its markers (settings lines included).
    // False with a message when a marker is missing.
    bool ReadSection(const Section& section, std::vector<std::string>& content);

private:
    void TakeHeader(const std::vector<std::string>& lines);
    // The working copy's lines and the positions of a section's two markers;
    // false with a message when it cannot be read or a marker is missing.
    bool ReadWorkingCopySection(const Section& section, std::vector<std::string>& lines, std::size_t& start,
                                std::size_t& end);
    bool WriteFile(const std::string& path, const std::vector<std::string>& lines);

    UserInterface& ui_;
    std::string appFolder_;
};

}  // namespace korvane
