#include "platform/libreoffice/LibreOfficeLink.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "LoTestSupport.h"
#include "TestSupport.h"
#include "workbook/CellRef.h"

namespace korvane {
namespace {

using test::ChildProcesses;
using test::ProcessExists;
using test::ReadBytes;
using test::TempDir;

// Every instance a test started is gone when the tests end: checked once,
// after the last suite of this process.
class NoProcessLeftBehind : public ::testing::Environment {
public:
    void TearDown() override {
        EXPECT_TRUE(ChildProcesses().empty()) << "a child process outlived the tests";
    }
};
[[maybe_unused]] auto* const kNoLeftovers = ::testing::AddGlobalTestEnvironment(new NoProcessLeftBehind);

CellRef Cell(const std::string& sheet, const std::string& address) { return MakeCellRef(sheet, address); }

std::vector<std::string> FolderListing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// True when only the profile template shared by all instances of this
// process is left in `folder`.
bool OnlyTheTemplateLeft(const std::string& folder) {
    for (const auto& name : FolderListing(folder))
        if (!Contains(name, "template")) return false;
    return true;
}

// Starts `path` with `argv` and the child test's report file and profile
// folder in its environment, its output silenced.
pid_t StartChild(const std::string& path, std::vector<const char*> argv, const std::string& report,
                 const std::string& profiles) {
    std::vector<std::string> env = {"KORVANE_LO_CHILD_REPORT=" + report, "KORVANE_LO_CHILD_TEMP=" + profiles};
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(::open("/dev/null", O_WRONLY), 1);
        execve(path.c_str(), const_cast<char* const*>(argv.data()), envp.data());
        _exit(127);
    }
    return child;
}

// One hidden instance for the whole suite; each test opens the workbook it
// needs and closes it again.
class LibreOfficeLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir;
        link_ = new LibreOfficeLink;
        if (!link_->start(false)) {
            setupError_ = "start: " + link_->lastError();
            return;
        }
        if (!test::MakeTestWorkbooks(*link_, folder_->path(), books_, setupError_))
            setupError_ = "making the workbooks: " + setupError_;
    }
    static void TearDownTestSuite() {
        delete link_;
        link_ = nullptr;
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(setupError_.empty()) << setupError_;
        if (!link_->isRunning()) {
            ASSERT_TRUE(link_->start(false)) << link_->lastError();
        }
    }
    void TearDown() override { link_->closeWorkbooks(); }

    static LibreOfficeLink& link() { return *link_; }
    static const test::TestWorkbooks& books() { return books_; }

    static inline TempDir* folder_ = nullptr;
    static inline LibreOfficeLink* link_ = nullptr;
    static inline test::TestWorkbooks books_;
    static inline std::string setupError_;
};

// Every kind of value reads as its text; an error value, a missing sheet or
// an impossible cell is named, and the other cells of a batch are still read.
TEST_F(LibreOfficeLinkTest, ReadsEveryValueAsTextAndNamesWhatCannotBeRead) {
    ASSERT_TRUE(link().open(books().ods)) << link().lastError();
    std::vector<CellRef> cells = {Cell("Outputs", "A1"), Cell("Outputs", "J1"), Cell("Outputs", "A2"),
                                  Cell("Outputs", "B2"), Cell("Outputs", "C2"), Cell("Outputs", "D2"),
                                  Cell("Outputs", "G2"), Cell("Outputs", "H2"), Cell("Outputs", "I2"),
                                  Cell("Outputs", "J2"), Cell("Outputs", "K2"), Cell("計算 1", "A1")};
    std::vector<std::optional<std::string>> values;
    ASSERT_TRUE(link().readCells(cells, values)) << link().lastError();
    // A plain 0 or 1 (G2, H2) is a number, not a logical.
    std::vector<std::optional<std::string>> expected = {"2", "20", "True", "False", "hello", "",
                                                        "0", "1", "", "1234567.891", "1.2345E-05", "3"};
    EXPECT_EQ(values, expected);
    EXPECT_EQ(link().readCell(Cell("Outputs", "G2")), "0");

    EXPECT_EQ(link().readCell(Cell("Outputs", "E2")), std::nullopt);
    EXPECT_TRUE(Contains(link().lastError(), "Outputs!E2")) << link().lastError();
    EXPECT_TRUE(Contains(link().lastError(), "#DIV/0!")) << link().lastError();
    // The message names the first failing cell in the order given.
    EXPECT_FALSE(link().readCells({Cell("Outputs", "A1"), Cell("Outputs", "F2"), Cell("Outputs", "E2"),
                                   Cell("Outputs", "B1")},
                                  values));
    EXPECT_EQ(values, (std::vector<std::optional<std::string>>{"2", std::nullopt, std::nullopt, "4"}));
    EXPECT_TRUE(Contains(link().lastError(), "Outputs!F2")) << link().lastError();
    EXPECT_TRUE(Contains(link().lastError(), "#N/A")) << link().lastError();

    EXPECT_FALSE(link().writeCell(Cell("Nosheet", "A1"), "1"));
    EXPECT_TRUE(Contains(link().lastError(), "Nosheet")) << link().lastError();
    EXPECT_FALSE(link().activateSheet("Nosheet2"));
    EXPECT_TRUE(Contains(link().lastError(), "Nosheet2")) << link().lastError();
    EXPECT_FALSE(link().readCells({Cell("Outputs", "A1"), Cell("Nosheet3", "A1")}, values));
    EXPECT_EQ(values, (std::vector<std::optional<std::string>>{"2", std::nullopt}));
    EXPECT_TRUE(Contains(link().lastError(), "Nosheet3")) << link().lastError();
    // No digits: row 0, which no sheet has.
    EXPECT_FALSE(link().writeCell(Cell("Inputs", "B"), "1"));
    EXPECT_TRUE(Contains(link().lastError(), "Inputs!B")) << link().lastError();
    EXPECT_TRUE(link().isRunning());
}

TEST_F(LibreOfficeLinkTest, WritesAsTypedEachTextIntoItsOwnCellAndManualModeHoldsRecalculation) {
    ASSERT_TRUE(link().open(books().ods)) << link().lastError();
    ASSERT_TRUE(link().writeCells({{Cell("Inputs", "P1"), "old"}, {Cell("Inputs", "T1"), "keep"}})) << link().lastError();
    std::vector<CellWrite> writes = {
        {Cell("Inputs", "L1"), "1.5"},      {Cell("Inputs", "M1"), "-2e3"},
        {Cell("Inputs", "N1"), "1E-05"},    {Cell("Inputs", "O1"), "abc"},
        {Cell("Inputs", "P1"), ""},         {Cell("Inputs", "Q1"), "=2+3"},
        {Cell("Inputs", "R1"), "NotFound:3"}, {Cell("Inputs", "S1"), "0012"},
        {Cell("Outputs", "Z9"), "far"},     {Cell("Inputs", "L1"), "2.5"},  // the later text wins
        {Cell("計算 1", "B2"), "日本語"},
    };
    ASSERT_TRUE(link().writeCells(writes)) << link().lastError();
    std::vector<CellRef> cells = {Cell("Inputs", "L1"), Cell("Inputs", "M1"), Cell("Inputs", "N1"),
                                  Cell("Inputs", "O1"), Cell("Inputs", "P1"), Cell("Inputs", "Q1"),
                                  Cell("Inputs", "R1"), Cell("Inputs", "S1"), Cell("Inputs", "T1"),
                                  Cell("Outputs", "Z9"), Cell("計算 1", "B2"), Cell("Inputs", "L2")};
    std::vector<std::optional<std::string>> values;
    ASSERT_TRUE(link().readCells(cells, values)) << link().lastError();
    std::vector<std::optional<std::string>> expected = {"2.5", "-2000", "1E-05", "abc", "", "5", "NotFound:3",
                                                        "12",  "keep",  "far",   "日本語", ""};
    EXPECT_EQ(values, expected);

    ASSERT_TRUE(link().setCalculation(CalculationMode::Manual)) << link().lastError();
    ASSERT_TRUE(link().writeCell(Cell("Inputs", "A1"), "5"));
    EXPECT_EQ(link().readCell(Cell("Outputs", "A1")), "2");
    ASSERT_TRUE(link().setCalculation(CalculationMode::Automatic)) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "A1")), "10");
    EXPECT_EQ(link().readCell(Cell("計算 1", "A1")), "11");
    // Automatic: each write recalculates at once.
    ASSERT_TRUE(link().writeCell(Cell("Inputs", "A1"), "-1"));
    EXPECT_EQ(link().readCell(Cell("Outputs", "A2")), "False");
}

// Basic macros run by reference, name or module, on the sheet last
// activated; a missing or failing one is named and the next still runs.
TEST_F(LibreOfficeLinkTest, RunsBasicMacrosOnTheLastActivatedSheetAndNamesFailingOnes) {
    ASSERT_TRUE(link().open(books().ods)) << link().lastError();
    EXPECT_EQ(link().sheetNames(), (std::vector<std::string>{"Inputs", "Outputs", "計算 1"}));
    EXPECT_TRUE(link().activateSheet("Outputs")) << link().lastError();
    EXPECT_TRUE(link().activateSheet("計算 1")) << link().lastError();
    ASSERT_TRUE(link().run("MarkActive")) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("計算 1", "Z1")), "here");
    EXPECT_EQ(link().activeSheetName(), "計算 1");
    EXPECT_TRUE(link().activateSheet("Inputs")) << link().lastError();
    ASSERT_TRUE(link().run("MarkActive")) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Inputs", "Z1")), "here");
    EXPECT_EQ(link().readCell(Cell("Outputs", "Z1")), "");

    for (const char* name : {"NoSuchMacro", "Boom"}) {
        EXPECT_FALSE(link().run(MacroReference(books().ods, name)));
        EXPECT_TRUE(Contains(link().lastError(), name)) << link().lastError();
    }
    EXPECT_FALSE(link().run(MacroReference("/elsewhere/other.ods", "Calc1")));
    EXPECT_TRUE(Contains(link().lastError(), "/elsewhere/other.ods")) << link().lastError();

    ASSERT_TRUE(link().run(MacroReference(books().ods, "Calc1"))) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "C3")), "10");
    ASSERT_TRUE(link().run(MacroReference(books().ods, "Module2.Calc1"))) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "C3")), "100");
    // Case does not matter; the blank a macro list leaves after a comma neither.
    ASSERT_TRUE(link().writeCell(Cell("Inputs", "A1"), "2"));
    ASSERT_TRUE(link().run(MacroReference(books().ods, " module1.CALC1"))) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "C3")), "20");
    ASSERT_TRUE(link().run("Standard.Module2.Calc1")) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "C3")), "200");
}

TEST_F(LibreOfficeLinkTest, RunsTheVbaMacroOfAnExcelWorkbook) {
    ASSERT_TRUE(link().open(books().xlsm)) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "A1")), "2");
    ASSERT_TRUE(link().writeCell(Cell("Inputs", "A1"), "3"));
    EXPECT_EQ(link().readCell(Cell("Outputs", "A1")), "6");
    ASSERT_TRUE(link().run(MacroReference(books().xlsm, "Calc1"))) << link().lastError();
    EXPECT_EQ(link().readCell(Cell("Outputs", "C3")), "3000");
    EXPECT_FALSE(link().run(MacroReference(books().xlsm, "Module1.Boom")));
    EXPECT_TRUE(Contains(link().lastError(), "Boom")) << link().lastError();
}

TEST_F(LibreOfficeLinkTest, TheWorkbookFileIsNeverChanged) {
    const auto before = ReadBytes(books().ods);
    struct stat st {};
    ASSERT_EQ(stat(books().ods.c_str(), &st), 0);
    const auto modified = st.st_mtim;
    const auto listing = FolderListing(folder_->path());

    ASSERT_TRUE(link().open(books().ods)) << link().lastError();
    ASSERT_TRUE(link().writeCell(Cell("Inputs", "A1"), "42"));
    ASSERT_TRUE(link().run(MacroReference(books().ods, "Calc1"))) << link().lastError();
    // Open: no lock file next to the workbook.
    EXPECT_EQ(FolderListing(folder_->path()), listing);
    CloseAndQuit(link());

    EXPECT_EQ(ReadBytes(books().ods), before);
    ASSERT_EQ(stat(books().ods.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, modified.tv_nsec);
    EXPECT_EQ(FolderListing(folder_->path()), listing);
}

TEST_F(LibreOfficeLinkTest, OpenRefusesMissingAndForeignFilesAndAMissingApplicationByName) {
    EXPECT_FALSE(link().open(folder_->file("missing.ods")));
    EXPECT_TRUE(Contains(link().lastError(), folder_->file("missing.ods"))) << link().lastError();
    test::WriteBytes(folder_->file("notes.txt"), "just some text\n");
    EXPECT_FALSE(link().open(folder_->file("notes.txt")));
    EXPECT_TRUE(Contains(link().lastError(), "notes.txt")) << link().lastError();
    // With nothing open, cell operations say so.
    EXPECT_FALSE(link().writeCell(Cell("Inputs", "A1"), "1"));
    EXPECT_FALSE(link().lastError().empty());
    EXPECT_TRUE(link().isRunning());

    WorkbookLinkOptions options;
    options.programFolder = "/nonexistent/libreoffice/program";
    LibreOfficeLink missing(options);
    EXPECT_FALSE(StartAndOpen(missing, books().ods, false));
    EXPECT_TRUE(Contains(missing.lastError(), "/nonexistent/libreoffice/program/soffice.bin")) << missing.lastError();
    EXPECT_FALSE(missing.isRunning());
}

TEST_F(LibreOfficeLinkTest, SheetListingUsesAShortLivedInstanceOfItsOwn) {
    LibreOfficeLink second;
    std::vector<std::string> names;
    ASSERT_TRUE(ListSheetNames(second, books().xlsm, names)) << second.lastError();
    EXPECT_EQ(names, (std::vector<std::string>{"Inputs", "Outputs"}));
    EXPECT_FALSE(second.isRunning());

    LibreOfficeLink third;
    names.clear();
    EXPECT_FALSE(ListSheetNames(third, folder_->file("gone.xlsx"), names));
    EXPECT_TRUE(Contains(third.lastError(), "gone.xlsx")) << third.lastError();
    EXPECT_FALSE(third.isRunning());
    EXPECT_TRUE(names.empty());
}

// An instance of its own: quit ends its process and removes its profile, it
// can start again and simply be dropped; killed in the middle of a macro it
// gives a clear message and leaves nothing either.
TEST_F(LibreOfficeLinkTest, QuittingOrKillingTheInstanceLeavesNothingAndKillingSaysSo) {
    TempDir temp;
    WorkbookLinkOptions options;
    options.tempFolder = temp.path();
    pid_t pid = -1;
    {
        LibreOfficeLink own(options);
        ASSERT_TRUE(StartAndOpen(own, books().ods, false)) << own.lastError();
        pid = own.processId();
        EXPECT_FALSE(FolderListing(temp.path()).empty());  // the private profile
        CloseAndQuit(own);
        EXPECT_FALSE(own.isRunning());
        EXPECT_FALSE(ProcessExists(pid));
        EXPECT_FALSE(own.writeCell(Cell("Inputs", "A1"), "1"));
        EXPECT_FALSE(own.lastError().empty());
        ASSERT_TRUE(own.start(false)) << own.lastError();
        pid = own.processId();
        EXPECT_TRUE(ProcessExists(pid));
    }
    EXPECT_FALSE(ProcessExists(pid));
    EXPECT_TRUE(OnlyTheTemplateLeft(temp.path()));

    LibreOfficeLink victim(options);
    ASSERT_TRUE(StartAndOpen(victim, books().ods, false)) << victim.lastError();
    pid = victim.processId();
    ASSERT_GT(pid, 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ::kill(pid, SIGKILL);
    });
    const auto started = std::chrono::steady_clock::now();
    const bool ran = victim.run(MacroReference(books().ods, "Slow"));  // waits 20 s unless killed
    const auto took = std::chrono::steady_clock::now() - started;
    killer.join();

    EXPECT_FALSE(ran);
    EXPECT_LT(took, std::chrono::seconds(15));
    const std::string message = victim.lastError();
    EXPECT_TRUE(Contains(message, "LibreOffice が終了")) << message;
    EXPECT_FALSE(victim.isRunning());
    EXPECT_FALSE(ProcessExists(pid));
    EXPECT_TRUE(OnlyTheTemplateLeft(temp.path()));
    // Later operations fail at once with the same message; ending is quiet.
    EXPECT_FALSE(victim.writeCell(Cell("Inputs", "A1"), "1"));
    EXPECT_EQ(victim.lastError(), message);
    EXPECT_EQ(victim.readCell(Cell("Outputs", "A1")), std::nullopt);
    CloseAndQuit(victim);
    EXPECT_FALSE(victim.isRunning());
}

// Not a test of its own: the body of the child process that the next test
// starts and then kills.
TEST(LibreOfficeLinkChild, StartsAnInstanceAndWaits) {
    const char* report = std::getenv("KORVANE_LO_CHILD_REPORT");
    if (!report) GTEST_SKIP() << "runs only as the child of AnInstanceDiesWithTheProgramThatStartedIt";
    WorkbookLinkOptions options;
    options.tempFolder = std::getenv("KORVANE_LO_CHILD_TEMP");
    LibreOfficeLink link(options);
    ASSERT_TRUE(link.start(false)) << link.lastError();
    test::WriteBytes(std::string(report) + ".part", std::to_string(link.processId()));
    std::filesystem::rename(std::string(report) + ".part", report);
    for (;;) pause();
}

TEST_F(LibreOfficeLinkTest, AnInstanceDiesWithTheProgramThatStartedIt) {
    TempDir temp;
    const std::string report = temp.file("soffice.pid");
    const std::string profiles = temp.file("profiles");
    std::filesystem::create_directory(profiles);

    // A program of its own (this test binary, running only the child test
    // above), so that killing it kills nothing of this process.
    const pid_t child = StartChild("/proc/self/exe", {"test_libreoffice", "--gtest_filter=LibreOfficeLinkChild.*"},
                                   report, profiles);
    ASSERT_GT(child, 0);
    pid_t office = -1;
    for (int i = 0; i < 300 && office <= 0; ++i) {
        if (std::filesystem::exists(report)) office = std::atoi(ReadBytes(report).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_GT(office, 0) << "the child did not start an instance";

    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = !ProcessExists(office);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(gone) << "soffice outlived the program that started it";

    // What the killed program left on disk goes with the next start.
    const std::string pipePrefix = "OSL_PIPE_" + std::to_string(getuid()) + "_korvane_" + std::to_string(child) + "_";
    auto leftovers = [&] {
        int n = 0;
        for (const auto& name : FolderListing(profiles)) n += Contains(name, "-" + std::to_string(child) + "-");
        for (const auto& name : FolderListing("/tmp")) n += name.rfind(pipePrefix, 0) == 0;
        return n;
    };
    EXPECT_GT(leftovers(), 0);
    WorkbookLinkOptions options;
    options.tempFolder = profiles;
    LibreOfficeLink next(options);
    ASSERT_TRUE(next.start(false)) << next.lastError();
    EXPECT_EQ(leftovers(), 0);
}

// A Korvane in another PID namespace sharing the temporary folder (a
// container) keeps its folder while it lives: the process id in the
// folder's name means nothing here, and the next start does not touch it.
TEST_F(LibreOfficeLinkTest, AnotherNamespacesInstanceKeepsItsFolder) {
    if (std::system("unshare --user --map-root-user --pid --fork --mount-proc --kill-child true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no PID namespace can be made here";
    TempDir temp;
    const std::string report = temp.file("soffice.pid");
    const std::string profiles = temp.file("profiles");
    std::filesystem::create_directory(profiles);
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    // Its process ids run past 1 there, to numbers that may be free here.
    const pid_t child = StartChild("/usr/bin/unshare",
                                   {"unshare", "--user", "--map-root-user", "--pid", "--fork", "--mount-proc",
                                    "--kill-child", "/bin/sh", "-c",
                                    "i=0; while [ $i -lt 300 ]; do /bin/true; i=$((i+1)); done; \"$0\" "
                                    "--gtest_filter=LibreOfficeLinkChild.*",
                                    exe.c_str()},
                                   report, profiles);
    ASSERT_GT(child, 0);
    bool started = false;
    for (int i = 0; i < 600 && !started; ++i) {
        started = std::filesystem::exists(report);
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::vector<std::string> theirs = FolderListing(profiles);
    if (started) {
        WorkbookLinkOptions options;
        options.tempFolder = profiles;
        LibreOfficeLink next(options);
        ASSERT_TRUE(next.start(false)) << next.lastError();
        for (const auto& name : theirs) EXPECT_TRUE(std::filesystem::exists(profiles + "/" + name)) << name;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(started) << "the child in its own PID namespace did not start an instance";
    EXPECT_FALSE(theirs.empty());
    // Its UNO pipe in /tmp, which no start here will ever take for its own.
    for (const auto& name : theirs) {
        if (name.rfind("korvane-lo-", 0) != 0 || Contains(name, "template")) continue;
        const std::string prefix = "OSL_PIPE_" + std::to_string(getuid()) + "_korvane_" +
                                   name.substr(11, name.find('-', 11) - 11) + "_";
        if (name.substr(11, name.find('-', 11) - 11) == std::to_string(getpid())) continue;
        for (const auto& pipe : FolderListing("/tmp"))
            if (pipe.rfind(prefix, 0) == 0) std::filesystem::remove("/tmp/" + pipe);
    }
}

TEST_F(LibreOfficeLinkTest, AShownWindowNeedsADisplayAndSaysSo) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string savedWayland = wayland ? wayland : "";
    unsetenv("WAYLAND_DISPLAY");

    LibreOfficeLink shown;
    EXPECT_FALSE(shown.start(true));
    EXPECT_TRUE(Contains(shown.lastError(), "DISPLAY")) << shown.lastError();
    LibreOfficeLink picker;
    EXPECT_EQ(PickCell(picker, books().ods, {}), std::nullopt);
    EXPECT_TRUE(Contains(picker.lastError(), "DISPLAY")) << picker.lastError();
    EXPECT_FALSE(picker.isRunning());

    // A hidden run is unaffected, and cannot be shown.
    EXPECT_TRUE(FollowVisibility(link(), false, false));
    ASSERT_TRUE(link().open(books().ods));
    EXPECT_FALSE(FollowVisibility(link(), true, false));
    EXPECT_TRUE(Contains(link().lastError(), "DISPLAY")) << link().lastError();
    EXPECT_TRUE(link().isRunning());

    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    if (!savedWayland.empty()) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
}

}  // namespace
}  // namespace korvane
