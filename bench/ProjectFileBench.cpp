// Loading and saving a project of 10,000 translators (10 presets of 1,000), from and to its
// file text. The resident-set peak of the process is reported as a counter (kilobytes).
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "foundation/TIniFile.h"
#include "midi/MIDIAliasManager.h"
#include "midi/MIDIRouter.h"
#include "midi/TTransMidiAction.h"
#include "platform/fake/FakeFileSystem.h"
#include "project/TProjectFile.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

namespace {

constexpr int kPresets = 10;
constexpr int kTranslatorsPerPreset = 1000;

std::string projectText() {
    std::string text = "[Project]\nVersion=2\nAuthor=Bench\nDefaultInPorts=MIDA00010004Keys\n";
    char line[160];
    for (int p = 0; p < kPresets; ++p) {
        text += "[Preset." + std::to_string(p) + "]\nName=Preset " + std::to_string(p) +
                "\nActive=1\nPresetSwitchIgnore=0\n";
        for (int t = 0; t < kTranslatorsPerPreset; ++t) {
            std::snprintf(line, sizeof line,
                          "Name%d=t%d\nIncoming%d=MID1%02X%02X40\nOutgoing%d=MID1B0%02Xpp\n"
                          "Options%d=Actv01Stop00OutO00%s\n",
                          t, t, t, 0x90 + t % 16, t % 128, t, t % 128, t,
                          t % 10 == 0 ? "Dlay10:Millis" : "");
            text += line;
        }
    }
    return text;
}

struct Project {
    Tr::MIDIAliasManager aliases;
    Tr::MIDIRouter router{Tr::MIDIRouter::Options{&aliases, nullptr, false}};
    Tr::TGlobalTranslateParams globals;
    Tr::TPresetHandler handler{&globals};
    Platform::FakeFileSystem files;
    Tr::TProjectFile file{handler, &router, files};
};

void reportPeak(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_kb"] = static_cast<double>(usage.ru_maxrss);
}

void BM_LoadProject(benchmark::State& state) {
    Tr::registerEngineActions();
    Tr::registerMidiActions();
    const std::string text = projectText();
    Project project;
    project.files.setFile("/bench.crvp", text);
    for (auto _ : state) {
        const int presets = project.file.loadFromFile("/bench.crvp", nullptr, false);
        benchmark::DoNotOptimize(presets);
    }
    reportPeak(state);
}
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond);

void BM_SaveProject(benchmark::State& state) {
    Tr::registerEngineActions();
    Tr::registerMidiActions();
    Project project;
    project.files.setFile("/bench.crvp", projectText());
    project.file.loadFromFile("/bench.crvp", nullptr, false);
    for (auto _ : state) {
        Tr::TIniFile ini;
        project.file.saveToIni(ini);
        std::string text = ini.toText();
        benchmark::DoNotOptimize(text);
    }
    reportPeak(state);
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

} // namespace
