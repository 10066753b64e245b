// The workbook file read without the application: files that are no
// workbook to open, and the values Excel stored for formula cells.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"
#include "workbook/WorkbookFile.h"

using namespace korvane;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Sets the declared expanded size of every entry of a stored zip (central
// directory and local headers), leaving the bytes as they are.
std::string WithDeclaredSize(std::string zip, unsigned long size) {
    auto put = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    };
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos; at = zip.find("PK\x01\x02", at + 4))
        put(at + 24);
    for (std::size_t at = zip.find("PK\x03\x04"); at != std::string::npos; at = zip.find("PK\x03\x04", at + 4))
        put(at + 22);
    return zip;
}

}  // namespace

TEST(WorkbookFile, FilesThatAreNoWorkbookToOpenAreNamedWithTheirReason) {
    test::TempDir dir;
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.path()), "フォルダー")) << WorkbookFileProblem(dir.path());
    const std::string fifo = dir.file("pipe.xlsx");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(Has(WorkbookFileProblem(fifo), "通常のファイルではありません")) << WorkbookFileProblem(fifo);
    test::WriteBytes(dir.file("empty.xlsx"), "");
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.file("empty.xlsx")), "空です (0 バイト)"));
    EXPECT_EQ(WorkbookFileProblem(dir.file("missing.xlsx")), "");  // the opener's own message

    // Password: an encrypted OOXML package (a compound file holding
    // "EncryptedPackage"), and an OpenDocument file with encryption data.
    std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    cfb += std::string(504, '\0');
    const std::string stream = "EncryptedPackage";
    for (char c : stream) cfb += std::string{c, '\0'};
    test::WriteBytes(dir.file("locked.xlsx"), cfb);
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.file("locked.xlsx")), "パスワードで保護されている"));
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.file("locked.xlsx")), "locked.xlsx"));
    test::WriteBytes(dir.file("plain.xls"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'));
    EXPECT_EQ(WorkbookFileProblem(dir.file("plain.xls")), "");
    test::WriteBytes(dir.file("locked.ods"),
                     test::ZipBytes({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                                     {"META-INF/manifest.xml",
                                      "<manifest:manifest><manifest:file-entry manifest:full-path=\"content.xml\">"
                                      "<manifest:encryption-data manifest:checksum-type=\"SHA1/1K\"/>"
                                      "</manifest:file-entry></manifest:manifest>"}}));
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.file("locked.ods")), "パスワード"));

    // A package whose directory promises more than a sane expansion is
    // refused before anything opens it; its entries never read beyond the
    // declared size either.
    const std::string small = test::ZipBytes({{"xl/workbook.xml", std::string(1000, 'x')}});
    test::WriteBytes(dir.file("fine.xlsx"), small);
    EXPECT_EQ(WorkbookFileProblem(dir.file("fine.xlsx")), "");
    test::WriteBytes(dir.file("bomb.xlsx"), WithDeclaredSize(small, 0xF0000000ul));
    const std::string bomb = WorkbookFileProblem(dir.file("bomb.xlsx"));
    EXPECT_TRUE(Has(bomb, "展開すると 3840.0 MB") && Has(bomb, "開きません")) << bomb;
    test::WriteBytes(dir.file("ratio.xlsx"), WithDeclaredSize(small, 200ul << 20));
    EXPECT_TRUE(Has(WorkbookFileProblem(dir.file("ratio.xlsx")), "200.0 MB"));
    std::vector<ZipEntry> entries;
    std::string error, bytes;
    test::WriteBytes(dir.file("short.xlsx"), WithDeclaredSize(small, 10));
    ASSERT_TRUE(ReadZipDirectory(dir.file("short.xlsx"), entries, error)) << error;
    ASSERT_TRUE(ReadZipEntry(dir.file("short.xlsx"), entries[0], bytes, error)) << error;
    EXPECT_EQ(bytes, std::string(10, 'x'));
}

TEST(WorkbookFile, StoredValuesOfFormulaCellsAreReadAsExcelWroteThem) {
    test::TempDir dir;
    const std::string path = dir.file("model.xlsx");
    test::WriteXlsx(
        path,
        {{"Tax table",
          "<row r=\"1\"><c r=\"A1\"><v>5</v></c>"
          "<c r=\"B1\"><f t=\"array\" ref=\"B1\" ca=\"1\">IFERROR(SUM(_xlfn.SEQUENCE(A1)*2),\"\")</f>"
          "<v>368422.39999999997</v></c>"
          "<c r=\"C1\" t=\"str\"><f>A1&amp;\"&lt;mm&gt;\"</f><v>5&lt;mm&gt;</v></c></row>"
          "<row r=\"2\"><c r=\"A2\" t=\"b\"><f>A1&gt;0</f><v>1</v></c><c r=\"B2\" t=\"e\"><f>NA()</f><v>#N/A</v></c>"
          "<c r=\"C2\"><f t=\"shared\" ref=\"C2:C3\" si=\"0\">A1*2</f><v>10</v></c></row>"
          "<row r=\"3\"><c r=\"C3\"><f t=\"shared\" si=\"0\"/><v>12</v></c><c r=\"D3\"><f>A1</f></c></row>"},
         {"計算", "<row r=\"4\"><c r=\"AB4\" t=\"str\"><f>\"x\"</f><v></v></c></row>"}});
    StoredValues values;
    std::string error;
    ASSERT_TRUE(ReadStoredValues(path, values, error)) << error;
    EXPECT_TRUE(values.readable);
    EXPECT_EQ(values.application, "Microsoft Excel");
    ASSERT_EQ(values.cells.size(), 7u);
    EXPECT_EQ(values.withoutValue, 1u);  // D3
    const StoredCell& b1 = values.cells[0];
    EXPECT_EQ(b1.sheet + "!" + b1.address, "Tax table!B1");
    EXPECT_EQ(b1.value, "368422.39999999997");
    EXPECT_EQ(b1.formula, "IFERROR(SUM(_xlfn.SEQUENCE(A1)*2),\"\")");
    EXPECT_EQ(values.cells[1].kind, StoredCell::Kind::Text);
    EXPECT_EQ(values.cells[1].value, "5<mm>");
    EXPECT_EQ(values.cells[2].kind, StoredCell::Kind::Logical);
    EXPECT_EQ(values.cells[3].kind, StoredCell::Kind::Error);
    EXPECT_EQ(values.cells[3].value, "#N/A");
    EXPECT_EQ(values.cells[5].address, "C3");
    EXPECT_EQ(values.cells[5].value, "12");
    EXPECT_EQ(values.cells[6].sheet + "!" + values.cells[6].address, "計算!AB4");
    EXPECT_EQ(values.cells[6].row, 4);
    EXPECT_EQ(values.cells[6].column, 28);
    EXPECT_EQ(values.cells[6].value, "");

    // Not an OOXML package: nothing to read, and no failure.
    test::WriteBytes(dir.file("model.fods"), "<?xml version=\"1.0\"?><office:document/>");
    ASSERT_TRUE(ReadStoredValues(dir.file("model.fods"), values, error));
    EXPECT_FALSE(values.readable);
}
