#pragma once
// Builds a project with the real document model, writes it as a working copy
// and loads it into a RunState the way a run does, so plan tests start from
// exactly the state a run would give them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/TextFile.h"
#include "project/Project.h"
#include "project/RunState.h"

namespace korvane::test {

inline InputTask Input(const std::string& name, const std::string& lower, const std::string& initial,
                       const std::string& upper) {
    InputTask t;
    t.name = name;
    t.range = "B2";
    t.sheet = "Sheet1";
    t.lower = lower;
    t.initial = initial;
    t.upper = upper;
    return t;
}

// Loads `project` through its working copy in `dir`; fails the test on error.
inline void LoadForRun(const Project& project, const TempDir& dir, RunState& state) {
    std::string error;
    const std::string workingCopy = dir.file("tmp.tolv1");
    ASSERT_TRUE(WriteTextFileAtomic(workingCopy, ProjectLines(project), error)) << error;
    HeaderValues header;
    header.plan = project.taskPlan;
    ResetRunArrays(state);
    ASSERT_TRUE(LoadProjectForRun(state, header, workingCopy, error)) << error;
}

// The application folder of the build: the test executables live in
// <build>/tests, the program and its data files in <build>/app.
inline std::string BuildAppFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "app").string();
}

}  // namespace korvane::test
