// How fast the virtual lab simulates on the virtual clock: one 27 s control
// run's card traffic (1350 samples of 20 ms), journal off. The goal is at
// least 100 times real time, i.e. under 0.27 s per run.
#include <benchmark/benchmark.h>

#include <cmath>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "platform/clock.h"

namespace {

constexpr int kSamples = 1350;
constexpr double kRunSeconds = kSamples * 0.020;

void ControlRunTraffic(benchmark::State& state) {
    platform::VirtualClockScope clock;
    lab::Reset();
    lab::EnableJournal(false);
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    float pressures[12];
    float readoutPressures[12];
    float angles[5];
    for (auto _ : state) {
        lab::SetArmPose({});
        for (int axis = 0; axis < 3; ++axis) {
            MotorAxes[axis].ServoOn();
        }
        for (int k = 0; k < kSamples; ++k) {
            if (CheckEmergencyStop() == 0 || CheckLimitSwitches() == 0) {
                state.SkipWithError("the run stopped early");
                break;
            }
            LARGE_INTEGER t0;
            QueryPerformanceCounter(&t0);
            for (int m = 0; m < 4; ++m) {
                ValveVoltages[m] = 4.0f + static_cast<float>(std::sin(k * 0.01 + m));
            }
            WriteValveVoltages(ValveVoltages);
            ReadPressures(pressures);
            for (int axis = 0; axis < 3; ++axis) {
                MotorAxes[axis].SetVoltage(0.05f * static_cast<float>(std::sin(k * 0.02)));
            }
            ReadEncoderCounts();
            // The redraw's readout.
            ReadPressures(readoutPressures);
            ReadEncoderCounts();
            ReadJointAngles(angles);
            LARGE_INTEGER t1;
            do {
                QueryPerformanceCounter(&t1);
            } while ((t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart < 20.0);
        }
        for (int axis = 0; axis < 3; ++axis) {
            MotorAxes[axis].ServoOff();
        }
        benchmark::DoNotOptimize(EncoderCounts);
    }
    // Simulated seconds per wall-clock second: the speed-up over real time.
    state.counters["speedup"] = benchmark::Counter(
        kRunSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ControlRunTraffic)->Unit(benchmark::kMillisecond);

}  // namespace
