// Loading a file and reading every key of every section, and saving it, for the INI document and
// two peers: inih (parsed into a map) and SimpleIni. Two inputs: a 255-server servers.ini and a
// generated ~5 MB file of 100,000 sections. A third group grows the generated file to show that
// reading every key costs time in proportion to the file (hashed lookups, no scans).
//
//   storage_ini_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "storage/MemIniFile.h"

#define SI_NO_CONVERSION // GBK bytes are kept as they are
#include <SimpleIni.h>
#include <benchmark/benchmark.h>
#include <ini.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Dir() {
    static const std::string dir = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/ini-bench-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return dir;
}

// One server per section, as the settings dialog writes them.
std::string ServersText(int servers) {
    std::string text;
    for (int i = 0; i < servers; ++i) {
        text += "[\xB7\xFE\xCE\xF1\xC6\xF7" + std::to_string(i) + "]\r\n";
        text += "IP=10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) +
                "." + std::to_string(i % 256) + "\r\n";
        text += "Port=" + std::to_string(1024 + i % 60000) + "\r\n";
        text += "SoundAlert=1\r\nSMSAlert=0\r\n\r\n";
    }
    return text;
}

// About 55 bytes a section: 100,000 sections make a file of 5.2 MiB.
std::string GeneratedText(int sections) {
    std::string text;
    text.reserve(static_cast<size_t>(sections) * 52);
    char line[128];
    for (int i = 0; i < sections; ++i) {
        int n = std::snprintf(line, sizeof line,
                              "[Server%06d]\r\nIP=10.%d.%d.%d\r\nPort=%d\r\nAlert=%d\r\n\r\n", i,
                              i / 65536 % 256, i / 256 % 256, i % 256, 1024 + i % 60000, i % 2);
        text.append(line, static_cast<size_t>(n));
    }
    return text;
}

const std::string& FileFor(const std::string& name, const std::string& text) {
    static std::map<std::string, std::string> paths;
    auto it = paths.find(name);
    if (it == paths.end()) {
        std::string path = Dir() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        it = paths.emplace(name, path).first;
    }
    return it->second;
}

const std::string& ServersFile() {
    return FileFor("servers.ini", ServersText(255));
}
const std::string& GeneratedFile(int sections) {
    return FileFor("generated-" + std::to_string(sections) + ".ini", GeneratedText(sections));
}

size_t ReadAllOurs(const std::string& path) {
    TMemIniFile ini(path);
    TStringList sections, keys;
    ini.GetSectionNames(sections);
    size_t bytes = 0;
    for (const auto& section : sections) {
        ini.GetKeyNames(section.text, keys);
        for (const auto& key : keys)
            bytes += ini.GetStr(section.text, key.text, std::string()).size();
    }
    return bytes;
}

// inih parsed into a map of sections (lower-cased names, as its own C++ reader does) with a list
// of each section's keys; every key is then looked up by name.
struct InihDocument {
    std::vector<std::string> order;
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::map<std::string, std::vector<std::string>> keys;
};

std::string Lower(const char* text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return out;
}

int InihHandler(void* user, const char* section, const char* name, const char* value) {
    auto* doc = static_cast<InihDocument*>(user);
    std::string s = Lower(section);
    auto [it, added] = doc->sections.try_emplace(s);
    if (added)
        doc->order.push_back(s);
    std::string k = Lower(name);
    if (it->second.insert_or_assign(k, value).second)
        doc->keys[s].push_back(k);
    return 1;
}

size_t ReadAllInih(const std::string& path) {
    InihDocument doc;
    if (ini_parse(path.c_str(), InihHandler, &doc) != 0)
        std::abort();
    size_t bytes = 0;
    for (const std::string& section : doc.order)
        for (const std::string& key : doc.keys[section])
            bytes += doc.sections.find(section)->second.find(key)->second.size();
    return bytes;
}

size_t ReadAllSimpleIni(const std::string& path) {
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(path.c_str()) < 0)
        std::abort();
    CSimpleIniA::TNamesDepend sections, keys;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    size_t bytes = 0;
    for (const auto& section : sections) {
        ini.GetAllKeys(section.pItem, keys);
        for (const auto& key : keys)
            bytes += std::strlen(ini.GetValue(section.pItem, key.pItem, ""));
    }
    return bytes;
}

template <size_t (*Read)(const std::string&)>
void LoadAndReadAll(benchmark::State& state, const std::string& path) {
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = Read(path));
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void OursSave(benchmark::State& state, const std::string& path) {
    TMemIniFile ini(path);
    const std::string out = Dir() + "/ours-out.ini";
    TMemIniFile target(out);
    target.SetText(ini.Text());
    for (auto _ : state)
        target.Save();
}

void OursRender(benchmark::State& state, const std::string& path) {
    TMemIniFile ini(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.Text());
}

void SimpleIniSave(benchmark::State& state, const std::string& path) {
    CSimpleIniA ini(false, false, false);
    ini.LoadFile(path.c_str());
    const std::string out = Dir() + "/simpleini-out.ini";
    for (auto _ : state)
        if (ini.SaveFile(out.c_str(), false) < 0)
            state.SkipWithError("SimpleIni could not save");
}

void Register() {
    struct Input {
        const char* name;
        const std::string& (*path)();
    };
    const Input inputs[] = {
        {"servers255", []() -> const std::string& { return ServersFile(); }},
        {"generated100k", []() -> const std::string& { return GeneratedFile(100000); }}};
    for (const Input& input : inputs) {
        const std::string path = input.path();
        const std::string n = input.name;
        benchmark::RegisterBenchmark(
            ("LoadReadAll/" + n + "/ours").c_str(),
            [path](benchmark::State& s) { LoadAndReadAll<ReadAllOurs>(s, path); });
        benchmark::RegisterBenchmark(
            ("LoadReadAll/" + n + "/inih_map").c_str(),
            [path](benchmark::State& s) { LoadAndReadAll<ReadAllInih>(s, path); });
        benchmark::RegisterBenchmark(
            ("LoadReadAll/" + n + "/simpleini").c_str(),
            [path](benchmark::State& s) { LoadAndReadAll<ReadAllSimpleIni>(s, path); });
        benchmark::RegisterBenchmark(("Save/" + n + "/ours_atomic_fsync").c_str(),
                                     [path](benchmark::State& s) { OursSave(s, path); });
        benchmark::RegisterBenchmark(("Save/" + n + "/ours_render_only").c_str(),
                                     [path](benchmark::State& s) { OursRender(s, path); });
        benchmark::RegisterBenchmark(("Save/" + n + "/simpleini").c_str(),
                                     [path](benchmark::State& s) { SimpleIniSave(s, path); });
    }
    // Growth: the same shape of file at 12,500 .. 200,000 sections.
    benchmark::RegisterBenchmark("Growth/ours_load_read_all",
                                 [](benchmark::State& s) {
                                     const std::string& path =
                                         GeneratedFile(static_cast<int>(s.range(0)));
                                     for (auto _ : s)
                                         benchmark::DoNotOptimize(ReadAllOurs(path));
                                     s.SetComplexityN(s.range(0));
                                 })
        ->RangeMultiplier(2)
        ->Range(12500, 200000)
        ->Complexity(benchmark::oN)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Dir());
    return 0;
}
