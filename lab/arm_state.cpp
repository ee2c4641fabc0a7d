// The virtual arm kept between processes: what a real arm keeps physically
// (where its axes and its tool stand, the air in its muscles, what the cards
// were last told, the emergency stop) is written to the lab directory when a
// command ends and read back when the next starts.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "lab/lab.h"
#include "lab/lab_state.h"
#include "platform/stdio_file.h"

namespace lab {

namespace {

// Changes whenever the fields below change, so that a state written by an
// other layout is refused instead of read wrongly.
constexpr const char* kHeader = "virtual-arm 3";

// Every field of the state in file order, for both the writer and the
// reader: `io(name, values)` with a scalar or an array.
template <class Io>
void VisitArm(Io& io, LabState& lab, int& emergencyStop) {
    io("position_counts", lab.position);
    for (plant::Motor& motor : lab.motor) {
        io("motor_speed_counts_per_s", motor.speed);
        io("motor_integral", motor.integral);
    }
    io("pressure_bar", lab.pressureBar);
    for (plant::MuscleMemory& muscle : lab.muscle) {
        io("muscle_slip", muscle.slip);
        io("muscle_volume_m3", muscle.volume);
        io("muscle_set_reference_bar", muscle.setReference);
        io("muscle_inflating", muscle.inflating);
        io("muscle_set_bar", muscle.setBar);
        io("muscle_held_s", muscle.heldSeconds);
    }
    io("valves_sealed", lab.valvesSealed);
    io("tool_rad", lab.tool.angle);
    io("tool_rad_per_s", lab.tool.rate);
    io("motion_card_initialised", lab.initialised);
    io("dac_converting", lab.dacConverting);
    io("limit_check", lab.limitCheck);
    io("servo_on", lab.servoOn);
    io("dac_output_v", lab.dacOutput);
    io("counter_zero", lab.counterZero);
    io("sync_output", lab.syncOutput);
    io("latched_valve_v", lab.latchedValve);
    io("valve_output_v", lab.valveOutput);
    io("emergency_stop", emergencyStop);
}

// Exact text of any value of the state: hexadecimal floating point.
struct Writer {
    std::string text;

    template <class T>
    void operator()(const char* name, const T& value) {
        text += name;
        Append(value);
        text += "\n";
    }
    template <class T, std::size_t N>
    void operator()(const char* name, const T (&values)[N]) {
        text += name;
        for (const T& value : values) {
            Append(value);
        }
        text += "\n";
    }
    template <class T>
    void Append(const T& value) {
        char number[64];
        std::snprintf(number, sizeof number, " %a", static_cast<double>(value));
        text += number;
    }
};

// Reads the fields back line by line; the first line that does not hold
// the expected name and count of finite numbers is the damage.
struct Reader {
    explicit Reader(const std::string& text) : lines(text) {}

    std::istringstream lines;
    int line = 1;
    std::string damage;

    template <class T>
    void operator()(const char* name, T& value) {
        T values[1] = {value};
        (*this)(name, values);
        value = values[0];
    }
    template <class T, std::size_t N>
    void operator()(const char* name, T (&values)[N]) {
        if (!damage.empty()) {
            return;
        }
        ++line;
        std::string text;
        std::getline(lines, text);
        std::istringstream words(text);
        std::string word;
        words >> word;
        std::size_t count = 0;
        double numbers[N] = {};
        for (std::string number; words >> number; ++count) {
            char* end = nullptr;
            const double value = std::strtod(number.c_str(), &end);
            if (count == N || *end != '\0' || !std::isfinite(value)) {
                count = N + 1;
                break;
            }
            numbers[count] = value;
        }
        if (word != name || count != N) {
            damage = "line " + std::to_string(line) + " should hold " + name + " and " +
                     std::to_string(N) + (N == 1 ? " number" : " numbers");
            return;
        }
        for (std::size_t i = 0; i < N; ++i) {
            values[i] = static_cast<T>(numbers[i]);
        }
    }
};

std::string Refusal(const std::filesystem::path& path, const std::string& what) {
    return path.string() + ": " + what + "; lab-run reset-arm puts the arm back at rest";
}

}  // namespace

std::string RestoreArm(const std::string& dir) {
    const std::filesystem::path path = std::filesystem::path(dir) / kArmStateFileName;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return "";
    }
    std::string problem;
    const std::optional<std::string> text = platform::ReadWholeFile(path, problem);
    if (!text) {
        return problem;
    }
    Reader reader(*text);
    std::string header;
    std::getline(reader.lines, header);
    if (header != kHeader) {
        return Refusal(path, "not a state of this virtual lab (first line '" + header +
                                 "', expected '" + kHeader + "')");
    }
    LabState& lab = State();
    LabState restored = lab;
    int emergencyStop = 0;
    VisitArm(reader, restored, emergencyStop);
    std::string noise;
    if (reader.damage.empty()) {
        ++reader.line;
        std::getline(reader.lines, noise);
        std::istringstream state(noise.substr(std::min(noise.size(), sizeof "noise" - 1)));
        if (noise.rfind("noise ", 0) != 0 || !(state >> restored.noise)) {
            reader.damage = "line " + std::to_string(reader.line) +
                            " should hold noise and the sensor noise generator's state";
        }
    }
    if (!reader.damage.empty()) {
        return Refusal(path, "damaged: " + reader.damage);
    }
    // Only the visited fields and the noise differ from the lab as it was.
    lab = restored;
    if (emergencyStop != 0) {
        PressEmergencyStop();
    } else {
        ReleaseEmergencyStop();
    }
    return "";
}

std::string SaveArm(const std::string& dir) {
    const std::filesystem::path path = std::filesystem::path(dir) / kArmStateFileName;
    const std::filesystem::path beside = path.string() + ".new";
    LabState& lab = State();
    lab.Advance();
    Writer writer{std::string(kHeader) + "\n"};
    int emergencyStop = EmergencyStopPressed() ? 1 : 0;
    VisitArm(writer, lab, emergencyStop);
    std::ostringstream noise;
    noise << lab.noise;
    writer.text += "noise " + noise.str() + "\n";

    platform::StdioFile file(std::fopen(beside.c_str(), "w"));
    const bool written = file && std::fputs(writer.text.c_str(), file.get()) >= 0;
    if (!written || std::fclose(file.release()) != 0) {
        return beside.string() + ": cannot be written: " + std::strerror(errno);
    }
    std::error_code error;
    std::filesystem::rename(beside, path, error);
    if (error) {
        return path.string() + ": cannot be replaced: " + error.message();
    }
    return "";
}

std::string ResetArm(const std::string& dir) {
    const std::filesystem::path path = std::filesystem::path(dir) / kArmStateFileName;
    std::error_code error;
    std::filesystem::remove(path, error);
    return error ? path.string() + ": cannot be removed: " + error.message() : "";
}

}  // namespace lab
