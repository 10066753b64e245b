#pragma once
// Edits of single task rows in the working copy's lines, for the editors
// that change rows rather than whole sections (the input-task editor, the
// initial and restriction value windows, the current value window). Each
// edit works on the whole list of lines and either succeeds completely or
// leaves the lines as they were; the caller writes them back through
// ProjectDocument::WriteWorkingCopy.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "project/Project.h"

namespace korvane {

// The positions of a section's start and end markers. False with a message
// that names the missing marker.
bool LocateSection(const std::vector<std::string>& lines, const Section& section, std::size_t& start,
                   std::size_t& end, std::string& error);

// The positions of the section's rows (lines with its row key), in order.
std::vector<std::size_t> SectionRows(const std::vector<std::string>& lines, const Section& section);

// Field replacements for the rows of one variable name: field index to text.
using FieldEdits = std::map<std::string, std::map<std::size_t, std::string>>;

// Every row of `section` whose name (field 0) has an entry gets those fields
// replaced; a row with fewer than `width` fields is first filled up with
// empty ones, and fields after the edited ones (a format pattern with its
// grouping comma) stay as they are. A missing marker refuses the edit.
bool EditNamedRows(std::vector<std::string>& lines, const Section& section, std::size_t width,
                   const FieldEdits& edits, std::string& error);

}  // namespace korvane
