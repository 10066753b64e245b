// The sampling section: its bytes, its place as the file's last section, and
// the checks that name the row at fault.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/ProjectDocument.h"
#include "project/Sampling.h"

using namespace korvane;
using namespace korvane::test;

namespace {

const std::string kExamples = KORVANE_EXAMPLES_DIR;

// The example beam project: inputs 荷重, 長さ, 幅, 高さ, 縦弾性係数, 材料 (荷重,
// 長さ and 高さ drawn), outputs 応力, たわみ, 質量, 安全率.
std::string ExampleFile(const std::string& name) { return kExamples + "/" + name + ".tolv"; }
std::vector<std::string> ExampleLines(const std::string& name) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(ReadTextLines(ExampleFile(name), lines, error)) << error;
    return lines;
}

std::vector<std::string> With(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

class SamplingTest : public ::testing::Test {
protected:
    void SetUp() override { SetAppFolder(dir.path()); }
    std::vector<std::string> working() {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadTextLines(doc.WorkingCopy(), lines, error)) << error;
        return lines;
    }
    // Opens `bytes` as a project file, then saves it elsewhere: the saved bytes.
    std::string openAndSave(const std::string& bytes) {
        WriteBytes(dir.file("in.tolv"), bytes);
        doc.ProjectPath = dir.file("in.tolv");
        EXPECT_TRUE(doc.LoadProjectToWindow());
        EXPECT_TRUE(doc.SaveProject(dir.file("out.tolv")));
        return ReadBytes(dir.file("out.tolv"));
    }
    TempDir dir;
    RecordingUi ui;
    ProjectDocument doc{ui, dir.path()};
};

}  // namespace

// Each section is read into the model and written back from it to the same
// bytes, in Shift_JIS with CR LF, after every other section; Open then Save
// keeps it as well. A precision row without its percent stays without it.
TEST_F(SamplingTest, SectionRoundTripsByteForByte) {
    struct Case {
        std::vector<std::string> section;
        std::string read;  // method | correlations | precision
    };
    const std::vector<Case> cases = {
        {{"<<Sampling>>", " Method            :LHS", " Correlation       :荷重,長さ,0.6",
          " Correlation       :高さ,荷重,-0.25", " Precision         :応力,0.01,99", "<<Sampling End>>"},
         "LHS|荷重,長さ,0.6|高さ,荷重,-0.25|応力,0.01,99"},
        {{"<<Sampling>>", " Method            :Sobol", " Precision         :たわみ,0.05", "<<Sampling End>>"},
         "Sobol|たわみ,0.05,"},
        {{"<<Sampling>>", " Method            :MonteCarlo", " Correlation       :荷重,長さ,0.6", "<<Sampling End>>"},
         "MonteCarlo|荷重,長さ,0.6"},
    };
    auto described = [](const SamplingSettings& s) {
        std::string d = s.method;
        for (const RankCorrelation& c : s.correlations) d += "|" + c.first + "," + c.second + "," + c.value;
        if (s.hasPrecision) d += "|" + s.precision.output + "," + s.precision.fraction + "," + s.precision.percent;
        return d;
    };
    const std::vector<std::string> example = ExampleLines("beam-montecarlo");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section[1]);
        const std::vector<std::string> lines = With(example, c.section);
        const ParsedProject parsed = ReadProject(lines);
        EXPECT_TRUE(parsed.problems.empty()) << parsed.problems[0].reason;
        EXPECT_EQ(described(parsed.project.sampling), c.read);
        // Everything else reads as the example does, and that writes back as it is.
        Project rest = parsed.project;
        rest.sampling = {};
        EXPECT_EQ(ProjectLines(rest), example);
        EXPECT_EQ(Cp932Lines(ProjectLines(parsed.project)), Cp932Lines(lines));
        EXPECT_EQ(openAndSave(Cp932Lines(lines)), Cp932Lines(lines));
    }
    // The bytes themselves: a 20-character key, Shift_JIS names, CR LF.
    const std::string bytes = Cp932Lines({" Correlation       :荷重,長さ,0.6"});
    EXPECT_EQ(bytes, " Correlation       :\x89\xd7\x8f\x64,\x92\xb7\x82\xb3,0.6\r\n");
    for (const char* k : {key::Method, key::Correlation, key::Precision}) EXPECT_EQ(std::string(k).size(), kKeyWidth);
}

// A project that does not use the section is the file it was: every example
// is saved byte for byte, and default settings put into it change nothing.
TEST_F(SamplingTest, ProjectWithoutTheSectionIsUnchanged) {
    for (const char* name : {"beam-single", "beam-montecarlo", "beam-datafile", "beam-orthogonal", "beam-scroll"}) {
        SCOPED_TRACE(name);
        const std::string original = ReadBytes(ExampleFile(name));
        ASSERT_FALSE(original.empty());
        EXPECT_EQ(openAndSave(original), original);
        ASSERT_TRUE(doc.RewriteSampling(SamplingSettings{}));
        EXPECT_EQ(ReadBytes(doc.WorkingCopy()), original);
        EXPECT_TRUE(ReadProject(working()).project.sampling.isDefault());
    }
    EXPECT_EQ(ProjectLines(Project{}), DefaultProjectLines());
    EXPECT_EQ(DefaultProjectLines().size(), 28u);
}

// The section is the file's last, whatever else is rewritten: a section
// rewrite, a macro or plan line a file lacked (added where a new file has
// them, else before the section), and its own rewrite, which moves a section
// that stood elsewhere to the end, keeps lines it does not know and takes
// the section out when nothing is left in it. A section without its end is
// refused and nothing changes.
TEST_F(SamplingTest, SectionStaysLast) {
    std::vector<std::string> lines = ExampleLines("beam-montecarlo");
    // No shell section, no macro and no plan line: those go at the end.
    auto drop = [&](const std::string& line) {
        auto at = std::find_if(lines.begin(), lines.end(), [&](auto& l) { return l == line || HasKey(l, line.c_str()); });
        ASSERT_NE(at, lines.end()) << line;
        lines.erase(at);
    };
    for (const char* line : {"<<Shell Task>>", "<<Shell Task End>>", key::Macro, key::TaskPlan}) drop(line);
    const std::vector<std::string> section = {"<<Sampling>>", " Method            :Sobol",
                                              " Correlation       :荷重,長さ,0.6", "<<Sampling End>>"};
    ASSERT_TRUE(doc.WriteWorkingCopy(With(lines, section)));
    auto endsWithSection = [&](const std::vector<std::string>& l, const std::vector<std::string>& s) {
        return l.size() >= s.size() && std::equal(s.begin(), s.end(), l.end() - static_cast<long>(s.size()));
    };

    ASSERT_TRUE(doc.RewriteWorkingCopy(section::MonteCarlo, {" Num of Calc.      :50", " Restart Excel     :0",
                                                             " Random Seed       :7"}));
    ASSERT_TRUE(doc.RewriteKeyedLine(key::Macro, "M1"));
    doc.header.plan = "MonteCarlo";
    ASSERT_TRUE(doc.SaveProject(dir.file("p.tolv")));
    std::vector<std::string> now = working();
    EXPECT_TRUE(endsWithSection(now, section));
    EXPECT_EQ(now[now.size() - 6], "Macro              :M1");
    EXPECT_EQ(now[now.size() - 5], "Task Plan          :MonteCarlo");
    EXPECT_EQ(ParseProject(now).monteCarlo.numOfCalc, "50");

    // Its own rewrite, from a section that stood first among the sections
    // and holds a line of a later version.
    lines = ExampleLines("beam-montecarlo");
    lines.insert(lines.begin() + 4, {"<<Sampling>>", " Method            :LHS", " Later Key         :x",
                                     " Precision         :応力,0.01", "<<Sampling End>>"});
    ASSERT_TRUE(doc.WriteWorkingCopy(lines));
    SamplingSettings s;
    s.method = method::Sobol;
    s.hasPrecision = true;
    s.precision = {"応力", "0.02", "90"};
    ASSERT_TRUE(doc.RewriteSampling(s));
    now = working();
    EXPECT_TRUE(endsWithSection(now, {"<<Sampling>>", " Method            :Sobol", " Precision         :応力,0.02,90",
                                      " Later Key         :x", "<<Sampling End>>"}));
    EXPECT_EQ(now.size(), lines.size());
    EXPECT_EQ(now[4], "<<Input Task>>");

    // Back to the default: the unknown line keeps a section for it; without
    // it the file is the example again.
    ASSERT_TRUE(doc.RewriteSampling(SamplingSettings{}));
    EXPECT_TRUE(endsWithSection(working(), {"<<Sampling>>", " Method            :MonteCarlo", " Later Key         :x",
                                            "<<Sampling End>>"}));
    ASSERT_TRUE(doc.WriteWorkingCopy(With(ExampleLines("beam-montecarlo"), section)));
    ASSERT_TRUE(doc.RewriteSampling(SamplingSettings{}));
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), ReadBytes(ExampleFile("beam-montecarlo")));
    // Into a project without one: at the end.
    ASSERT_TRUE(doc.RewriteSampling(s));
    EXPECT_EQ(working().back(), "<<Sampling End>>");

    // Without its end marker the section would take the rest of the file.
    lines = ExampleLines("beam-montecarlo");
    lines.insert(lines.begin() + 4, {"<<Sampling>>", " Method            :LHS"});
    ASSERT_TRUE(doc.WriteWorkingCopy(lines));
    const std::string before = ReadBytes(doc.WorkingCopy());
    EXPECT_FALSE(doc.RewriteSampling(s));
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), before);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().find("(5行目) に対応する \"<<Sampling End>>\""), std::string::npos) << ui.messages.back();
}

// Each check names the row at fault; the first problem wins (method, then
// the correlation rows in order, then the precision row).
TEST(SamplingCheck, EveryRefusalNamesTheRow) {
    const std::vector<std::string> sampled = {"荷重", "長さ", "高さ"};
    const std::vector<std::string> outputs = {"応力", "たわみ"};
    struct Case {
        std::string method;
        std::vector<RankCorrelation> correlations;
        std::vector<std::string> precision;  // empty: none
        std::string said;                    // empty: accepted
    };
    const std::vector<Case> cases = {
        {"LHS", {{"荷重", "長さ", "0.6"}, {"高さ", "長さ", "-0.999"}}, {}, ""},
        {"Sobol", {}, {"応力", "1e-3", ""}, ""},
        {"MonteCarlo", {{"荷重", "長さ", "0"}}, {"たわみ", "0.01", "99.9"}, ""},
        {"Saltelli", {}, {}, ""},
        {"Halton", {}, {}, "サンプリング方法[Halton]は使えません。MonteCarlo, LHS, Sobol, Saltelli のどれかにして下さい。"},
        // Saltelli refuses any correlation row before reading it.
        {"Saltelli", {{"荷重", "幅", "2"}}, {}, "相関[荷重,幅]はSaltelliでは使えません"},
        {"lhs", {}, {}, "サンプリング方法[lhs]は使えません。"},
        {"LHS", {{"荷重", "幅", "0.5"}}, {}, "相関[荷重,幅]の変数[幅]はサンプリングする変数ではありません。"},
        {"LHS", {{"荷重", "長さ", "0.5"}, {"荷重", "荷重", "0.5"}}, {}, "相関[荷重,荷重]は同じ変数どうしです。"},
        {"LHS", {{"荷重", "長さ", "0.5"}, {"長さ", "荷重", "0.2"}}, {}, "相関[長さ,荷重]の組が2回指定されています。"},
        {"LHS", {{"荷重", "長さ", "1"}}, {}, "相関[荷重,長さ]の順位相関係数は -1 より大きく 1 より小さい値にして下さい: \"1\""},
        {"LHS", {{"荷重", "長さ", "-1"}}, {}, "相関[荷重,長さ]の順位相関係数は -1 より大きく"},
        {"LHS", {{"荷重", "長さ", "0.5x"}}, {}, "相関[荷重,長さ]の順位相関係数が数値ではありません: \"0.5x\""},
        {"LHS", {{"荷重", "長さ", "nan"}}, {}, "相関[荷重,長さ]の順位相関係数が数値ではありません"},
        {"LHS", {{"荷重", "長さ", ""}}, {}, "相関[荷重,長さ]の順位相関係数が入力されていません。"},
        {"MonteCarlo", {}, {"荷重", "0.01", ""}, "精度目標[荷重]の変数[荷重]は出力変数ではありません。"},
        {"MonteCarlo", {}, {"応力", "0", ""}, "精度目標[応力]の相対精度は 0 より大きい値にして下さい: \"0\""},
        {"MonteCarlo", {}, {"応力", "-0.1", ""}, "精度目標[応力]の相対精度は 0 より大きい値"},
        {"MonteCarlo", {}, {"応力", "1%", ""}, "精度目標[応力]の相対精度が数値ではありません: \"1%\""},
        {"MonteCarlo", {}, {"応力", "0.01", "100"}, "精度目標[応力]の信頼水準(%)は 0 より大きく 100 より小さい値にして下さい: \"100\""},
        {"MonteCarlo", {}, {"応力", "0.01", "0"}, "精度目標[応力]の信頼水準(%)は 0 より大きく"},
        {"MonteCarlo", {}, {"応力", "0.01", "x"}, "精度目標[応力]の信頼水準(%)が数値ではありません: \"x\""},
        {"LHS", {}, {"応力", "0.01", "95"}, "精度目標[応力]はLHSでは使えません"},
        // The first problem wins.
        {"LHS", {{"荷重", "x", "2"}}, {"応力", "0.01", "95"}, "相関[荷重,x]の変数[x]は"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method + " " + c.said);
        SamplingSettings s;
        s.method = c.method;
        s.correlations = c.correlations;
        s.hasPrecision = !c.precision.empty();
        if (s.hasPrecision) s.precision = {c.precision[0], c.precision[1], c.precision[2]};
        const std::string message = CheckSampling(s, sampled, outputs);
        if (c.said.empty())
            EXPECT_EQ(message, "");
        else
            EXPECT_EQ(message.rfind(c.said, 0), 0u) << message;
    }
}
