#include "platform/libreoffice/LibreOfficeLink.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/script/provider/ScriptFrameworkErrorException.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>

#include "platform/libreoffice/CellBlocks.h"
#include "platform/libreoffice/DocumentMacros.h"
#include "platform/libreoffice/FormulaErrors.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookFile.h"
#include "platform/libreoffice/LibreOfficeProcess.h"
#include "platform/libreoffice/UnoAccess.h"
#include "project/NumberText.h"
#include "workbook/WorkbookCheck.h"

#ifndef KORVANE_LO_PROGRAM_DIR
#define KORVANE_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace korvane {

using namespace ::com::sun::star;
using lo::Block;
using lo::ErrorValueText;
using lo::Position;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

OUString ToOU(const std::string& s) {
    return rtl::OStringToOUString(rtl::OString(s.data(), static_cast<sal_Int32>(s.size())),
                                  RTL_TEXTENCODING_UTF8);
}

std::string ToStd(const OUString& s) {
    rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<std::size_t>(o.getLength()));
}

// The first line of an exception message, without the source position that
// LibreOffice appends (" at ./sc/source/...").
std::string Detail(const uno::Exception& e) {
    std::string text = ToStd(e.Message);
    auto at = text.find(" at ./");
    if (at != std::string::npos) text.erase(at);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

css::beans::PropertyValue Prop(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// The largest sheet any supported file format holds; LibreOffice refuses
// what lies beyond its own sheet size with a message of its own.
constexpr std::int64_t kMaxRows = 1048576;
constexpr std::int32_t kMaxColumns = 16384;

std::string CellLabel(const CellRef& cell) {
    std::string address = !cell.address.empty() ? cell.address : CellAddress(cell.row, cell.column);
    if (address.empty()) address = "R" + std::to_string(cell.row) + "C" + std::to_string(cell.column);
    return cell.sheet + "!" + address;
}

std::string SameFileKey(const std::string& path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : canonical.string();
}

// The local UNO environment, made once per process. The type library of the
// office API must be named before bootstrap (Desktop::create fails without).
Reference<uno::XComponentContext> LocalContext(const std::string& programDir, std::string& error) {
    static std::mutex mutex;
    static Reference<uno::XComponentContext> context;
    static std::string failure;
    std::lock_guard<std::mutex> lock(mutex);
    if (context.is()) return context;
    if (!failure.empty()) {
        error = failure;
        return {};
    }
    // A write to the pipe of an instance that has just died must give an
    // error, not end this process.
    signal(SIGPIPE, SIG_IGN);
    try {
        OUString types;
        osl::FileBase::getFileURLFromSystemPath(ToOU(programDir + "/types/offapi.rdb"), types);
        rtl::Bootstrap::set("URE_MORE_TYPES", types);
        context = cppu::defaultBootstrap_InitialComponentContext();
    } catch (const uno::Exception& e) {
        failure = "LibreOffice の UNO 環境を準備できません: " + Detail(e);
    } catch (...) {
        failure = "LibreOffice の UNO 環境を準備できません。";
    }
    if (!context.is()) {
        if (failure.empty()) failure = "LibreOffice の UNO 環境を準備できません。";
        error = failure;
    }
    return context;
}

// Kills a process group unless cancelled in time: keeps a quit from hanging
// on an instance that no longer answers.
class Watchdog {
public:
    Watchdog(pid_t group, int milliseconds) : group_(group) {
        thread_ = std::thread([this, milliseconds] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return done_; }))
                ::kill(-group_, SIGKILL);
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    pid_t group_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

struct RangeKey {
    std::string sheet;
    Block block;
    bool operator<(const RangeKey& o) const {
        if (sheet != o.sheet) return sheet < o.sheet;
        const Block &a = block, &b = o.block;
        if (a.top != b.top) return a.top < b.top;
        if (a.left != b.left) return a.left < b.left;
        if (a.bottom != b.bottom) return a.bottom < b.bottom;
        return a.right < b.right;
    }
};

struct CellKey {
    std::string sheet;
    std::int32_t row, column;
    bool operator<(const CellKey& o) const {
        if (sheet != o.sheet) return sheet < o.sheet;
        if (row != o.row) return row < o.row;
        return column < o.column;
    }
};

}  // namespace

// ====================================================================== Impl

struct LibreOfficeLink::Impl {
    struct Range {
        Reference<table::XCellRange> range;
        Reference<sheet::XCellRangeData> data;
        Reference<sheet::XCellRangeFormula> formula;
    };

    struct Workbook {
        std::string path;
        Reference<lang::XComponent> component;
        Reference<container::XNameAccess> sheets;
        Reference<sheet::XCalculatable> calculation;
        bool loadedHidden = true;
        std::map<std::string, Reference<sheet::XSpreadsheet>> sheetCache;
        std::map<RangeKey, Range> rangeCache;
        std::map<CellKey, Reference<beans::XPropertySet>> cellProperties;
        Reference<util::XNumberFormats> formats;
        std::map<sal_Int32, bool> logicalFormats;
        Reference<sheet::XSpreadsheetView> view;
        Reference<view::XSelectionSupplier> selection;
        std::string activeSheet;   // last made active through this link
        std::string pendingSheet;  // to be made active before it matters
        std::string lastActiveCell;
        std::shared_ptr<lo::DocumentMacros> macros;
        std::optional<bool> automatic;  // as last set through this link
        // What this link wrote, last text per cell, to carry the state over
        // when the instance must be started again with a window.
        std::vector<CellWrite> written;
        std::map<CellKey, std::size_t> writtenIndex;
    };

    explicit Impl(const WorkbookLinkOptions& o)
        : options(o),
          programDir(o.programFolder.empty() ? std::string(KORVANE_LO_PROGRAM_DIR) : o.programFolder),
          process(programDir, o.tempFolder) {}

    WorkbookLinkOptions options;
    std::string programDir;
    lo::OfficeProcess process;
    Reference<uno::XComponentContext> remote;
    Reference<frame::XDesktop2> desktop;
    bool wantVisible = false;
    bool started = false;
    bool withWindow = false;
    bool dead = false;
    std::string deadMessage;
    std::string error;
    std::vector<Workbook> workbooks;  // the last one is the one addressed

    // ------------------------------------------------------------ failures

    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    void releaseAll() {
        workbooks.clear();
        desktop.clear();
        remote.clear();
    }

    // The instance is gone: keep the reason, drop every reference and leave
    // no process behind.
    bool markDead(const std::string& processMessage) {
        dead = true;
        deadMessage = "LibreOffice が終了したため続行できません" +
                      (processMessage.empty() ? std::string() : " (" + processMessage + ")") + "。";
        releaseAll();
        process.stop();
        return fail(deadMessage);
    }

    // A UNO failure during `what`: the instance died, or it refused.
    bool failUno(const std::string& what, const uno::Exception& e) {
        const std::string message = ToStd(e.Message);
        const bool bridgeGone = message.find("URP bridge") != std::string::npos;
        // The pipe closes as the process dies, a moment before its end can
        // be seen: give it that moment before telling the two cases apart.
        std::string processMessage;
        for (int i = 0; i < (bridgeGone ? 50 : 1); ++i) {
            if (!process.poll(processMessage)) return markDead(processMessage);
            if (bridgeGone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (bridgeGone) return markDead("接続が切れました");
        const std::string detail = Detail(e);
        return fail(what + (detail.empty() ? std::string() : ": " + detail));
    }

    // The instance answers calls: started, not dead, process alive.
    bool ready() {
        if (dead) return fail(deadMessage);
        if (!started) return fail("LibreOffice が起動していません。");
        std::string processMessage;
        if (!process.poll(processMessage)) return markDead(processMessage);
        return true;
    }

    Workbook* active() {
        if (!ready()) return nullptr;
        if (workbooks.empty()) {
            fail("ブックが開かれていません。");
            return nullptr;
        }
        return &workbooks.back();
    }

    // ------------------------------------------------------------ instance

    bool start(bool visible) {
        if (started || process.pid() > 0) quitInstance();
        dead = false;
        deadMessage.clear();
        if (visible && !lo::DisplayAvailable())
            return fail("画面 (DISPLAY) がないため LibreOffice のウィンドウを表示できません。");
        wantVisible = visible;
        std::string message;
        Reference<uno::XComponentContext> local = LocalContext(programDir, message);
        if (!local.is()) return fail(message);
        if (!process.start(visible, message)) return fail(message);
        try {
            auto resolver = bridge::UnoUrlResolver::create(local);
            const OUString url = ToOU(process.connectString());
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::milliseconds(options.startTimeoutMs);
            for (;;) {
                try {
                    remote.set(resolver->resolve(url), UNO_QUERY_THROW);
                    break;
                } catch (const connection::NoConnectException&) {
                }
                if (!process.poll(message)) {
                    std::string log = process.logTail();
                    process.stop();
                    return fail("LibreOffice を起動できません (" + message + ")。" +
                                (log.empty() ? std::string() : "\n" + log));
                }
                if (std::chrono::steady_clock::now() >= until) {
                    process.stop();
                    return fail("LibreOffice が " + std::to_string(options.startTimeoutMs / 1000) +
                                " 秒以内に起動しませんでした。");
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            desktop = frame::Desktop::create(remote);
        } catch (const uno::Exception& e) {
            releaseAll();
            process.stop();
            return fail("LibreOffice に接続できません: " + Detail(e));
        }
        started = true;
        withWindow = visible;
        return true;
    }

    void closeWorkbook(Workbook& wb) {
        try {
            Reference<util::XCloseable> closeable(wb.component, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            else if (wb.component.is())
                wb.component->dispose();
        } catch (const uno::Exception&) {
            // Vetoed or already gone: the instance is ended anyway.
        }
    }

    void quitInstance() {
        if (started && !dead && process.pid() > 0) {
            // An instance that hangs (a dialog of a macro, say) must not hang
            // the quit: its group is killed after a while.
            Watchdog watchdog(process.pid(), 10000);
            for (auto& wb : workbooks) closeWorkbook(wb);
            workbooks.clear();
            bool ended = false;
            try {
                ended = desktop.is() && desktop->terminate();
            } catch (const uno::Exception&) {
                ended = true;  // the bridge went down with the process
            }
            releaseAll();
            if (ended) process.waitExit(5000);
        }
        releaseAll();
        process.stop();
        started = false;
        withWindow = false;
    }

    // ------------------------------------------------------------ windows

    bool ensureView(Workbook& wb) {
        if (wb.view.is() && wb.selection.is()) return true;
        Reference<frame::XModel> model(wb.component, UNO_QUERY_THROW);
        Reference<frame::XController> controller = model->getCurrentController();
        if (!controller.is()) return false;
        wb.view.set(controller, UNO_QUERY);
        wb.selection.set(controller, UNO_QUERY);
        return wb.view.is() && wb.selection.is();
    }

    void showWindow(Workbook& wb, bool show) {
        Reference<frame::XModel> model(wb.component, UNO_QUERY_THROW);
        Reference<frame::XController> controller = model->getCurrentController();
        if (!controller.is()) return;
        Reference<frame::XFrame> frame = controller->getFrame();
        Reference<awt::XWindow> window = frame->getContainerWindow();
        if (!show) {
            window->setVisible(false);
            return;
        }
        window->setVisible(true);
        if (wb.loadedHidden) {
            // A document loaded hidden gets no menus or toolbars of its own.
            Reference<beans::XPropertySet> frameProps(frame, UNO_QUERY);
            Reference<frame::XLayoutManager> layout;
            if (frameProps.is()) frameProps->getPropertyValue("LayoutManager") >>= layout;
            if (layout.is()) {
                layout->setVisible(true);
                for (const char* element :
                     {"private:resource/menubar/menubar", "private:resource/toolbar/standardbar",
                      "private:resource/toolbar/formatobjectbar", "private:resource/toolbar/findbar",
                      "private:resource/statusbar/statusbar"}) {
                    layout->createElement(OUString::createFromAscii(element));
                    layout->showElement(OUString::createFromAscii(element));
                }
                layout->doLayout();
            }
            wb.loadedHidden = false;
        }
        // Without this the shown window takes no keyboard input.
        Reference<awt::XTopWindow> top(window, UNO_QUERY);
        if (top.is()) top->toFront();
        frame->activate();
        window->setFocus();
    }

    bool setVisible(bool visible) {
        if (!started && !dead) {
            wantVisible = visible;
            return true;
        }
        if (!ready()) return false;
        if (visible && !lo::DisplayAvailable())
            return fail("画面 (DISPLAY) がないため LibreOffice のウィンドウを表示できません。");
        if (visible && !withWindow) return restartWithWindow();
        wantVisible = visible;
        if (!withWindow) return true;
        try {
            for (auto& wb : workbooks) showWindow(wb, visible);
        } catch (const uno::Exception& e) {
            wantVisible = !visible;
            return failUno(visible ? "LibreOffice のウィンドウを表示できません"
                                   : "LibreOffice のウィンドウを隠せません",
                           e);
        }
        return true;
    }

    // A hidden instance runs headless and can never show a window: it is
    // started again with one, and the open workbooks are opened again with
    // what this link wrote into them and their calculation mode.
    bool restartWithWindow() {
        struct Saved {
            std::string path;
            std::vector<CellWrite> written;
            std::optional<bool> automatic;
            std::string activeSheet;
        };
        std::vector<Saved> saved;
        for (auto& wb : workbooks)
            saved.push_back({wb.path, wb.written, wb.automatic,
                             wb.pendingSheet.empty() ? wb.activeSheet : wb.pendingSheet});
        quitInstance();
        if (!start(true)) return false;
        for (auto& s : saved) {
            if (!open(s.path)) return false;
            if (!s.written.empty() && !writeCells(s.written)) return false;
            if (s.automatic && !setCalculation(*s.automatic)) return false;
            if (!s.activeSheet.empty() && !activateSheet(s.activeSheet)) return false;
        }
        return true;
    }

    // ------------------------------------------------------------ workbooks

    bool open(const std::string& path) {
        if (!started && !dead && !start(wantVisible)) return false;
        if (!ready()) return false;
        std::error_code ec;
        const std::string absolute = std::filesystem::absolute(path, ec).string();
        if (const std::string problem = WorkbookFileProblem(absolute); !path.empty() && !problem.empty())
            return fail(problem);
        if (path.empty() || !std::filesystem::is_regular_file(absolute, ec))
            return fail("ブックが見つかりません: " + path);
        OUString url;
        if (osl::FileBase::getFileURLFromSystemPath(ToOU(absolute), url) != osl::FileBase::E_None)
            return fail("ブックを開けません: " + path);
        const bool hidden = !(withWindow && wantVisible);
        Sequence<beans::PropertyValue> props(4);
        props.getArray()[0] = Prop("Hidden", Any(hidden));
        props.getArray()[1] = Prop("ReadOnly", Any(true));
        props.getArray()[2] = Prop("MacroExecutionMode", Any(document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN));
        props.getArray()[3] = Prop("UpdateDocMode", Any(document::UpdateDocMode::NO_UPDATE));
        Workbook wb;
        wb.path = path;
        wb.loadedHidden = hidden;
        try {
            wb.component = desktop->loadComponentFromURL(url, "_blank", 0, props);
        } catch (const lang::IllegalArgumentException& e) {
            return fail("ブックを開けません: " + path + " (" + Detail(e) + ")");
        } catch (const uno::Exception& e) {
            return failUno("ブックを開けません: " + path, e);
        }
        if (!wb.component.is()) return fail("ブックを開けません: " + path);
        try {
            Reference<sheet::XSpreadsheetDocument> doc(wb.component, UNO_QUERY);
            if (!doc.is()) {
                closeWorkbook(wb);
                return fail("表計算のブックではありません: " + path);
            }
            // Opened read-only, so that nothing (not even a macro) can store
            // over the file; range writes must be allowed explicitly then.
            // No undo and no row height fitting: both only cost time here.
            Reference<beans::XPropertySet> docProps(wb.component, UNO_QUERY_THROW);
            for (const char* name : {"IsChangeReadOnlyEnabled", "IsUndoEnabled", "IsAdjustHeightEnabled"}) {
                try {
                    docProps->setPropertyValue(OUString::createFromAscii(name),
                                               Any(std::string(name) == "IsChangeReadOnlyEnabled"));
                } catch (const beans::UnknownPropertyException&) {
                }
            }
            wb.sheets.set(doc->getSheets(), UNO_QUERY_THROW);
            wb.calculation.set(wb.component, UNO_QUERY_THROW);
            Reference<util::XNumberFormatsSupplier> formats(wb.component, UNO_QUERY_THROW);
            wb.formats = formats->getNumberFormats();
            workbooks.push_back(std::move(wb));
            if (!hidden) showWindow(workbooks.back(), true);
        } catch (const uno::Exception& e) {
            return failUno("ブックを開けません: " + path, e);
        }
        return true;
    }

    bool closeWorkbooks() {
        if (workbooks.empty()) return dead ? fail(deadMessage) : true;
        if (!ready()) return false;
        for (auto& wb : workbooks) closeWorkbook(wb);
        workbooks.clear();
        return ready();
    }

    // The sheet of that name, from the cache or looked up once.
    Reference<sheet::XSpreadsheet> sheet(Workbook& wb, const std::string& name) {
        auto it = wb.sheetCache.find(name);
        if (it != wb.sheetCache.end()) return it->second;
        Reference<sheet::XSpreadsheet> found;
        try {
            wb.sheets->getByName(ToOU(name)) >>= found;
        } catch (const container::NoSuchElementException&) {
        }
        if (!found.is()) {
            fail("シート「" + name + "」が見つかりません (" + wb.path + ")。");
            return {};
        }
        wb.sheetCache[name] = found;
        return found;
    }

    Range& range(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh, const std::string& sheetName,
                 const Block& b) {
        RangeKey key{sheetName, b};
        auto it = wb.rangeCache.find(key);
        if (it != wb.rangeCache.end()) return it->second;
        Range r;
        r.range = sh->getCellRangeByPosition(b.left, b.top, b.right, b.bottom);
        wb.rangeCache[key] = r;
        return wb.rangeCache[key];
    }

    static bool InSheet(const CellRef& c) {
        return c.row >= 1 && c.row <= kMaxRows && c.column >= 1 && c.column <= kMaxColumns;
    }

    // The sheet names in order of first appearance, each with its entries.
    template <class T, class SheetOf>
    static std::vector<std::pair<std::string, std::vector<std::size_t>>> BySheet(const std::vector<T>& items,
                                                                                 SheetOf sheetOf) {
        std::vector<std::pair<std::string, std::vector<std::size_t>>> groups;
        std::map<std::string, std::size_t> index;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::string& name = sheetOf(items[i]);
            auto [it, added] = index.emplace(name, groups.size());
            if (added) groups.push_back({name, {}});
            groups[it->second].second.push_back(i);
        }
        return groups;
    }

    bool writeCells(const std::vector<CellWrite>& writes) {
        Workbook* wb = active();
        if (!wb) return false;
        auto groups = BySheet(writes, [](const CellWrite& w) -> const std::string& { return w.cell.sheet; });
        std::string doing;
        try {
            for (auto& [sheetName, entries] : groups) {
                doing = "シート「" + sheetName + "」への書込";
                Reference<sheet::XSpreadsheet> sh = sheet(*wb, sheetName);
                if (!sh.is()) return false;
                // The last text per cell wins, as with one write after another.
                std::map<std::pair<std::int32_t, std::int32_t>, const CellWrite*> texts;
                for (std::size_t i : entries) {
                    const CellWrite& w = writes[i];
                    if (!InSheet(w.cell)) return fail("セル " + CellLabel(w.cell) + " はシートの範囲外です。");
                    texts[{static_cast<std::int32_t>(w.cell.row - 1), w.cell.column - 1}] = &w;
                }
                std::vector<Position> positions;
                for (auto& [pos, w] : texts) positions.push_back(Position{pos.first, pos.second});
                for (const Block& b : ExactBlocks(positions)) {
                    const CellWrite* first = texts[{b.top, b.left}];
                    doing = "セル " + CellLabel(first->cell) + " への書込";
                    Range& r = range(*wb, sh, sheetName, b);
                    if (!r.formula.is()) r.formula.set(r.range, UNO_QUERY_THROW);
                    Sequence<Sequence<OUString>> rows(b.rows());
                    for (std::int32_t row = 0; row < b.rows(); ++row) {
                        Sequence<OUString> line(b.columns());
                        for (std::int32_t col = 0; col < b.columns(); ++col)
                            line.getArray()[col] = ToOU(texts[{b.top + row, b.left + col}]->text);
                        rows.getArray()[row] = line;
                    }
                    r.formula->setFormulaArray(rows);
                }
                for (auto& [pos, w] : texts) remember(*wb, *w);
            }
        } catch (const lang::IndexOutOfBoundsException&) {
            return fail(doing + ": セルがシートの範囲外です。");
        } catch (const uno::Exception& e) {
            return failUno(doing + "に失敗しました", e);
        }
        return true;
    }

    void remember(Workbook& wb, const CellWrite& w) {
        CellKey key{w.cell.sheet, static_cast<std::int32_t>(w.cell.row), w.cell.column};
        auto it = wb.writtenIndex.find(key);
        if (it != wb.writtenIndex.end()) {
            wb.written[it->second].text = w.text;
        } else {
            wb.writtenIndex[key] = wb.written.size();
            wb.written.push_back(w);
        }
    }

    Reference<beans::XPropertySet> cellProperties(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh,
                                                  const std::string& sheetName, const Position& p) {
        CellKey key{sheetName, p.row, p.column};
        auto it = wb.cellProperties.find(key);
        if (it != wb.cellProperties.end()) return it->second;
        Reference<beans::XPropertySet> props(sh->getCellByPosition(p.column, p.row), UNO_QUERY_THROW);
        wb.cellProperties[key] = props;
        return props;
    }

    // A logical cell holds 0 or 1 with a number format of the logical type
    // (a comparison formula gets one by itself).
    bool isLogical(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh, const std::string& sheetName,
                   const Position& p) {
        sal_Int32 key = 0;
        cellProperties(wb, sh, sheetName, p)->getPropertyValue("NumberFormat") >>= key;
        auto it = wb.logicalFormats.find(key);
        if (it != wb.logicalFormats.end()) return it->second;
        sal_Int16 type = 0;
        wb.formats->getByKey(key)->getPropertyValue("Type") >>= type;
        const bool logical = (type & util::NumberFormat::LOGICAL) != 0;
        wb.logicalFormats[key] = logical;
        return logical;
    }

    bool readCells(const std::vector<CellRef>& cells, std::vector<std::optional<std::string>>& values) {
        values.assign(cells.size(), std::nullopt);
        Workbook* wb = active();
        if (!wb) return false;
        std::vector<std::string> problems(cells.size());
        auto groups = BySheet(cells, [](const CellRef& c) -> const std::string& { return c.sheet; });
        std::string doing;
        try {
            for (auto& [sheetName, entries] : groups) {
                doing = "シート「" + sheetName + "」の読込";
                Reference<sheet::XSpreadsheet> sh = sheet(*wb, sheetName);
                if (!sh.is()) {
                    for (std::size_t i : entries) problems[i] = error;
                    continue;
                }
                std::vector<std::size_t> valid;
                std::vector<Position> positions;
                for (std::size_t i : entries) {
                    if (!InSheet(cells[i])) {
                        problems[i] = "セル " + CellLabel(cells[i]) + " はシートの範囲外です。";
                        continue;
                    }
                    valid.push_back(i);
                    positions.push_back(
                        Position{static_cast<std::int32_t>(cells[i].row - 1), cells[i].column - 1});
                }
                std::vector<std::size_t> blockOf;
                std::vector<Block> blocks = CoveringBlocks(positions, blockOf);
                std::vector<Sequence<Sequence<Any>>> data(blocks.size());
                for (std::size_t b = 0; b < blocks.size(); ++b) {
                    for (std::size_t k = 0; k < valid.size(); ++k)
                        if (blockOf[k] == b) {
                            doing = "セル " + CellLabel(cells[valid[k]]) + " の読込";
                            break;
                        }
                    Range& r = range(*wb, sh, sheetName, blocks[b]);
                    if (!r.data.is()) r.data.set(r.range, UNO_QUERY_THROW);
                    data[b] = r.data->getDataArray();
                }
                for (std::size_t k = 0; k < valid.size(); ++k) {
                    const std::size_t i = valid[k];
                    const Block& b = blocks[blockOf[k]];
                    const Position& p = positions[k];
                    const Any& value = data[blockOf[k]][p.row - b.top][p.column - b.left];
                    doing = "セル " + CellLabel(cells[i]) + " の読込";
                    double number = 0;
                    OUString text;
                    if (value >>= number) {
                        if ((number == 0 || number == 1) && isLogical(*wb, sh, sheetName, p))
                            values[i] = number == 1 ? "True" : "False";
                        else
                            values[i] = GeneralNumber(number);
                    } else if (value >>= text) {
                        // An error value a macro function made with CVErr
                        // reaches the cell as this text: unreadable as an
                        // error value is.
                        if (IsBasicErrorText(ToStd(text)))
                            problems[i] = "セル " + CellLabel(cells[i]) + " の値がエラーです (マクロの関数が CVErr で返した " +
                                          ToStd(text) + ")。";
                        else
                            values[i] = ToStd(text);
                    } else {
                        Reference<table::XCell> cell(cellProperties(*wb, sh, sheetName, p), UNO_QUERY_THROW);
                        problems[i] = "セル " + CellLabel(cells[i]) + " の値がエラーです (" +
                                      ErrorValueText(cell->getError()) + ")。";
                    }
                }
            }
        } catch (const lang::IndexOutOfBoundsException&) {
            return fail(doing + ": セルがシートの範囲外です。");
        } catch (const uno::Exception& e) {
            values.assign(cells.size(), std::nullopt);
            return failUno(doing + "に失敗しました", e);
        }
        for (std::size_t i = 0; i < cells.size(); ++i)
            if (!values[i]) return fail(problems[i].empty() ? "セル " + CellLabel(cells[i]) + " を読めません。"
                                                            : problems[i]);
        return true;
    }

    bool setCalculation(bool automatic) {
        Workbook* wb = active();
        if (!wb) return false;
        try {
            wb->calculation->enableAutomaticCalculation(automatic);
            wb->automatic = automatic;
        } catch (const uno::Exception& e) {
            return failUno(automatic ? "再計算に失敗しました" : "計算方法を手動にできません", e);
        }
        return true;
    }

    // While nobody sees the window, the active sheet matters only to what
    // runs inside the application (a macro using the active sheet) and to
    // the pick: activation is only noted, and made before those. The input
    // and output steps activate a sheet per cell, which would otherwise cost
    // a round trip each.
    bool activateSheet(const std::string& name) {
        Workbook* wb = active();
        if (!wb) return false;
        try {
            if (!sheet(*wb, name).is()) return false;
            wb->pendingSheet = name;
            if (withWindow && wantVisible) return applyActivation(*wb);
        } catch (const uno::Exception& e) {
            return failUno("シート「" + name + "」を選択できません", e);
        }
        return true;
    }

    bool applyActivation(Workbook& wb) {
        if (wb.pendingSheet.empty()) return true;
        const std::string name = wb.pendingSheet;
        wb.pendingSheet.clear();
        // Shown, the user may have changed sheets meanwhile: always set it.
        if (name == wb.activeSheet && !(withWindow && wantVisible)) return true;
        try {
            Reference<sheet::XSpreadsheet> sh = sheet(wb, name);
            if (!sh.is()) return false;
            if (ensureView(wb)) wb.view->setActiveSheet(sh);
            wb.activeSheet = name;
        } catch (const uno::Exception& e) {
            return failUno("シート「" + name + "」を選択できません", e);
        }
        return true;
    }

    std::optional<std::vector<std::string>> sheetNames() {
        Workbook* wb = active();
        if (!wb) return std::nullopt;
        try {
            std::vector<std::string> names;
            for (const OUString& n : wb->sheets->getElementNames()) names.push_back(ToStd(n));
            return names;
        } catch (const uno::Exception& e) {
            failUno("シート名を読めません (" + wb->path + ")", e);
            return std::nullopt;
        }
    }

    // ------------------------------------------------------------ macros

    lo::DocumentMacros& macrosOf(Workbook& wb) {
        if (!wb.macros) wb.macros = std::make_shared<lo::DocumentMacros>(wb.component);
        return *wb.macros;
    }

    // Compiling to find a failure would show LibreOffice's error dialog in
    // an instance with a window, and wait for a click.
    bool mayCompile() const { return !withWindow; }

    Workbook* workbookOf(const std::string& path) {
        if (!ready()) return nullptr;
        if (workbooks.empty()) {
            fail("ブックが開かれていません。");
            return nullptr;
        }
        if (path.empty()) return &workbooks.back();
        for (auto it = workbooks.rbegin(); it != workbooks.rend(); ++it)
            if (it->path == path) return &*it;
        const std::string key = SameFileKey(path);
        for (auto it = workbooks.rbegin(); it != workbooks.rend(); ++it)
            if (SameFileKey(it->path) == key) return &*it;
        fail("マクロのブックが開かれていません: " + path);
        return nullptr;
    }

    bool run(const std::string& reference) {
        std::string path, name;
        SplitMacroReference(reference, path, name);
        name = Trim(name);
        Workbook* wb = workbookOf(path);
        if (!wb || !applyActivation(*wb)) return false;
        try {
            lo::DocumentMacros& macros = macrosOf(*wb);
            const lo::MacroEntry* m = macros.find(name);
            if (!m) return fail(MissingMacroMessage(name, wb->path, macros.macros()));
            const lo::MacroEntry macro = *m;
            const lo::MacroOutcome outcome = macros.run(macro, mayCompile());
            // The macro may have changed the active sheet: the next
            // activation must not trust what this link last set.
            wb->activeSheet.clear();
            if (outcome.kind == lo::MacroOutcome::Kind::Ran) return true;
            return fail(MacroFailureMessage(name, macro, outcome, macros, mayCompile()));
        } catch (const script::provider::ScriptFrameworkErrorException& e) {
            return fail("マクロ「" + name + "」が見つかりません (" + wb->path + "): " + Detail(e));
        } catch (const reflection::InvocationTargetException& e) {
            return fail("マクロ「" + name + "」の実行中にエラーが発生しました: " + Detail(e));
        } catch (const uno::Exception& e) {
            return failUno("マクロ「" + name + "」を実行できません", e);
        }
    }

    static std::string MissingMacroMessage(const std::string& name, const std::string& path,
                                           const std::vector<lo::MacroEntry>& macros) {
        std::string message = "マクロ「" + name + "」が見つかりません (" + path + ")。";
        if (macros.empty()) return message + "このブックにはマクロがありません。";
        message += "このブックのマクロ: ";
        for (std::size_t i = 0; i < macros.size() && i < 10; ++i)
            message += (i ? ", " : "") + macros[i].module + "." + macros[i].name;
        if (macros.size() > 10) message += " ほか " + std::to_string(macros.size() - 10) + " 個";
        return message + "。";
    }

    // The line of a module with what is known about it: its text, and what
    // to write instead when it is a construct LibreOffice takes differently.
    static std::string LineDetail(lo::DocumentMacros& macros, const std::string& library, const std::string& module,
                                  int line) {
        const std::string source = macros.source(library, module);
        const std::vector<std::string> lines = PhysicalLines(source);
        std::string detail = module + " の " + std::to_string(ShownLine(source, line)) + " 行目";
        if (line >= 1 && line <= static_cast<int>(lines.size())) detail += ": " + Trim(lines[static_cast<std::size_t>(line - 1)]);
        return detail;
    }

    // `located`: LibreOffice was let compile the modules to find the one
    // that fails.
    static std::string MacroFailureMessage(const std::string& name, const lo::MacroEntry& m,
                                           const lo::MacroOutcome& outcome, lo::DocumentMacros& macros,
                                           bool located) {
        const std::string macro = "マクロ「" + name + "」(" + m.library + "." + m.module + ")";
        if (outcome.kind == lo::MacroOutcome::Kind::RuntimeError) {
            std::string message = macro + " の実行中にエラーが発生しました";
            std::string advice;
            if (outcome.line > 0) {
                message += " (" + LineDetail(macros, m.library, outcome.module, outcome.line) + ")";
                advice = ConstructAdviceAt(macros.source(m.library, outcome.module), outcome.line);
            }
            message += ": Error " + std::to_string(outcome.code) + ": " + outcome.text;
            return message + (advice.empty() ? "" : "\n" + advice);
        }
        std::string message = macro + " を実行できません: ";
        if (outcome.module.empty()) {
            message += "ライブラリ " + m.library +
                       " に LibreOffice がコンパイルできないモジュールがあり、このライブラリのマクロは 1 つも実行されません。";
            return message + (located ? "どのモジュールかは特定できませんでした。"
                                      : "LibreOffice が表示したエラーの行を確かめてください。");
        }
        message += "ライブラリ " + m.library + " のモジュール " + outcome.module +
                   " を LibreOffice がコンパイルできないため、このライブラリのマクロは 1 つも実行されません";
        if (outcome.line <= 0) return message + " (行は特定できませんでした)。";
        message += " (" + LineDetail(macros, m.library, outcome.module, outcome.line) + ")。";
        const std::string advice = ConstructAdviceAt(macros.source(m.library, outcome.module), outcome.line);
        return message + (advice.empty() ? "" : "\n" + advice);
    }

    // ------------------------------------------------------------ inspection

    std::optional<std::vector<FormulaErrorCell>> formulaErrors() {
        Workbook* wb = active();
        if (!wb) return std::nullopt;
        try {
            return lo::FindFormulaErrors(wb->component, remote);
        } catch (const uno::Exception& e) {
            failUno("ブックのエラーのセルを調べられません (" + wb->path + ")", e);
            return std::nullopt;
        }
    }

    std::optional<std::vector<FormulaValueCell>> formulaValues() {
        Workbook* wb = active();
        if (!wb) return std::nullopt;
        try {
            return lo::FindFormulaValues(wb->component, remote);
        } catch (const uno::Exception& e) {
            failUno("ブックの式の値を読めません (" + wb->path + ")", e);
            return std::nullopt;
        }
    }

    std::optional<std::vector<MacroModule>> macroModules() {
        Workbook* wb = active();
        if (!wb) return std::nullopt;
        try {
            return macrosOf(*wb).modules(mayCompile());
        } catch (const uno::Exception& e) {
            failUno("ブックのマクロを調べられません (" + wb->path + ")", e);
            return std::nullopt;
        }
    }

    // ------------------------------------------------------------ picking

    // The workbook's view, which the pick operations read; false (with the
    // failure recorded) when it has none.
    bool hasView(Workbook& wb) {
        try {
            if (ensureView(wb)) return true;
            fail("ブックのウィンドウがありません。");
        } catch (const uno::Exception& e) {
            failUno("ブックのウィンドウを開けません", e);
        }
        return false;
    }

    std::optional<std::string> activeCellAddress() {
        Workbook* wb = active();
        if (!wb || !applyActivation(*wb) || !hasView(*wb)) return std::nullopt;
        try {
            Any selected = wb->selection->getSelection();
            table::CellRangeAddress address;
            bool found = false;
            Reference<sheet::XCellRangeAddressable> single(selected, UNO_QUERY);
            if (single.is()) {
                address = single->getRangeAddress();
                found = true;
            } else {
                Reference<sheet::XSheetCellRanges> several(selected, UNO_QUERY);
                if (several.is()) {
                    auto all = several->getRangeAddresses();
                    if (all.getLength() > 0) {
                        address = all[0];
                        found = true;
                    }
                }
            }
            // Something else selected (a drawing): the active cell is taken
            // as unchanged.
            if (found) wb->lastActiveCell = CellAddress(address.StartRow + 1, address.StartColumn + 1, true);
            return wb->lastActiveCell;
        } catch (const uno::Exception& e) {
            failUno("アクティブセルを読めません", e);
            return std::nullopt;
        }
    }

    std::optional<std::string> activeSheetName() {
        Workbook* wb = active();
        if (!wb || !applyActivation(*wb) || !hasView(*wb)) return std::nullopt;
        try {
            Reference<container::XNamed> named(wb->view->getActiveSheet(), UNO_QUERY_THROW);
            return ToStd(named->getName());
        } catch (const uno::Exception& e) {
            failUno("アクティブシートを読めません", e);
            return std::nullopt;
        }
    }

    bool selectCell(std::int64_t row, std::int32_t column) {
        Workbook* wb = active();
        if (!wb || !applyActivation(*wb)) return false;
        if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
            return fail("セル " + CellAddress(row, column) + " はシートの範囲外です。");
        if (!hasView(*wb)) return false;
        try {
            Reference<sheet::XSpreadsheet> sh = wb->view->getActiveSheet();
            Reference<table::XCell> cell = sh->getCellByPosition(column - 1, static_cast<sal_Int32>(row - 1));
            wb->selection->select(Any(cell));
        } catch (const uno::Exception& e) {
            return failUno("セル " + CellAddress(row, column) + " を選択できません", e);
        }
        return true;
    }
};

// ====================================================================== link

LibreOfficeLink::LibreOfficeLink(const WorkbookLinkOptions& options)
    : impl_(std::make_unique<Impl>(options)) {}

LibreOfficeLink::~LibreOfficeLink() { impl_->quitInstance(); }

bool LibreOfficeLink::start(bool visible) { return impl_->start(visible); }

bool LibreOfficeLink::isRunning() {
    if (!impl_->started || impl_->dead) return false;
    std::string message;
    if (!impl_->process.poll(message)) {
        impl_->markDead(message);
        return false;
    }
    return true;
}

bool LibreOfficeLink::setVisible(bool visible) { return impl_->setVisible(visible); }
bool LibreOfficeLink::visible() const { return impl_->wantVisible; }
void LibreOfficeLink::setDisplayAlerts(bool) {}
void LibreOfficeLink::quit() { impl_->quitInstance(); }

bool LibreOfficeLink::open(const std::string& workbookPath) { return impl_->open(workbookPath); }
bool LibreOfficeLink::closeWorkbooks() { return impl_->closeWorkbooks(); }
std::optional<std::vector<std::string>> LibreOfficeLink::sheetNames() { return impl_->sheetNames(); }
bool LibreOfficeLink::activateSheet(const std::string& sheet) { return impl_->activateSheet(sheet); }

bool LibreOfficeLink::writeCell(const CellRef& cell, const std::string& text) {
    return impl_->writeCells({CellWrite{cell, text}});
}

std::optional<std::string> LibreOfficeLink::readCell(const CellRef& cell) {
    std::vector<std::optional<std::string>> values;
    impl_->readCells({cell}, values);
    return values.empty() ? std::nullopt : values[0];
}

bool LibreOfficeLink::writeCells(const std::vector<CellWrite>& writes) { return impl_->writeCells(writes); }

bool LibreOfficeLink::readCells(const std::vector<CellRef>& cells,
                                std::vector<std::optional<std::string>>& values) {
    return impl_->readCells(cells, values);
}

bool LibreOfficeLink::setCalculation(CalculationMode mode) {
    return impl_->setCalculation(mode == CalculationMode::Automatic);
}

bool LibreOfficeLink::run(const std::string& macroReference) { return impl_->run(macroReference); }

std::optional<std::vector<FormulaErrorCell>> LibreOfficeLink::formulaErrors() { return impl_->formulaErrors(); }
std::optional<std::vector<FormulaValueCell>> LibreOfficeLink::formulaValues() { return impl_->formulaValues(); }
std::optional<std::vector<MacroModule>> LibreOfficeLink::macroModules() { return impl_->macroModules(); }

std::optional<std::string> LibreOfficeLink::activeCellAddress() { return impl_->activeCellAddress(); }
std::optional<std::string> LibreOfficeLink::activeSheetName() { return impl_->activeSheetName(); }
bool LibreOfficeLink::selectCell(std::int64_t row, std::int32_t column) { return impl_->selectCell(row, column); }

const std::string& LibreOfficeLink::lastError() const { return impl_->error; }

pid_t LibreOfficeLink::processId() const { return impl_->process.pid(); }

void LibreOfficeLink::abort() { impl_->process.kill(); }

std::unique_ptr<WorkbookLink> CreateWorkbookLink(const WorkbookLinkOptions& options) {
    return std::make_unique<LibreOfficeLink>(options);
}

namespace lo {

Reference<uno::XComponentContext> UnoAccess::context(LibreOfficeLink& link) { return link.impl_->remote; }

}  // namespace lo

}  // namespace korvane
