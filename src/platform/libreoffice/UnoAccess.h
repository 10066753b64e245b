#pragma once
// The UNO side of a LibreOfficeLink, for code that must talk UNO to the same
// instance (the tests build their workbooks through it). Includes UNO
// headers: never include this outside the LibreOffice back end and its tests.

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace korvane {
class LibreOfficeLink;
}

namespace korvane::lo {

struct UnoAccess {
    // The component context of the running instance (null when none).
    static css::uno::Reference<css::uno::XComponentContext> context(LibreOfficeLink& link);
};

}  // namespace korvane::lo
