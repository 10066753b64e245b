#pragma once
// The Ishigami function as a study, the usual test of sensitivity indices:
// f = sin x1 + 7 sin^2 x2 + 0.1 x3^4 sin x1, with x1, x2 and x3 independent
// and uniform on [-pi, pi]. Its first-order indices are 0.3139, 0.4424 and 0;
// x3 acts only together with x1 (total indices 0.5576, 0.4424, 0.2437).

#include <cmath>
#include <string>

#include "RunTestSupport.h"
#include "project/Project.h"

namespace korvane::test {

// pi as a number text of 15 significant digits, the spread of each input.
inline constexpr const char* kIshigamiSpread = "3.14159265358979";

// The function itself, to check what the workbook computed.
inline double Ishigami(double x1, double x2, double x3) {
    const double s2 = std::sin(x2);
    return std::sin(x1) + 7.0 * s2 * s2 + 0.1 * std::pow(x3, 4) * std::sin(x1);
}

// A workbook computing the function: x1, x2, x3 in In!A1:C1, f in Out!A1,
// calculated by LibreOffice when a run opens it.
inline void WriteIshigamiWorkbook(const std::string& path) {
    WriteWorkbook(path, 3, {"SIN([$In.A1])+7*SIN([$In.B1])^2+0.1*[$In.C1]^4*SIN([$In.A1])"});
}

// A Monte Carlo project on `workbook` (as the project stores it; "\" is the
// application folder) with `calculations` calculations, seed `seed` and
// sampling method `method`: x1, x2, x3 (initial values 0, written as they
// are drawn) sampled "一様分布" with centre 0 and spread pi, output f, results
// in \db.csv.
inline Project IshigamiStudy(int calculations, const std::string& seed, const std::string& method = method::Saltelli,
                             const std::string& workbook = "\\ishigami.fods") {
    Project p;
    p.excelFileName = workbook;
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = plan::MonteCarlo;
    p.inputTasks = {In("x1", 1, "0"), In("x2", 2, "0"), In("x3", 3, "0")};
    p.outputTasks = {Out("f", 1)};
    p.monteCarlo.numOfCalc = std::to_string(calculations);
    p.monteCarlo.randomSeed = seed;
    for (const char* x : {"x1", "x2", "x3"}) p.monteCarlo.sampledVariables.push_back({x, "一様分布", "0", kIshigamiSpread});
    p.sampling.method = method;
    return p;
}

}  // namespace korvane::test
