// The periodic and one-off work of the windows, each beside a reference:
//   outlines of the eight flight frames  vs Qt's own region-from-mask path
//   one flight tick (hidden window)      vs moving the window and setting its mask alone
//   one airframe step                    vs one copy of the whole client picture
// Runs under whatever display the environment gives (the benchmark script
// gives its own X server).
#include "app/AppContext.h"
#include "app/MainForm.h"
#include "flight/Form1.h"
#include "flight/FrameShapes.h"

#include <QApplication>
#include <QBitmap>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <memory>

namespace {

std::array<QImage, 8> framePictures()
{
    std::array<QImage, 8> frames;
    for (int i = 0; i < 8; ++i)
        frames[size_t(i)] = QImage(QStringLiteral(":/assets/frame%1.bmp").arg(i));
    return frames;
}

QRegion qtMaskRegion(const QImage& frame)
{
    return QRegion(
        QBitmap::fromImage(frame.createMaskFromColor(frame.pixel(0, 0), Qt::MaskInColor)));
}

// The program with its windows loaded (the flight window hidden), as after start-up.
struct Program
{
    QTemporaryDir folder;
    std::unique_ptr<AppContext> ctx;

    Program()
    {
        QDir().mkpath(folder.path() + QStringLiteral("/★MailData"));
        ctx = std::make_unique<AppContext>(folder.path(),
                                           folder.path() + QStringLiteral("/orvenda.ini"));
        ctx->endProcess = [] {};
        ctx->mainForm.Show();
    }
};

// Made in main(), after the application object and gone before it.
Program* g_program = nullptr;

Program& program()
{
    return *g_program;
}

void BM_FrameOutlines(benchmark::State& state)
{
    const auto frames = framePictures();
    for (auto _ : state) {
        for (const QImage& frame : frames)
            benchmark::DoNotOptimize(FrameShapes::outline(frame));
    }
}
BENCHMARK(BM_FrameOutlines);

void BM_FrameOutlinesQtMask(benchmark::State& state)
{
    const auto frames = framePictures();
    for (const QImage& frame : frames) {
        if (qtMaskRegion(frame) != FrameShapes::outline(frame)) {
            state.SkipWithError("Qt's mask region differs from the outline");
            return;
        }
    }
    for (auto _ : state) {
        for (const QImage& frame : frames)
            benchmark::DoNotOptimize(qtMaskRegion(frame));
    }
}
BENCHMARK(BM_FrameOutlinesQtMask);

void BM_FlightTick(benchmark::State& state)
{
    Form1& form1 = program().ctx->form1.get();
    for (auto _ : state)
        form1.Timer1_Timer();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_FlightTick);

void BM_FlightTickWindowWorkOnly(benchmark::State& state)
{
    Form1& form1 = program().ctx->form1.get();
    int i = 0;
    for (auto _ : state) {
        form1.move(100 + (i & 63), 100 + (i & 31));
        form1.setMask(form1.frameRegion(i & 7));
        ++i;
    }
    QCoreApplication::processEvents();
}
BENCHMARK(BM_FlightTickWindowWorkOnly);

void BM_AirframeStep(benchmark::State& state)
{
    MainForm& main = program().ctx->mainForm.get();
    for (auto _ : state)
        main.Timer1_Timer();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_AirframeStep);

void BM_AirframeStepOneFrameCopy(benchmark::State& state)
{
    const QImage source = program().ctx->mainForm->skyImage();
    QImage target(source.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, source);
    }
    benchmark::DoNotOptimize(target.constBits());
}
BENCHMARK(BM_AirframeStepOneFrameCopy);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Program loaded;
    g_program = &loaded;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
