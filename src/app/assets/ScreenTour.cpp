// Shows one view of the program with a sample project, for screenshots:
//   korvane_screen_tour VIEW
// VIEW: splash, version, tab0 .. tab4 (入力操作 .. exe実行), end, pause,
// run-options, run-menu, recent, legend-flow, legend-dist, legend-replace,
// notice (the warning a run shows about a workbook written for Excel), the
// editors and settings
// windows write-input, write-new, write-output, exe, replace, initial,
// restriction, sampling, sampling-seed, orthogonal, datafile, current, the
// analysis windows stats, histogram, sens, effects, effects-all, graph on the
// DB files named by KORVANE_TOUR_MC_DB (a Monte Carlo run) and
// KORVANE_TOUR_OA_DB (an orthogonal-array run), sobol on a Saltelli design
// of the beam that the tour writes itself, and the scroll mode on the
// example model in LibreOffice: scroll-start, scroll-normal,
// scroll-trajectory, scroll-peak; live (the main window's figures of a run,
// fed the lines of KORVANE_TOUR_MC_DB), convergence (its convergence picture)
// and current-live (the current values with those figures). The view stays
// on the screen until the process is ended (at most a minute).
#include <QApplication>
#include <QMenu>
#include <QCheckBox>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "analysis/windows/EffectsWindow.h"
#include "analysis/windows/GraphWindows.h"
#include "analysis/windows/SensitivityWindow.h"
#include "analysis/windows/SobolWindow.h"
#include "analysis/windows/StatisticsWindow.h"
#include "app/AppStyle.h"
#include "app/MainWindow.h"
#include "app/SplashWindow.h"
#include "app/WindowRegistry.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "db/DbFile.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "project/windows/RecentFilesWindow.h"
#include "run/windows/ConvergenceWindow.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/LiveFiguresPanel.h"
#include "run/windows/DbInputCalForm.h"
#include "run/windows/OrthogonalTableForm.h"
#include "run/windows/RunOptionsWindow.h"
#include "run/windows/RunWindows.h"
#include "run/windows/SamplingSettingForm.h"
#include "run/windows/ValueWindows.h"
#include "scroll/windows/UserVarForms.h"
#include "ui/GuiUserInterface.h"
#include "ui/LegendWindow.h"
#include "ui/PictureArea.h"
#include "ui/SettingsGrid.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"
#include "workbook/windows/ExeSettingForm.h"
#include "workbook/windows/ReplaceForm.h"
#include "workbook/windows/WriteForm.h"

namespace {

// Messages would cover the view: print them instead.
class QuietUi : public korvane::UserInterface {
public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "tour: %s\n", text.c_str()); }
    bool askYesNo(const std::string&) override { return false; }
    std::string chooseFile(const std::string&, const std::string&, const std::string&, bool) override { return {}; }
    void endApplication(int) override {}
};

std::vector<std::string> SampleProject() {
    return {"Excel File Name    :\\models\\片持ち梁.xlsx",
            "DataBase File Name :\\results\\梁_モンテカルロ.csv",
            "DB Write Mode      :OverWrite",
            "Excel Visible      :0",
            "<<Input Task>>",
            " Input Pram.       :荷重,B2,モデル,0,1000,2000,Round,3",
            " Input Pram.       :長さ,B3,モデル,0.5,1.2,3,Format,#.##",
            " Input Pram.       :材質,B4,モデル,,1,,Replace,Text",
            " Input Pram.       :断面高さ,B5,寸法,,0.1,,Round,4",
            "<<Input Task End>>",
            "<<Input Replace>>",
            " Replace Pram.     :材質,0=鋼,1=アルミ,2=樹脂",
            "<<Input Replace End>>",
            "<<Output Task>>",
            " Output Pram.      :たわみ,D2,結果,,0,0.01",
            " Output Pram.      :最大応力,D3,結果,,0,2.5E+08",
            "<<Output Task End>>",
            "<<Shell Task>>",
            " App.              :\\tools\\準備.sh,0,",
            " App.              :/usr/local/bin/mesh,2,[長さ] [断面高さ]",
            " App.              :\\tools\\集計.sh,6,--append",
            "<<Shell Task End>>",
            "Macro              :Module1.Recalc,Module1.Check",
            "Task Plan          :MonteCarlo",
            "<<MonteCarlo>>",
            " Num of Calc.      :100",
            " Restart Excel     :0",
            " Random Seed       :Random",
            " Var. Param.       :荷重,正規分布,1000,50",
            " Var. Param.       :長さ,一様分布,1.2,0.3",
            "<<MonteCarlo End>>",
            "<<DataFileInput>>",
            " DataFile          :\\data\\荷重ケース.csv",
            " Read Row          :2",
            " Restart Excel     :0",
            " Read. Param.      :0,荷重",
            " Read. Param.      :1,長さ",
            " Read. Param.      :2,断面高さ",
            "<<DataFileInput End>>",
            "<<OrthogonalTable>>",
            " Level             :3水準",
            " Restart Excel     :0",
            " Var. Param.       :荷重,800,1000,1200",
            " Var. Param.       :長さ,1,1.2,1.4",
            " Var. Param.       :断面高さ,0.08,0.1,0.12",
            "<<OrthogonalTable End>>"};
}

// A data file of load cases, longer than the preview shows.
std::vector<std::string> LoadCases() {
    std::vector<std::string> lines{"荷重[N],長さ[m],断面高さ[m],備考"};
    for (int i = 1; i <= 40; ++i)
        lines.push_back(std::to_string(800 + 10 * i) + "," + std::to_string(1.0 + 0.01 * i).substr(0, 4) + "," +
                        (i % 2 ? "0.1" : "0.12") + "," + (i % 5 ? "" : "確認"));
    return lines;
}

// A Saltelli design of the cantilever (the material never varies): the
// initial line, then 400 groups A, B, AB(荷重), AB(長さ), AB(断面高さ) with
// the deflection and the largest stress of a 50 mm wide section.
std::vector<std::string> SaltelliBeam() {
    std::vector<std::string> lines{"Count,荷重,長さ,材質,断面高さ,たわみ,最大応力,Validity(制限判定)",
                                   "-,[Input],[Input],[Input],[Input],[Output],[Output],[System]"};
    std::mt19937_64 random(2010);
    std::uniform_real_distribution<double> unit(0, 1);
    auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.10g", v);
        return std::string(text);
    };
    int count = 0;
    auto line = [&](const std::array<double, 3>& x) {  // load, length, height
        const double load = x[0], length = x[1], height = x[2], width = 0.05, modulus = 2.06e11;
        const double inertia = width * std::pow(height, 3) / 12;
        const double deflection = load * std::pow(length, 3) / (3 * modulus * inertia);
        const double stress = load * length * height / 2 / inertia;
        lines.push_back(std::to_string(++count) + "," + number(load) + "," + number(length) + ",1," +
                        number(height) + "," + number(deflection) + "," + number(stress) + ",True");
    };
    auto draw = [&] {
        return std::array<double, 3>{800 + 400 * unit(random), 0.9 + 0.6 * unit(random),
                                     0.06 + 0.06 * unit(random)};
    };
    line({1000, 1.2, 0.09});
    for (int g = 0; g < 400; ++g) {
        const std::array<double, 3> a = draw(), b = draw();
        line(a);
        line(b);
        for (std::size_t i = 0; i < 3; ++i) {
            std::array<double, 3> ab = a;
            ab[i] = b[i];
            line(ab);
        }
    }
    return lines;
}

// Places a dialog of the tour beside the main window's grids.
void ShowDialog(QDialog* dialog) {
    dialog->setModal(false);
    dialog->move(220, 150);
    dialog->show();
    dialog->raise();
}

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
}

// Moves a bar of the scroll window and waits for its calculation.
void MoveBar(korvane::UserVarForm& form, int row, int position) {
    const long before = form.calculations();
    form.bar(row)->setValue(position);
    QElapsedTimer t;
    t.start();
    while (form.calculations() == before && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The scroll mode on the example model: the start dialog, or the scroll
// window after a few moves of its bars in one of the plot's modes.
int ShowScrollView(QApplication& app, const QString& view, const std::string& folder, const std::string& assets) {
    QDir().mkpath(QString::fromStdString(folder + "/examples"));
    for (const char* f : {"beam.fods", "beam-scroll.tolv"})
        QFile::copy(QString::fromStdString(assets + "/examples/" + f), QString::fromStdString(folder + "/examples/" + f));
    QuietUi ui;
    korvane::RunState state;
#ifdef KORVANE_HAVE_LIBREOFFICE
    korvane::WorkbookLinkFactory factory = [] { return korvane::CreateWorkbookLink(); };
#else
    korvane::WorkbookLinkFactory factory = [] { return std::unique_ptr<korvane::WorkbookLink>(); };
#endif
    korvane::MainWindow main(ui, state, factory, folder);
    main.openProjectPath(folder + "/examples/beam-scroll.tolv");
    main.resize(1280, 770);
    main.move(0, 0);
    main.show();
    if (view == QLatin1String("scroll-start")) {
        auto* start = new korvane::UserVarStartForm(false, false, &main);
        start->show();
        start->move(500, 300);
        return app.exec();
    }
    std::string error;
    korvane::ResetRunArrays(state);
    if (!korvane::LoadProjectForRun(state, main.document().header, main.document().WorkingCopy(), error)) {
        std::fprintf(stderr, "tour: %s\n", error.c_str());
        return 1;
    }
    auto* form = new korvane::UserVarForm(main);
    form->move(330, 20);
    form->show();
    form->start();
    if (!form->ready()) return 1;
    auto check = [&](const char* name) { form->findChild<QCheckBox*>(QString::fromLatin1(name))->click(); };
    form->findChild<QPushButton*>(QStringLiteral("Menu_Cmnd"))->click();
    if (view == QLatin1String("scroll-trajectory")) {
        check("Kiseki_Check");
        for (int p : {30, 40, 50, 60, 70}) MoveBar(*form, 0, p);
        for (int p : {40, 30, 20}) MoveBar(*form, 3, p);
    } else if (view == QLatin1String("scroll-peak")) {
        check("Peak_Hold_Check1");
        check("Value_Label_Vis1");
        for (int p : {80, 20, 50}) MoveBar(*form, 0, p);
        for (int p : {80, 30, 45}) MoveBar(*form, 1, p);
        form->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        korvane::PictureArea* picture = form->findChild<korvane::PictureArea*>(QStringLiteral("Picture1"));
        const QPointF at = picture->toPixel(1.5, 0.55);
        QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(picture, &move);
    } else {
        MoveBar(*form, 0, 62);
        form->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    }
    return app.exec();
}

// Passes the DB file's lines to the window as a run writes them; the first
// `lines` of them (all for 0). False when the file cannot be read.
bool FeedRunLines(korvane::MainWindow& main, const std::string& path, std::size_t lines) {
    std::vector<std::string> text;
    std::string error;
    korvane::DbHeader header;
    if (!korvane::ReadTextLines(path, text, error) || !korvane::ReadDbHeader(path, header, error)) {
        std::fprintf(stderr, "tour: %s\n", error.c_str());
        return false;
    }
    const std::vector<std::size_t> outputs = header.outputColumns();
    std::vector<std::string> names;
    for (std::size_t k : outputs) names.push_back(header.names[k]);
    main.linesBegin(names);
    std::vector<std::string> values(outputs.size());
    for (std::size_t i = 2; i < text.size() && (lines == 0 || i < lines + 2); ++i) {
        const std::vector<std::string> fields = korvane::SplitDbFields(text[i]);
        for (std::size_t k = 0; k < outputs.size(); ++k) values[k] = outputs[k] < fields.size() ? fields[outputs[k]] : "";
        main.lineWritten(values, fields.empty() || fields.back() != "False");
    }
    return true;
}

// The analysis windows over the main window, on real DB files.
int ShowAnalysis(QApplication& app, const QString& view, korvane::UserInterface& ui, korvane::MainWindow& main,
                 const std::string& mc, const std::string& oa) {
    if (view == QLatin1String("stats") || view == QLatin1String("histogram")) {
        auto* stats = new korvane::StatisticsWindow(ui, mc, false, &main);
        stats->move(40, 60);
        stats->resize(640, 330);
        stats->show();
        if (view == QLatin1String("histogram")) {
            QTimer::singleShot(1000, stats, [stats] {
                // The row of the stress (応力), the seventh column.
                stats->findChild<QTableWidget*>(QStringLiteral("CellsGrid"))->setCurrentCell(6, 0);
                stats->Histogram_Menu();
                if (auto* h = stats->histogram()) h->move(560, 300);
            });
        }
    } else if (view == QLatin1String("sens")) {
        auto* sens = new korvane::SensitivityWindow(ui, mc, false, &main);
        sens->move(40, 60);
        sens->show();
        QTimer::singleShot(1000, sens, [sens] {
            // 応力 to be minimised, 質量 too: the total column fills.
            auto* grid = sens->findChild<QTableWidget*>(QStringLiteral("CellsGrid"));
            auto* combo = sens->findChild<QComboBox*>(QStringLiteral("DsnObj_Combo"));
            for (int column : {3, 1}) {
                grid->setCurrentCell(0, column);
                emit grid->cellClicked(0, column);
                combo->setCurrentIndex(2);
                emit combo->activated(2);
            }
            grid->setCurrentCell(3, 1);
        });
    } else if (view.startsWith(QLatin1String("effects"))) {
        auto* effects = new korvane::EffectsWindow(ui, oa, &main);
        effects->move(60, 20);
        effects->resize(900, 760);
        effects->show();
        if (view == QLatin1String("effects-all"))
            effects->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    } else {
        auto* graphs = new korvane::GraphContainer(ui, &main);
        graphs->move(20, 20);
        graphs->resize(1240, 740);
        graphs->setDbPath(mc);
        auto* x = graphs->findChild<QComboBox*>(QStringLiteral("X_Combo"));
        auto* y = graphs->findChild<QComboBox*>(QStringLiteral("Y_Combo"));
        graphs->show();
        // Stress over load, coloured by verdict; deflection over length.
        x->setCurrentIndex(1);
        y->setCurrentIndex(7);
        graphs->findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(true);
        if (auto* g = graphs->Create_Graph()) g->parentWidget()->setGeometry(0, 0, 560, 430);
        x->setCurrentIndex(2);
        y->setCurrentIndex(8);
        graphs->findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(false);
        if (auto* g = graphs->Create_Graph()) {
            g->parentWidget()->setGeometry(400, 200, 560, 430);
            g->showEditFrame(true);
        }
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvane::ApplyJapaneseFont(app);
    const QString view = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tab0");
    QTimer::singleShot(60000, &app, &QApplication::quit);

    // A throwaway application folder with the sample project and its files;
    // the pictures come from the built application folder.
    QTemporaryDir home;
    const std::string folder = home.path().toStdString();
    korvane::SetAppFolder(folder);
    const std::string assets = (QCoreApplication::applicationDirPath() + QStringLiteral("/../app")).toStdString();
    Touch(home.path() + QStringLiteral("/models/片持ち梁.xlsx"));
    Touch(home.path() + QStringLiteral("/results/梁_モンテカルロ.csv"));
    std::string error;
    const std::string project = folder + "/梁_モンテカルロ.tolv";
    korvane::WriteTextFileAtomic(project, SampleProject(), error);

    if (view.startsWith(QLatin1String("scroll-"))) return ShowScrollView(app, view, folder, assets);

    QuietUi ui;
    korvane::RunState state;
    korvane::MainWindow main(ui, state, [] { return std::unique_ptr<korvane::WorkbookLink>(); }, folder);
    main.openProjectPath(project);
    main.resize(1280, 770);
    main.move(0, 0);

    if (view == QLatin1String("splash") || view == QLatin1String("version")) {
        auto* splash = new korvane::SplashWindow(view == QLatin1String("splash")
                                                     ? korvane::SplashWindow::Mode::StartUp
                                                     : korvane::SplashWindow::Mode::Version);
        if (view == QLatin1String("version")) main.show();
        splash->move(340, 280);
        splash->show();
        return app.exec();
    }

    if (view == QLatin1String("sobol")) {
        const std::string db = folder + "/results/梁_Saltelli.csv";
        if (!korvane::WriteTextFileAtomic(db, SaltelliBeam(), error)) {
            std::fprintf(stderr, "tour: %s\n", error.c_str());
            return 1;
        }
        main.show();
        auto* sobol = new korvane::SobolWindow(ui, db, false, &main);
        sobol->move(40, 60);
        sobol->show();
        return app.exec();
    }

    if (view == QLatin1String("live") || view == QLatin1String("convergence") ||
        view == QLatin1String("current-live")) {
        const char* mc = std::getenv("KORVANE_TOUR_MC_DB");
        if (!mc) {
            std::fprintf(stderr, "tour: set KORVANE_TOUR_MC_DB\n");
            return 1;
        }
        // A run of 200 calculations, 150 of them written.
        if (!FeedRunLines(main, mc, 150)) return 1;
        main.setProgressMaximum(200);
        main.showProgress(150, 150, "150/200");
        main.show();
        if (view == QLatin1String("convergence")) {
            auto* panel = main.findChild<korvane::LiveFiguresPanel*>(QStringLiteral("Convergence_Frame"));
            if (auto* chart = panel->openConvergence()) chart->move(300, 140);
        } else if (view == QLatin1String("current-live")) {
            state.PlanName = "MonteCarlo";
            state.CalcTotal = "200";
            state.CalcCount = 151;
            auto* w = new korvane::CurrentValueForm(main, &main);
            w->move(200, 60);
            w->show();
        }
        return app.exec();
    }

    if (view == QLatin1String("stats") || view == QLatin1String("histogram") || view == QLatin1String("sens") ||
        view.startsWith(QLatin1String("effects")) || view == QLatin1String("graph")) {
        const char* mc = std::getenv("KORVANE_TOUR_MC_DB");
        const char* oa = std::getenv("KORVANE_TOUR_OA_DB");
        if (!mc || !oa) {
            std::fprintf(stderr, "tour: set KORVANE_TOUR_MC_DB and KORVANE_TOUR_OA_DB\n");
            return 1;
        }
        main.show();
        return ShowAnalysis(app, view, ui, main, mc, oa);
    }

    // A run in progress, as the progress display shows it.
    main.setProgressMaximum(100);
    main.showProgress(25, 25, "25/100");
    main.show();
    if (view.startsWith(QLatin1String("tab"))) {
        main.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(view.mid(3).toInt());
    } else if (view == QLatin1String("end")) {
        korvane::RunObserver::EndCounts counts;
        counts.startTime = "2026/12/06   9:05:03";
        counts.endTime = "2026/12/06   9:12:47";
        counts.all = 100;
        counts.valid = 87;
        counts.invalid = 13;
        counts.haveShare = true;
        counts.validShare = 0.87;
        korvane::RunState unread;
        unread.UnreadableCalcs = 3;
        unread.FirstUnreadable = "セル Model!B10 の値がエラーです (#DIV/0!)。";
        counts.unreadableNote = korvane::UnreadableNote(unread);
        auto* end = new korvane::EndWindow(counts, &main);
        end->show();
    } else if (view == QLatin1String("pause")) {
        (new korvane::PauseWindow(&main))->show();
    } else if (view == QLatin1String("run-options")) {
        korvane::RunOptions options;
        options.workers = 3;
        options.calcTimeoutSeconds = 600;
        (new korvane::RunOptionsWindow(ui, folder, options, &main))->show();
    } else if (view == QLatin1String("run-menu")) {
        auto* menu = main.findChild<QMenu*>(QStringLiteral("Execution"));
        menu->popup(main.mapToGlobal(QPoint(200, 30)));
    } else if (view == QLatin1String("recent")) {
        korvane::WriteTextFileAtomic(folder + "/Recent.dat", {"\\梁_モンテカルロ.tolv", "/home/user/古い計算.tolv"},
                                     error);
        auto* recent = new korvane::RecentFilesWindow(main.recentFiles(), ui, [](const std::string&) {}, &main);
        recent->show();
        // An entry selected, so the status bar shows its dates.
        auto* list = recent->findChild<QListWidget*>(QStringLiteral("List1"));
        list->setCurrentRow(0);
        emit list->itemClicked(list->item(0));
    } else if (view.startsWith(QLatin1String("write-"))) {
        korvane::WindowRequest request;
        request.editTarget = view == QLatin1String("write-output") ? "Out" : "Inp";
        if (view == QLatin1String("write-input")) request.row = {"長さ", "B3", "モデル", "Format,#.##"};
        if (view == QLatin1String("write-output")) {
            request.row = {"たわみ", "D2", "結果"};
            main.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(3);
        }
        request.gridRow = 0;
        ShowDialog(new korvane::WriteForm(main, request, &main));
    } else if (view == QLatin1String("exe")) {
        main.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(4);
        korvane::WindowRequest request;
        request.row = {"/usr/local/bin/mesh", "[長さ] [断面高さ]"};
        request.deleteEnabled = true;
        request.gridRow = 3;
        ShowDialog(new korvane::ExeSettingForm(main, request, &main));
    } else if (view == QLatin1String("replace")) {
        main.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(1);
        korvane::WindowRequest request;
        request.row = {"材質", "0=鋼,1=アルミ,2=樹脂"};
        request.gridRow = 0;
        ShowDialog(new korvane::ReplaceForm(main, request, &main));
    } else if (view == QLatin1String("initial") || view == QLatin1String("restriction")) {
        auto* w = new korvane::ValueWindow(main,
                                           view == QLatin1String("initial") ? korvane::ValueWindow::Kind::Initial
                                                                            : korvane::ValueWindow::Kind::Restriction,
                                           &main);
        ShowDialog(w);
        // A value being typed.
        w->grid()->beginEdit(1, 1);
    } else if (view.startsWith(QLatin1String("sampling"))) {
        // A sampling method, a correlation and a precision target to show.
        korvane::SamplingSettings sampling;
        sampling.method = korvane::method::Sobol;
        sampling.correlations = {{"荷重", "長さ", "0.6"}};
        sampling.hasPrecision = true;
        sampling.precision = {"最大応力", "0.01", "95"};
        main.document().RewriteSampling(sampling);
        auto* w = new korvane::SamplingSettingForm(main, &main);
        ShowDialog(w);
        if (view == QLatin1String("sampling-seed"))
            w->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        else
            w->grid()->beginEdit(1, 2);  // the distribution chooser over its cell
    } else if (view == QLatin1String("orthogonal")) {
        for (const char* name : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
            QFile::copy(QString::fromStdString(assets + "/" + name), QString::fromStdString(folder + "/" + name));
        auto* w = new korvane::OrthogonalTableForm(main, &main);
        ShowDialog(w);
        w->move(60, 120);
        w->Make_TableCommand_Click();
    } else if (view == QLatin1String("datafile")) {
        QDir().mkpath(home.path() + QStringLiteral("/data"));
        korvane::WriteTextFileAtomic(folder + "/data/荷重ケース.csv", LoadCases(), error);
        auto* w = new korvane::DbInputCalForm(main, &main);
        ShowDialog(w);
        w->move(160, 110);
    } else if (view == QLatin1String("current")) {
        // After a Monte Carlo run of 100 calculations.
        state.PlanName = "MonteCarlo";
        state.CalcTotal = "100";
        state.CalcCount = 101;
        const char* values[][2] = {{"荷重", "1043.82"}, {"長さ", "1.31"}, {"材質", "1"}, {"断面高さ", "0.1"}};
        for (const auto& v : values) {
            const std::size_t i = korvane::AddInputVariable(state, v[0], "B2", "モデル", "", 0, "", "Round", "3");
            state.InputValues[i] = v[1];
        }
        auto* w = new korvane::CurrentValueForm(main, &main);
        w->move(200, 150);
        w->show();
    } else if (view == QLatin1String("notice")) {
        static korvane::GuiUserInterface gui;
        gui.setParentWindow(&main);
        const std::vector<korvane::CheckFinding> findings{
            {"モデル!B7", "#NAME? 関数 TEXTBEFORE は LibreOffice にありません (=TEXTBEFORE(A7;\"-\"))。LEFT と SEARCH で"
                          "書いてください (例: =LEFT(A1;SEARCH(\"-\";A1)-1))。"},
            {"モデル!C7", "#NAME? エラーのセル モデル!B7 を参照しています (=B7&\"mm\")。参照先のセルを直せばこのセルも直ります。"},
            {"Module1:42", "-x ^ 2 は Excel (VBA) では -(x ^ 2)、LibreOffice Basic では (-x) ^ 2 と計算され、結果が黙って"
                           "変わります。-(x ^ 2) と括弧を付けて書いてください。"},
            {"Module1:57", "Debug.Print は LibreOffice では実行時エラー 91 (Object variable not set) になり、マクロがそこで"
                           "止まります。その行を消すか、先頭に ' を付けてコメントにしてください。"}};
        gui.showNotice(korvane::CheckWarning(findings));
    } else if (view.startsWith(QLatin1String("legend-"))) {
        const char* file = view == QLatin1String("legend-flow")   ? "Calc_Flow.BMP"
                           : view == QLatin1String("legend-dist") ? "Dstbt1.BMP"
                                                                  : "Replace.BMP";
        auto* legend = new korvane::LegendWindow(&main);
        if (!legend->loadPicture(QString::fromStdString(assets + "/legend_files/" + file))) {
            std::fprintf(stderr, "tour: legend picture missing (build the assets first)\n");
            return 1;
        }
        legend->show();
    }
    return app.exec();
}
