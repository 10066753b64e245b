#pragma once
// Shared helpers of the fuzz targets: a scratch file that holds the input for
// the readers that take a path, and a check that stops the run with a
// message when a property does not hold.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace korvane::fuzz {

// Aborts with the failed property; libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, what)                                                     \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// A private folder for this process, removed at exit.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/korvane-fuzz-XXXXXX";
        if (!::mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = tmpl;
        std::atexit([] {
            // Only the files this process made: the folder holds nothing else.
            for (const char* name : {"input", "input.csv", "input.tolv"}) ::unlink((removeAtExit + "/" + name).c_str());
            ::rmdir(removeAtExit.c_str());
        });
        return tmpl;
    }();
    return folder;
}

// Writes `bytes` to the scratch file `name` (rewritten on every call) and
// returns its path.
inline std::string WriteScratchFile(std::string_view bytes, const char* name = "input") {
    const std::string path = ScratchFolder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(f);
    return path;
}

// The text with every byte outside printable ASCII as \xNN, for messages.
inline std::string Escaped(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace korvane::fuzz
