#pragma once
// The sampling section of the project file: how the Monte Carlo plan draws
// (plain draws, Latin hypercube or Sobol' points), the rank correlations
// wanted between sampled inputs, and the precision at which a run may stop.
// The section is written only when it differs from plain independent draws,
// and always as the last section, so that a project that does not use it is
// the same file as before and older readers pass over it as unknown lines.
// Here: its lines, its place in the working copy, and its checks.

#include <string>
#include <vector>

#include "project/Project.h"

namespace korvane {

// The lines between the section's markers: the method, the correlation rows,
// the precision row.
std::vector<std::string> SamplingContent(const SamplingSettings& settings);

// Puts the sampling section into a project's lines: the old section is taken
// out wherever it stands and the new one goes at the end of the file. Lines
// of the old section that are none of its keys belong to no editor and are
// kept in the new one. Default settings with nothing else in the old section
// leave no section at all. An old section without its end marker refuses
// the change with a message; `lines` stay as they were.
bool PutSamplingSection(std::vector<std::string>& lines, const SamplingSettings& settings, std::string& error);

// The confidence level of a precision target in percent ("95" when the row
// does not give one).
std::string PrecisionPercent(const PrecisionTarget& target);

// The first problem of the settings, as a message naming the row; empty when
// there is none. `sampledInputs` are the inputs the Monte Carlo plan draws
// (the ticked ones), `outputs` the output variables' names. The method, each
// correlation row, then the precision row are checked, in that order; with
// Saltelli any correlation row or precision row is refused first. What
// depends on the number of calculations and of sampled inputs is checked
// with the design (SaltelliDesignProblem).
// Whether the correlations together form a positive definite matrix is not
// checked here: the caller asks the sampling numerics after this passes.
std::string CheckSampling(const SamplingSettings& settings, const std::vector<std::string>& sampledInputs,
                          const std::vector<std::string>& outputs);

}  // namespace korvane
