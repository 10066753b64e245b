// The LibreOffice instance and its documents behind a LibreOfficeLink:
// starting soffice and connecting to it over UNO, telling an instance that
// died from one that refused, quitting without hanging, showing and hiding
// the windows (starting again with a window when a hidden instance must show
// one), opening and closing workbooks, and the sheets and which one is
// active. The cells, the macros and the pick are in files of their own
// (LinkInternals.h names them).
#include "platform/libreoffice/LibreOfficeLink.h"

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>

#include "platform/libreoffice/LinkInternals.h"
#include "platform/libreoffice/UnoAccess.h"
#include "workbook/WorkbookFile.h"

namespace korvane {

namespace {

css::beans::PropertyValue Prop(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
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

}  // namespace

// ====================================================================== Impl

// ------------------------------------------------------------ failures

bool LibreOfficeLink::Impl::fail(std::string message) {
    error = std::move(message);
    return false;
}

void LibreOfficeLink::Impl::releaseAll() {
    workbooks.clear();
    desktop.clear();
    remote.clear();
}

// The instance is gone: keep the reason, drop every reference and leave
// no process behind.
bool LibreOfficeLink::Impl::markDead(const std::string& processMessage) {
    dead = true;
    deadMessage = "LibreOffice が終了したため続行できません" +
                  (processMessage.empty() ? std::string() : " (" + processMessage + ")") + "。";
    releaseAll();
    process.stop();
    return fail(deadMessage);
}

// A UNO failure during `what`: the instance died, or it refused.
bool LibreOfficeLink::Impl::failUno(const std::string& what, const uno::Exception& e) {
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
bool LibreOfficeLink::Impl::ready() {
    if (dead) return fail(deadMessage);
    if (!started) return fail("LibreOffice が起動していません。");
    std::string processMessage;
    if (!process.poll(processMessage)) return markDead(processMessage);
    return true;
}

LibreOfficeLink::Impl::Workbook* LibreOfficeLink::Impl::active() {
    if (!ready()) return nullptr;
    if (workbooks.empty()) {
        fail("ブックが開かれていません。");
        return nullptr;
    }
    return &workbooks.back();
}

// ------------------------------------------------------------ instance

bool LibreOfficeLink::Impl::start(bool visible) {
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

void LibreOfficeLink::Impl::closeWorkbook(Workbook& wb) {
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

void LibreOfficeLink::Impl::quitInstance() {
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

bool LibreOfficeLink::Impl::ensureView(Workbook& wb) {
    if (wb.view.is() && wb.selection.is()) return true;
    Reference<frame::XModel> model(wb.component, UNO_QUERY_THROW);
    Reference<frame::XController> controller = model->getCurrentController();
    if (!controller.is()) return false;
    wb.view.set(controller, UNO_QUERY);
    wb.selection.set(controller, UNO_QUERY);
    return wb.view.is() && wb.selection.is();
}

void LibreOfficeLink::Impl::showWindow(Workbook& wb, bool show) {
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

bool LibreOfficeLink::Impl::setVisible(bool visible) {
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
bool LibreOfficeLink::Impl::restartWithWindow() {
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

bool LibreOfficeLink::Impl::open(const std::string& path) {
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

bool LibreOfficeLink::Impl::closeWorkbooks() {
    if (workbooks.empty()) return dead ? fail(deadMessage) : true;
    if (!ready()) return false;
    for (auto& wb : workbooks) closeWorkbook(wb);
    workbooks.clear();
    return ready();
}

// The sheet of that name, from the cache or looked up once.
Reference<sheet::XSpreadsheet> LibreOfficeLink::Impl::sheet(Workbook& wb, const std::string& name) {
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

// While nobody sees the window, the active sheet matters only to what
// runs inside the application (a macro using the active sheet) and to
// the pick: activation is only noted, and made before those. The input
// and output steps activate a sheet per cell, which would otherwise cost
// a round trip each.
bool LibreOfficeLink::Impl::activateSheet(const std::string& name) {
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

bool LibreOfficeLink::Impl::applyActivation(Workbook& wb) {
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

std::optional<std::vector<std::string>> LibreOfficeLink::Impl::sheetNames() {
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
