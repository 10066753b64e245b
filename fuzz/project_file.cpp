// The project file as the windows read it: bytes on disk (Shift_JIS, CR LF)
// through ReadTextLines into ReadProject and ParseProject.
//
// Properties: every line number the reading hands out names a line of the
// file, and a project written by ProjectLines reads back as the same project.

#include <algorithm>

#include "FuzzSupport.h"
#include "platform/TextFile.h"
#include "project/Project.h"

using namespace korvane;

namespace {

void CheckLineNumbers(const std::vector<std::size_t>& numbers, std::size_t rows, std::size_t lineCount) {
    FUZZ_CHECK(numbers.size() == rows, "one line number per row");
    for (std::size_t n : numbers) FUZZ_CHECK(n >= 1 && n <= lineCount, "row line number inside the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratchFile(fuzz::AsText(data, size), "input.tolv");
    std::vector<std::string> lines;
    std::string error;
    if (!ReadTextLines(path, lines, error)) {
        FUZZ_CHECK(!error.empty(), "a failed read says why");
        return 0;
    }

    const ParsedProject parsed = ReadProject(lines);
    const Project& p = parsed.project;
    const std::size_t n = lines.size();
    CheckLineNumbers(parsed.inputLines, p.inputTasks.size(), n);
    CheckLineNumbers(parsed.replaceLines, p.replaceTasks.size(), n);
    CheckLineNumbers(parsed.outputLines, p.outputTasks.size(), n);
    CheckLineNumbers(parsed.shellLines, p.shellTasks.size(), n);
    CheckLineNumbers(parsed.sampledLines, p.monteCarlo.sampledVariables.size(), n);
    CheckLineNumbers(parsed.readParamLines, p.dataFileInput.readParams.size(), n);
    CheckLineNumbers(parsed.factorLines, p.orthogonalTable.factors.size(), n);
    for (std::size_t k : parsed.monteCarloSettings) FUZZ_CHECK(k <= n, "settings line inside the file");
    for (std::size_t k : parsed.dataFileSettings) FUZZ_CHECK(k <= n, "settings line inside the file");
    for (std::size_t k : parsed.orthogonalSettings) FUZZ_CHECK(k <= n, "settings line inside the file");
    CheckLineNumbers(parsed.correlationLines, p.sampling.correlations.size(), n);
    for (std::size_t k : {parsed.samplingStart, parsed.samplingMethod, parsed.samplingPrecision})
        FUZZ_CHECK(k <= n, "sampling line inside the file");
    for (const ProjectProblem& problem : parsed.problems) {
        FUZZ_CHECK(problem.line <= std::max<std::size_t>(n, 4), "problem line inside the file or its header");
        FUZZ_CHECK(!problem.reason.empty(), "a problem says what it is");
    }
    for (const std::string& line : lines) {
        (void)IsBodyLine(line);
        (void)LineKey(line);
        (void)LineValue(line);
    }

    // The windows' reading is the same project.
    const Project shown = ParseProject(lines);
    FUZZ_CHECK(ProjectLines(shown) == ProjectLines(p), "ParseProject and ReadProject agree");

    // Written and read again, the project stays the same.
    const std::vector<std::string> written = ProjectLines(p);
    const std::vector<std::string> again = ProjectLines(ParseProject(written));
    FUZZ_CHECK(again == written, "a written project reads back the same");
    return 0;
}
