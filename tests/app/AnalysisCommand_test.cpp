// The analyses from the command line, through the real program: the tables
// it writes (to a file as the windows save them, or to standard output), the
// invalid-line choice, objectives, the summary of the outputs, and the exit
// status for bad input.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <random>

#include "TestSupport.h"
#include "project/NumberText.h"

using namespace korvane::test;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

// `stdoutFile`: where standard output goes instead of the pipe.
Result Korvane(const QStringList& arguments, const QString& stdoutFile = {}) {
    QProcess p;
    if (!stdoutFile.isEmpty()) p.setStandardOutputFile(stdoutFile);
    p.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/../app/korvane"));
    p.setArguments(arguments);
    // No display: the analyses need none.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start();
    if (!p.waitForFinished(60000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// x: 1, 2, 3 valid and 10 invalid; y = 2x; z varies with nothing.
const std::vector<std::string> kDb = {"Count,x,y,z,Validity(制限判定)", "-,[Input],[Output],[Output],[System]",
                                      "1,1,2,5,True", "2,2,4,5,True", "3,3,6,5,True", "4,10,20,5,False"};

// A Saltelli design of y = x1 + 2 x2 (S1 = ST = 0.2 and 0.8) with z = 5
// throughout: initial values, then `groups` groups A, B, AB1, AB2; or, with
// `plain`, as many lines of a plain random sample.
std::vector<std::string> SobolDb(int groups, bool plain = false) {
    std::vector<std::string> lines = {"Count,x1,x2,y,z,Validity(制限判定)", "-,[Input],[Input],[Output],[Output],[System]"};
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    int count = 0;
    const auto add = [&](double x1, double x2) {
        x1 = korvane::LeadingNumber(korvane::GeneralNumber(x1));
        x2 = korvane::LeadingNumber(korvane::GeneralNumber(x2));
        lines.push_back(std::to_string(count++) + "," + korvane::GeneralNumber(x1) + "," + korvane::GeneralNumber(x2) +
                        "," + korvane::GeneralNumber(x1 + 2 * x2) + ",5,True");
    };
    add(0.5, 0.5);
    for (int j = 0; j < groups; ++j) {
        const double a1 = uniform(random), a2 = uniform(random), b1 = uniform(random), b2 = uniform(random);
        add(a1, a2);
        add(b1, b2);
        if (plain) continue;
        add(b1, a2);
        add(a1, b2);
    }
    return lines;
}

}  // namespace

class AnalysisCommandTest : public QObject {
    Q_OBJECT

private slots:
    void statisticsToAFileAsTheWindowSavesItAndToStandardOutput() {
        TempDir dir;
        WriteBytes(dir.file("db.csv"), Cp932Lines(kDb));
        Result r = Korvane({QStringLiteral("--stats"), Q(dir.file("db.csv")), QStringLiteral("-o"),
                            Q(dir.file("stats.csv"))});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadBytes(dir.file("stats.csv")),
                 Cp932Lines({",最小,平均,最大,分散,標準偏差", "x,1.000e+0,2.000e+0,3.000e+0,6.667e-1,8.165e-1",
                             "y,2.000e+0,4.000e+0,6.000e+0,2.667e+0,1.633e+0",
                             "z,5.000e+0,5.000e+0,5.000e+0,0.000e+0,0.000e+0"}));
        // Three lines are few: said on stderr, not in the table.
        QVERIFY(r.err.find("データ数が100個以下") != std::string::npos);

        r = Korvane({QStringLiteral("--stats"), Q(dir.file("db.csv")), QStringLiteral("--include-invalid")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.find("x,1.000e+0,4.000e+0,1.000e+1,1.250e+1,3.536e+0\n") != std::string::npos);
    }

    void summaryOfTheOutputsToAFileAndToStandardOutput() {
        TempDir dir;
        WriteBytes(dir.file("db.csv"), Cp932Lines(kDb));
        // y: 2, 4, 6 (t = 4.303 for two degrees); z does not vary: a zero
        // interval; one False line in four: Wilson [0.04559, 0.69936].
        const std::vector<std::string> table = {
            ",データ数,平均,平均95%下限,平均95%上限,標準偏差(n-1),5%点,50%点,95%点,False率,False率95%下限,"
            "False率95%上限",
            "y,3,4.000e+0,-9.683e-1,8.968e+0,2.000e+0,2.200e+0,4.000e+0,5.800e+0,0.25000,0.04559,0.69936",
            "z,3,5.000e+0,5.000e+0,5.000e+0,0.000e+0,5.000e+0,5.000e+0,5.000e+0,0.25000,0.04559,0.69936"};
        Result r = Korvane({QStringLiteral("--summary"), Q(dir.file("db.csv")), QStringLiteral("-o"),
                            Q(dir.file("summary.csv"))});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadBytes(dir.file("summary.csv")), Cp932Lines(table));

        // The False line taken in: its 20 joins y; the share stays.
        r = Korvane({QStringLiteral("--summary"), Q(dir.file("db.csv")), QStringLiteral("--include-invalid")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.find("\ny,4,8.000e+0,-4.992e+0,2.099e+1,8.165e+0,2.300e+0,5.000e+0,1.790e+1,0.25000,") !=
                     std::string::npos,
                 r.out.c_str());

        // Without an output column there is nothing to summarise.
        WriteBytes(dir.file("inputs.csv"), Cp932Lines({"Count,x,Validity(制限判定)", "-,[Input],[System]", "1,1,True"}));
        r = Korvane({QStringLiteral("--summary"), Q(dir.file("inputs.csv"))});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.find("出力の列がありません") != std::string::npos, r.err.c_str());
    }

    void sensitivityWithObjectivesAndEffectsBlocks() {
        TempDir dir;
        WriteBytes(dir.file("db.csv"), Cp932Lines(kDb));
        Result r = Korvane({QStringLiteral("--sens"), Q(dir.file("db.csv")), QStringLiteral("--objective"),
                            QStringLiteral("y=min")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, std::string(",y,z,<総合感度>\n<Obj.>,最小化,-,*****\nx,1.00000,-,1.00000\n"));  // z does not vary

        r = Korvane({QStringLiteral("--sens"), Q(dir.file("db.csv")), QStringLiteral("--objective"),
                     QStringLiteral("w=max")});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.find("w") != std::string::npos);

        // x has four levels here: H 10, L 1, no M (5.5 does not occur).
        r = Korvane({QStringLiteral("--effects"), Q(dir.file("db.csv"))});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, std::string("y\n水準/感度,x\n水準(H),26.020600\n水準(M),-\n水準(L),6.020600\n\n"
                                    "z\n水準/感度,x\n水準(H),13.979400\n水準(M),-\n水準(L),13.979400\n"));
    }

    void sobolIndicesOfADesignAndFilesThatCannotGiveThemKeepTheOldResult() {
        TempDir dir;
        WriteBytes(dir.file("design.csv"), Cp932Lines(SobolDb(400)));
        Result r = Korvane({QStringLiteral("--sobol"), Q(dir.file("design.csv")), QStringLiteral("-o"),
                            Q(dir.file("sobol.csv"))});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.find("Saltelli計画の 400 群（1群 4 行）") != std::string::npos, r.err.c_str());
        const std::string written = ReadBytes(dir.file("sobol.csv"));
        QVERIFY(written.rfind(Cp932Lines({"出力,入力,S1,S1 95%下限,S1 95%上限,ST,ST 95%下限,ST 95%上限"}), 0) == 0);
        QVERIFY(written.find("\r\nz,x1,-,-,-,-,-,-\r\n") != std::string::npos);
        // y,x2,S1,...,ST,...: both near 0.8, each inside its interval.
        const std::size_t at = written.find("\r\ny,x2,");
        QVERIFY(at != std::string::npos);
        const QStringList f = QString::fromStdString(written.substr(at + 2, written.find('\r', at + 2) - at - 2)).split(',');
        QCOMPARE(f.size(), 8);
        QVERIFY2(std::abs(f[2].toDouble() - 0.8) < 0.06 && std::abs(f[5].toDouble() - 0.8) < 0.06,
                 qPrintable(f.join(',')));
        QVERIFY(f[3].toDouble() <= f[2].toDouble() && f[2].toDouble() <= f[4].toDouble());
        QVERIFY(f[6].toDouble() <= f[5].toDouble() && f[5].toDouble() <= f[7].toDouble());

        // A plain sample: first-order indices only, and the table and the
        // messages say why.
        WriteBytes(dir.file("plain.csv"), Cp932Lines(SobolDb(200, true)));
        r = Korvane({QStringLiteral("--sobol"), Q(dir.file("plain.csv"))});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.find("\ny,x1,") != std::string::npos && r.out.find("Saltelli計画で計算したDBファイルが必要") !=
                                                                 std::string::npos,
                 r.out.c_str());
        QVERIFY(r.err.find("Saltelli計画で計算したDBファイルが必要") != std::string::npos);

        // A design that breaks off in its 11th group (file line 3 + 10 * 4 +
        // 2 takes both inputs from B), too few groups, a missing file: each
        // refused with its reason, and the table written before stays.
        std::vector<std::string> broken = SobolDb(40);
        broken[2 + 1 + 10 * 4 + 2] = broken[2 + 1 + 10 * 4 + 1];
        WriteBytes(dir.file("broken.csv"), Cp932Lines(broken));
        WriteBytes(dir.file("few.csv"), Cp932Lines(SobolDb(4)));
        const struct {
            const char* db;
            const char* said;
        } refused[] = {{"broken.csv", "46 行目"}, {"few.csv", "4 個しかありません"}, {"missing.csv", "missing.csv"}};
        for (const auto& c : refused) {
            r = Korvane({QStringLiteral("--sobol"), Q(dir.file(c.db)), QStringLiteral("-o"), Q(dir.file("sobol.csv"))});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.find(c.said) != std::string::npos, r.err.c_str());
            QCOMPARE(ReadBytes(dir.file("sobol.csv")), written);
        }
    }

    void badInputExitsWithTwoAndAClearMessage() {
        TempDir dir;
        WriteBytes(dir.file("empty.csv"), "");
        WriteBytes(dir.file("db.csv"), Cp932Lines(kDb));
        struct Case {
            QStringList arguments;
            const char* said;
        } cases[] = {
            {{QStringLiteral("--stats"), Q(dir.file("missing.csv"))}, "missing.csv"},
            {{QStringLiteral("--summary"), Q(dir.file("missing.csv"))}, "missing.csv"},
            {{QStringLiteral("--summary"), Q(dir.path())}, "フォルダ"},
            {{QStringLiteral("--summary"), Q(dir.file("empty.csv"))}, "empty.csv"},
            {{QStringLiteral("--summary"), Q(dir.file("db.csv")), QStringLiteral("--objective"),
              QStringLiteral("y=max")},
             "--objective"},
            {{QStringLiteral("--sens"), Q(dir.file("empty.csv"))}, "empty.csv"},
            {{QStringLiteral("--effects")}, "--effects"},
            {{QStringLiteral("--stats"), Q(dir.file("db.csv")), QStringLiteral("--bins")}, "--bins"},
            {{QStringLiteral("--effects"), Q(dir.file("db.csv")), QStringLiteral("--objective"),
              QStringLiteral("y=max")},
             "--objective"},
        };
        for (const auto& c : cases) {
            const Result r = Korvane(c.arguments);
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.find(c.said) != std::string::npos, r.err.c_str());
            QVERIFY(r.out.empty());
        }
        // A result that cannot be written fails with 1; nothing is left behind.
        const Result r = Korvane({QStringLiteral("--stats"), Q(dir.file("db.csv")), QStringLiteral("-o"),
                                  Q(dir.path() + "/no/such/out.csv")});
        QCOMPARE(r.status, 1);
        QVERIFY(!r.err.empty());

        // The table never replaces the DB file it is computed from, named
        // directly or through a link; the file stays as it was.
        QVERIFY(QFile::link(Q(dir.file("db.csv")), Q(dir.file("link.csv"))));
        for (const char* out : {"db.csv", "link.csv"}) {
            const Result same = Korvane({QString::fromLatin1(out[0] == 'd' ? "--stats" : "--summary"),
                                         Q(dir.file("db.csv")), QStringLiteral("-o"), Q(dir.file(out))});
            QCOMPARE(same.status, 2);
            QVERIFY2(same.err.find("同じファイル") != std::string::npos, same.err.c_str());
            QCOMPARE(ReadBytes(dir.file("db.csv")), Cp932Lines(kDb));
        }
        // Standard output that takes nothing (a full disk) fails the command.
        for (const char* command : {"--stats", "--summary", "--help"}) {
            const Result full = Korvane({QString::fromLatin1(command), Q(dir.file("db.csv"))}, QStringLiteral("/dev/full"));
            QCOMPARE(full.status, 1);
            QVERIFY2(full.err.find("標準出力に書き込めません") != std::string::npos, full.err.c_str());
        }

        const Result help = Korvane({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        for (const char* word :
             {"--stats", "--sens", "--effects", "--summary", "--sobol", "--include-invalid", "--objective"})
            QVERIFY(help.out.find(word) != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(AnalysisCommandTest)
#include "AnalysisCommand_test.moc"
