#include "platform/ConsoleOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvane {

void PrintMessage(const std::string& text) {
    std::fprintf(stderr, "korvane: %s\n", text.c_str());
    std::fflush(stderr);
}

bool FinishStdout() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int e = errno;
    if (flushed && !std::ferror(stdout)) return true;
    PrintMessage("標準出力に書き込めません" + (e ? " (" + std::string(std::strerror(e)) + ")" : std::string()) +
                 "。出力は途中までです。");
    return false;
}

}  // namespace korvane
