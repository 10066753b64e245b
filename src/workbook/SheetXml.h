#pragma once
// The little XML scanner and the package relationships of SheetXml.cpp, for
// the package walk in WorkbookFile.cpp. Private to those two files.

#include <cstddef>
#include <map>
#include <string>

namespace korvane::xml {

// One tag of an XML text: its local name (without prefix), whether it is a
// closing tag or closes itself, and its attributes' text.
struct Tag {
    std::string name;
    bool closing = false;
    bool selfClosing = false;
    std::string attributes;
    std::size_t end = 0;  // just after '>'
};

// The next element tag from `from` (comments, declarations and processing
// instructions are skipped). False at the end.
bool NextTag(const std::string& xml, std::size_t from, std::size_t& start, Tag& tag);

// The value of attribute `name` (matched on its local name when `local`).
std::string Attribute(const std::string& attributes, const std::string& name, bool local = false);

// The character data up to the closing tag of `name`, from `from`; `next`
// is set after that closing tag.
std::string TextUntilClose(const std::string& xml, std::size_t from, const std::string& name, std::size_t& next);

// The folder of a part ("xl/" for "xl/workbook.xml"), "" at the root.
std::string FolderOf(const std::string& part);

// A relationship target resolved against the folder of its source part.
std::string ResolvedTarget(const std::string& folder, const std::string& target);

// Id -> target of a .rels part; `officeDocument` (when given) gets the
// target of the officeDocument relationship.
std::map<std::string, std::string> Relationships(const std::string& xml, const std::string& folder,
                                                 std::string* officeDocument = nullptr);

}  // namespace korvane::xml
