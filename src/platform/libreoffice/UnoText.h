#pragma once
// UTF-8 std::string <-> OUString for the back end's own files. Includes UNO
// headers: never include this outside the LibreOffice back end.

#include <string>

#include <rtl/ustring.hxx>

namespace korvane::lo {

inline rtl::OUString ToOU(const std::string& s) {
    return rtl::OStringToOUString(rtl::OString(s.data(), static_cast<sal_Int32>(s.size())), RTL_TEXTENCODING_UTF8);
}

inline std::string ToStd(const rtl::OUString& s) {
    rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<std::size_t>(o.getLength()));
}

}  // namespace korvane::lo
