// libFuzzer target: load -> read every key -> save -> reload of the INI document.
#include "storage/checks/IniRoundTrip.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One private directory per fuzzing process, on the fastest file system at hand.
const std::string& WorkDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("FUZZ_WORKDIR");
        std::string pattern = std::string(base ? base : "/tmp") + "/ini-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string problem =
        CheckIniRoundTrip(std::string_view(reinterpret_cast<const char*>(data), size), WorkDir());
    if (!problem.empty()) {
        std::fprintf(stderr, "INI round trip broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
