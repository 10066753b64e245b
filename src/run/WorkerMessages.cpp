#include "run/WorkerMessages.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace korvane {

namespace {

class Writer {
public:
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
    void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }
    void flag(bool v) { u64(v ? 1 : 0); }
    void text(const std::string& s) {
        u64(s.size());
        bytes_ += s;
    }
    template <typename T, typename F>
    void list(const std::vector<T>& v, F each) {
        u64(v.size());
        for (const T& x : v) each(x);
    }
    void texts(const std::vector<std::string>& v) { list(v, [this](const std::string& s) { text(s); }); }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

class Reader {
public:
    explicit Reader(const std::string& bytes) : b_(bytes) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && pos_ == b_.size(); }
    std::uint64_t u64() {
        if (!ok_ || b_.size() - pos_ < 8) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b_[pos_ + i])) << (8 * i);
        pos_ += 8;
        return v;
    }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    double f64() { return std::bit_cast<double>(u64()); }
    bool flag() { return u64() != 0; }
    std::string text() {
        const std::uint64_t n = u64();
        if (!ok_ || b_.size() - pos_ < n) {
            ok_ = false;
            return {};
        }
        std::string s = b_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    // A count of list entries, each at least `minBytes` long: more than the
    // rest of the message could hold is a damaged message.
    std::size_t count(std::size_t minBytes) {
        const std::uint64_t n = u64();
        if (!ok_ || n > (b_.size() - pos_) / std::max<std::size_t>(minBytes, 1)) {
            ok_ = false;
            return 0;
        }
        return static_cast<std::size_t>(n);
    }
    template <typename T, typename F>
    void list(std::vector<T>& v, F each) {
        const std::size_t n = count(8);
        v.clear();
        for (std::size_t i = 0; i < n && ok_; ++i) v.push_back(each());
    }
    void texts(std::vector<std::string>& v) { list(v, [this] { return text(); }); }

private:
    const std::string& b_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

constexpr std::uint64_t kStateMark = 0x4b52565354415445ULL;  // "KRVSTATE"

}  // namespace

std::string EncodeWorkerState(const RunState& s) {
    Writer w;
    w.u64(kStateMark);
    w.text(s.WorkbookPath);
    w.text(s.PlanName);
    w.text(s.MacroList);
    w.texts(s.ShellTasks);
    w.i64(s.RestartPerCalc);
    w.text(s.CalcTotal);
    for (const auto* v : {&s.InputNames, &s.InputAddresses, &s.InputSheets, &s.InputLower, &s.InputUpper,
                          &s.InputValues, &s.FormatKinds, &s.FormatArgs, &s.ReplaceLists, &s.OutputNames,
                          &s.OutputAddresses, &s.OutputSheets, &s.OutputLower, &s.OutputUpper, &s.OutputValues})
        w.texts(*v);
    w.list(s.InputInitial, [&](double x) { w.f64(x); });
    w.list(s.InputRows, [&](std::int64_t x) { w.i64(x); });
    w.list(s.InputColumns, [&](std::int32_t x) { w.i64(x); });
    w.list(s.OutputRows, [&](std::int64_t x) { w.i64(x); });
    w.list(s.OutputColumns, [&](std::int32_t x) { w.i64(x); });
    return w.bytes();
}

bool DecodeWorkerState(const std::string& bytes, RunState& s) {
    Reader r(bytes);
    if (r.u64() != kStateMark) return false;
    RunState d;
    d.WorkbookPath = r.text();
    d.PlanName = r.text();
    d.MacroList = r.text();
    r.texts(d.ShellTasks);
    d.RestartPerCalc = static_cast<int>(r.i64());
    d.CalcTotal = r.text();
    for (auto* v : {&d.InputNames, &d.InputAddresses, &d.InputSheets, &d.InputLower, &d.InputUpper, &d.InputValues,
                    &d.FormatKinds, &d.FormatArgs, &d.ReplaceLists, &d.OutputNames, &d.OutputAddresses,
                    &d.OutputSheets, &d.OutputLower, &d.OutputUpper, &d.OutputValues})
        r.texts(*v);
    r.list(d.InputInitial, [&] { return r.f64(); });
    r.list(d.InputRows, [&] { return r.i64(); });
    r.list(d.InputColumns, [&] { return static_cast<std::int32_t>(r.i64()); });
    r.list(d.OutputRows, [&] { return r.i64(); });
    r.list(d.OutputColumns, [&] { return static_cast<std::int32_t>(r.i64()); });
    if (!r.atEnd()) return false;
    // Every per-variable list has the same length: a worker indexes them all.
    const std::size_t in = d.InputNames.size(), out = d.OutputNames.size();
    for (const auto* v : {&d.InputAddresses, &d.InputSheets, &d.InputLower, &d.InputUpper, &d.InputValues,
                          &d.FormatKinds, &d.FormatArgs, &d.ReplaceLists})
        if (v->size() != in) return false;
    for (const auto* v : {&d.OutputAddresses, &d.OutputSheets, &d.OutputLower, &d.OutputUpper, &d.OutputValues})
        if (v->size() != out) return false;
    if (in == 0 || out == 0 || d.ShellTasks.empty() || d.InputInitial.size() != in || d.InputRows.size() != in ||
        d.InputColumns.size() != in || d.OutputRows.size() != out || d.OutputColumns.size() != out)
        return false;
    d.PlanSelected.assign(in, false);
    d.DistType.assign(in, std::string());
    d.DistCenter.assign(in, 0.0);
    d.DistSpread.assign(in, 0.0);
    d.DataColumn.assign(in, 0);
    d.LevelLow.assign(in, 0.0);
    d.LevelHigh.assign(in, 0.0);
    s = std::move(d);
    return true;
}

std::string EncodeCalcValues(const CalcValues& v) {
    Writer w;
    w.i64(v.count);
    w.texts(v.before);
    w.texts(v.assigned);
    w.list(v.marks, [&w](const FormatMark& m) {
        w.text(m.text);
        w.f64(m.number);
    });
    w.texts(v.recorded);
    return w.bytes();
}

bool DecodeCalcValues(const std::string& bytes, CalcValues& v) {
    Reader r(bytes);
    v.count = r.i64();
    r.texts(v.before);
    r.texts(v.assigned);
    r.list(v.marks, [&r] {
        FormatMark m;
        m.text = r.text();
        m.number = r.f64();
        return m;
    });
    r.texts(v.recorded);
    return r.atEnd();
}

std::string EncodeWorkerEvent(const WorkerEvent& e) {
    Writer w;
    w.i64(static_cast<std::int64_t>(e.kind));
    w.u64(e.worker);
    w.i64(e.count);
    w.i64(e.result.count);
    w.texts(e.result.inputs);
    w.texts(e.result.outputs);
    w.flag(e.result.valid);
    w.flag(e.result.outputsRead);
    w.text(e.result.unreadable);
    w.i64(e.result.replaced);
    w.flag(e.result.lost);
    w.flag(e.done);
    w.text(e.error);
    w.flag(e.starting);
    w.text(e.notice);
    w.text(e.differences);
    return w.bytes();
}

bool DecodeWorkerEvent(const std::string& bytes, WorkerEvent& e) {
    Reader r(bytes);
    const std::int64_t kind = r.i64();
    if (kind < 0 || kind > static_cast<std::int64_t>(WorkerEvent::Kind::Lost)) return false;
    e.kind = static_cast<WorkerEvent::Kind>(kind);
    e.worker = static_cast<std::size_t>(r.u64());
    e.count = r.i64();
    e.result.count = r.i64();
    r.texts(e.result.inputs);
    r.texts(e.result.outputs);
    e.result.valid = r.flag();
    e.result.outputsRead = r.flag();
    e.result.unreadable = r.text();
    e.result.replaced = static_cast<int>(r.i64());
    e.result.lost = r.flag();
    e.done = r.flag();
    e.error = r.text();
    e.starting = r.flag();
    e.notice = r.text();
    e.differences = r.text();
    return r.atEnd();
}

}  // namespace korvane
