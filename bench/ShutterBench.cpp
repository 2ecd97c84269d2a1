// A still through the shutter into a folder that already holds numbered files (another camera
// sharing the folder and base name, a serial-number reset) against one into an empty folder,
// measured side by side in the same run. The "ratio" counter is the first over the second.
// Runs in a private HOME, so the user's settings and pictures are never touched.
#include "capture/CVController.h"
#include "capture/Shutter.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/ImgFileMgr.h"
#include "settings/UserDefault.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

QString Numbered(const QString& folder, int number) {
    return folder + QStringLiteral("/pict%1.jpg").arg(number, 5, 10, QLatin1Char('0'));
}

struct StillFolder {
    explicit StillFolder(const QString& folder, int existing) : path(folder) {
        QDir().mkpath(folder);
        for (int n = 1; n <= existing; ++n) {
            QFile file(Numbered(folder, n));
            file.open(QIODevice::WriteOnly);
        }
        files = std::make_unique<CImgFileMgr>(&g_PictFiletypeMgr, QStringLiteral("PictNum"));
        files->SetFilename(QStringLiteral("pict"));
        files->SetFoldername(folder);
    }
    // One still from serial number 1; the new file is removed again outside the timing.
    Clock::duration Shoot(CCVController& controller, int existing) {
        files->SetSerialNumber(1);
        const auto t0 = Clock::now();
        const int failure = ShootStill(*files, controller);
        const auto t1 = Clock::now();
        if (failure != 0 || !QFile::remove(Numbered(path, existing + 1)))
            std::abort();
        return t1 - t0;
    }
    QString path;
    std::unique_ptr<CImgFileMgr> files;
};

void BM_StillAmongExistingFiles(benchmark::State& state) {
    const int existing = int(state.range(0));
    QTemporaryDir root;
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    if (!controller.GrabFrame(0, 0, 320, 240))
        std::abort();
    StillFolder crowded(root.path() + QStringLiteral("/crowded"), existing);
    StillFolder empty(root.path() + QStringLiteral("/empty"), 0);
    Clock::duration crowdedTime{}, emptyTime{};
    for (auto _ : state) {
        crowdedTime += crowded.Shoot(controller, existing);
        emptyTime += empty.Shoot(controller, 0);
    }
    const double n = double(state.iterations());
    const double crowdedMs = std::chrono::duration<double, std::milli>(crowdedTime).count() / n;
    const double emptyMs = std::chrono::duration<double, std::milli>(emptyTime).count() / n;
    state.counters["existing_ms"] = crowdedMs;
    state.counters["empty_ms"] = emptyMs;
    state.counters["ratio"] = crowdedMs / emptyMs;
}

} // namespace

BENCHMARK(BM_StillAmongExistingFiles)
    ->ArgNames({"existing"})
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    // A private home: the settings file, the lock and the sound lookup stay out of the user's.
    QTemporaryDir home;
    ::setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config").constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()).constData(), 1);
    ::setenv("VISTRELCV_CAMERAS", "testsrc:320x240@60", 1);
    QCoreApplication app(argc, argv);
    FillFiletypeTables();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
