// Shows one view of the program with a sample project, for screenshots:
//   korvane_screen_tour VIEW
// VIEW: splash, version, tab0 .. tab4 (入力操作 .. exe実行), end, pause,
// run-options, run-menu, recent, legend-flow, legend-dist, legend-replace, and the analysis windows
// stats, histogram, sens, effects, effects-all, graph on the DB files named by
// KORVANE_TOUR_MC_DB (a Monte Carlo run) and KORVANE_TOUR_OA_DB (an
// orthogonal-array run). The view stays on the screen until the process is
// ended (at most a minute).
#include <QApplication>
#include <QMenu>
#include <QCheckBox>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "AppStyle.h"
#include "analysis/windows/EffectsWindow.h"
#include "analysis/windows/GraphWindows.h"
#include "analysis/windows/SensitivityWindow.h"
#include "analysis/windows/StatisticsWindow.h"
#include "LegendWindow.h"
#include "MainWindow.h"
#include "RecentFilesWindow.h"
#include "RunWindows.h"
#include "SplashWindow.h"
#include "run/windows/RunOptionsWindow.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "workbook/WorkbookLink.h"

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
            "<<MonteCarlo End>>",
            "<<DataFileInput>>",
            " DataFile          :",
            " Read Row          :2",
            " Restart Excel     :0",
            "<<DataFileInput End>>",
            "<<OrthogonalTable>>",
            " Level             :3水準",
            " Restart Excel     :0",
            "<<OrthogonalTable End>>"};
}

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
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
