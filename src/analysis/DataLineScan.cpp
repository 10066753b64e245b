#include "analysis/DataLineScan.h"

#include <algorithm>
#include <sys/stat.h>

#include "db/Csv.h"

namespace korvane {

namespace {
constexpr std::uint32_t kLinesPerTick = 2048;
}

bool DataLineScan::open(const std::string& path, bool includeInvalid, std::string& error) {
    includeInvalid_ = includeInvalid;
    block_ = 0;
    blockFits_ = true;
    skipped_ = excluded_ = unreadable_ = 0;
    bytes_ = size_ = 0;
    sinceTick_ = 0;
    stopped_ = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "DBファイルではなくフォルダです: " + path;
        return false;
    }
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "DBファイルが見つかりません: " + path;
        return false;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    if (!ReadDbHeader(path, header_, error)) return false;
    if (header_.names.empty()) {
        error = "DBファイルに見出し行がありません: " + path;
        return false;
    }
    if (!reader_.open(path)) {
        error = reader_.error();
        return false;
    }
    readNumbers(std::vector<std::size_t>(numberFields_));
    return true;
}

bool DataLineScan::next(DbReader::Line& line) {
    while (!stopped_ && reader_.next(line)) {
        if (++sinceTick_ >= kLinesPerTick) {
            sinceTick_ = 0;
            if (progress_ && *progress_ && !(*progress_)(base_ + share_ * done())) {
                stopped_ = true;
                return false;
            }
        }
        // The line's bytes on disk, near enough: its text and CR LF.
        for (const auto& f : line.fields) bytes_ += f.size() + 1;
        bytes_ += 1;
        if (line.kind != DbReader::LineKind::Data) continue;
        if (line.block != block_) {
            block_ = line.block;
            blockFits_ = reader_.header().names == header_.names;
        }
        if (!blockFits_ || line.fields.size() != header_.names.size()) {
            ++skipped_;
            continue;
        }
        if (!line.valid && !includeInvalid_) {
            ++excluded_;
            continue;
        }
        bool readable = true;
        for (std::size_t f : numberFields_) readable = CsvValue(line.fields[f], values_[f]) && readable;
        if (!readable) {
            ++unreadable_;
            continue;
        }
        return true;
    }
    return false;
}

double DataLineScan::done() const {
    if (size_ == 0) return 1.0;
    return std::min(1.0, static_cast<double>(bytes_) / static_cast<double>(size_));
}

void DataLineScan::readNumbers(std::vector<std::size_t> fields) {
    numberFields_.clear();
    for (std::size_t f : fields)
        if (f < header_.names.size()) numberFields_.push_back(f);
    values_.assign(header_.names.size(), 0.0);
}

void DataLineScan::setProgress(const ProgressFn* progress, double base, double share) {
    progress_ = progress;
    base_ = base;
    share_ = share;
}

std::string SkippedLinesMessage(std::int64_t skipped, std::int64_t unreadable) {
    std::string message;
    if (skipped > 0) message = "見出しと列数が合わない " + std::to_string(skipped) + " 行は解析から除きました。";
    if (unreadable > 0) {
        if (!message.empty()) message += "\n";
        message += "数値として読めない値（範囲外の数値）を含む " + std::to_string(unreadable) +
                   " 行は解析から除きました。";
    }
    return message;
}

}  // namespace korvane
