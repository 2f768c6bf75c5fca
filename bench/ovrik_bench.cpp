// Benchmarks, each against its floor or its peer measured in the same run:
//   BM_LoadBitmap vs BM_RawRead (one fread of the same bytes) and
//                    BM_StbLoad (stb_image on the same file)
//   BM_Frame      vs BM_ClearOnlyFrame (clear, swap and finish only)
//   BM_Outline    the two 20-vertex layers
// The frame benchmarks need an X display and are skipped without one.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stb/stb_image.h>
#include <string>
#include <vector>

#include "app/render.h"
#include "app/scene.h"
#include "bitmap_writer.h"
#include "logo/outline.h"
#include "texture/bitmap.h"

namespace {

constexpr int bigSide = 4096;
std::filesystem::path bigBitmapFile; // removed again when the run ends

// A 4096 x 4096 picture (48 MiB), written once per run; the first read
// brings it into the page cache for the timed ones.
const std::string& bigBitmapPath() {
    static const std::string path = [] {
        std::vector<unsigned char> rgb(static_cast<size_t>(bigSide) * bigSide * 3);
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<unsigned char>(i * 31 + i / 4096);
        }
        bigBitmapFile = std::filesystem::temp_directory_path() / "ovrik-bench-4096.bmp";
        if (!writeFile(bigBitmapFile.string(), encodeBitmap(bigSide, bigSide, rgb))) {
            std::fprintf(stderr, "cannot write %s\n", bigBitmapFile.string().c_str());
            std::exit(1);
        }
        return bigBitmapFile.string();
    }();
    return path;
}

constexpr int64_t bigPixelBytes = int64_t{bigSide} * bigSide * 3;

void BM_RawRead(benchmark::State& state) {
    const std::string& path = bigBitmapPath();
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        auto* pixels = static_cast<unsigned char*>(std::malloc(bigPixelBytes));
        std::fseek(file, 54, SEEK_SET);
        if (std::fread(pixels, bigPixelBytes, 1, file) != 1) {
            state.SkipWithError("short read");
        }
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_LoadBitmap(benchmark::State& state) {
    const std::string& path = bigBitmapPath();
    for (auto _ : state) {
        BitmapImage image;
        if (loadBitmap(path.c_str(), &image) != 1) {
            state.SkipWithError("loadBitmap failed");
        }
        benchmark::DoNotOptimize(image.pixels);
        std::free(image.pixels);
    }
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_StbLoad(benchmark::State& state) {
    const std::string& path = bigBitmapPath();
    for (auto _ : state) {
        int width = 0, height = 0, channels = 0;
        unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
        if (pixels == nullptr) {
            state.SkipWithError("stbi_load failed");
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_Outline(benchmark::State& state) {
    Outline front{}, back{};
    for (auto _ : state) {
        buildLayers(scene.logoWidth, scene.logoHeight, scene.strokeWidth, scene.logoDepth,
                    scene.slantAngle, front, back);
        benchmark::DoNotOptimize(front);
        benchmark::DoNotOptimize(back);
    }
}

// The viewer's own 400 x 400 window, opened once for both frame benchmarks.
bool windowReady() {
    static const bool ready = [] {
        if (std::getenv("DISPLAY") == nullptr) {
            return false;
        }
        static char name[] = "ovrik-bench";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        openWindow(&argc, argv);
        for (int i = 0; i < 50; ++i) {
            glutMainLoopEvent(); // map and expose the window
        }
        return true;
    }();
    return ready;
}

void BM_Frame(benchmark::State& state) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        display();
        glFinish();
    }
}

void BM_ClearOnlyFrame(benchmark::State& state) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    const auto& c = scene.clearColor;
    for (auto _ : state) {
        glClearColor(c[0], c[1], c[2], c[3]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glutSwapBuffers();
        glFinish();
    }
}

BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearOnlyFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Outline);

// Prints the ratios the goals are stated in, after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With --benchmark_repetitions the median stands for the benchmark.
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && (single || median)) {
                seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        ratio("BM_LoadBitmap", "BM_RawRead", "goal: at most 1.5");
        ratio("BM_StbLoad", "BM_LoadBitmap", "goal: at least 3");
        ratio("BM_Frame", "BM_ClearOnlyFrame", "goal: at most 1.5");
    }

  private:
    void ratio(const std::string& a, const std::string& b, const char* goal) {
        if (seconds_.count(a) == 0 || seconds_.count(b) == 0) {
            return;
        }
        std::printf("ratio %s / %s = %.2f (%s)\n", a.c_str(), b.c_str(), seconds_[a] / seconds_[b],
                    goal);
    }

    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (!bigBitmapFile.empty()) {
        std::filesystem::remove(bigBitmapFile);
    }
    return 0;
}
