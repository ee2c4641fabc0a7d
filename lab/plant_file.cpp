#include "lab/plant_file.h"

#include <toml++/toml.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>

#include "lab/lab.h"
#include "platform/stdio_file.h"

namespace lab {

namespace {

// The shortest text without an exponent that reads back as the same double.
std::string Shortest(double value) {
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, written.ptr);
}

// `text` as comment lines of at most 78 characters.
std::string Comment(const std::string& text) {
    std::string lines;
    std::string line = "#";
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (line.size() + 1 + word.size() > 78) {
            lines += line + "\n";
            line = "#";
        }
        line += " " + word;
    }
    return lines + line + "\n";
}

// A value as TOML writes it: a whole-number key as an integer, a real with a
// point or an exponent, so that it reads back as a float.
std::string ValueText(const plant::PlantKey& key, double value) {
    if (key.whole) {
        return std::to_string(static_cast<long long>(value));
    }
    std::string text = Shortest(value);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string RangeText(const plant::PlantKey& key) {
    return Shortest(key.low) + " to " + Shortest(key.high);
}

std::string KeyText(const plant::PlantKey& key) {
    return std::string("[") + key.group + "] " + key.name;
}

std::string GroupNames() {
    std::string names;
    for (const plant::PlantKey& key : plant::PlantKeys()) {
        const std::string group = std::string("[") + key.group + "]";
        if (names.find(group) == std::string::npos) {
            names += names.empty() ? group : ", " + group;
        }
    }
    return names;
}

const plant::PlantKey* FindKey(std::string_view group, std::string_view name) {
    for (const plant::PlantKey& key : plant::PlantKeys()) {
        if (group == key.group && (name.empty() || name == key.name)) {
            return &key;
        }
    }
    return nullptr;
}

std::string Where(const std::string& path, const toml::node& node) {
    return path + ":" + std::to_string(node.source().begin.line) + ": ";
}

std::string NodeText(const toml::node& node) {
    if (node.is_floating_point()) {
        char text[32];
        const auto written =
            std::to_chars(text, text + sizeof text, node.as_floating_point()->get());
        const std::string value(text, written.ptr);
        return value.find_first_not_of("-0123456789") == std::string::npos ? value + ".0" : value;
    }
    std::ostringstream text;
    node.visit([&text](const auto& value) { text << value; });
    return text.str();
}

// One value of the file into `parameters`, or why it is refused.
std::string ReadValue(const std::string& path, const plant::PlantKey& key, const toml::node& node,
                      plant::Parameters& parameters) {
    const std::string what = Where(path, node) + KeyText(key) + " = " + NodeText(node);
    double value = 0.0;
    if (node.is_integer()) {
        value = static_cast<double>(node.as_integer()->get());
    } else if (node.is_floating_point() && !key.whole) {
        value = node.as_floating_point()->get();
    } else {
        return what + " is not " + (key.whole ? "a whole number" : "a number") + " from " +
               RangeText(key);
    }
    if (!(value >= key.low && value <= key.high)) {
        return what + " is outside its allowed range " + RangeText(key);
    }
    key.field(parameters) = value;
    return "";
}

// Each axis: lower stop below its lower switch, upper switch below its upper
// stop, so that the switches sit inside the travel.
std::string CheckSwitchOrder(const std::string& path, const plant::Parameters& parameters) {
    constexpr const char* kAxisNames[3] = {"carriage", "shoulder", "elbow"};
    for (int axis = 0; axis < 3; ++axis) {
        const plant::AxisParameters& p = parameters.axes[axis];
        const std::string name = kAxisNames[axis];
        if (p.lowerStop >= p.lowerSwitch) {
            return path + ": [switches] " + name +
                   "_lower_switch_counts = " + Shortest(p.lowerSwitch) + " must lie above " + name +
                   "_lower_stop_counts = " + Shortest(p.lowerStop);
        }
        if (p.upperSwitch >= p.upperStop) {
            return path + ": [switches] " + name +
                   "_upper_switch_counts = " + Shortest(p.upperSwitch) + " must lie below " + name +
                   "_upper_stop_counts = " + Shortest(p.upperStop);
        }
    }
    return "";
}

}  // namespace

std::string ReadPlantFile(const std::string& path, plant::Parameters& parameters) {
    if (const std::string why = platform::ReadWholeProblem(path); !why.empty()) {
        return path + ": " + why;
    }
    toml::table file;
    try {
        file = toml::parse_file(path);
    } catch (const toml::parse_error& error) {
        return path + ":" + std::to_string(error.source().begin.line) + ":" +
               std::to_string(error.source().begin.column) + ": " +
               std::string(error.description());
    }
    plant::Parameters read = parameters;
    for (const auto& [group, groupNode] : file) {
        const toml::table* keys = groupNode.as_table();
        if (keys == nullptr || FindKey(group.str(), "") == nullptr) {
            return Where(path, groupNode) + "unknown group " + std::string(group.str()) +
                   "; the groups are " + GroupNames();
        }
        for (const auto& [name, node] : *keys) {
            const plant::PlantKey* key = FindKey(group.str(), name.str());
            if (key == nullptr) {
                return Where(path, node) + "unknown key [" + std::string(group.str()) + "] " +
                       std::string(name.str()) + " = " + NodeText(node) +
                       "; lab-run plant --write FILE lists every key";
            }
            if (std::string refusal = ReadValue(path, *key, node, read); !refusal.empty()) {
                return refusal;
            }
        }
    }
    if (std::string refusal = CheckSwitchOrder(path, read); !refusal.empty()) {
        return refusal;
    }
    parameters = read;
    return "";
}

std::string FormatPlantFile(const plant::Parameters& parameters, bool commented) {
    std::string text;
    if (commented) {
        text +=
            "# The virtual lab's plant. Kept as virtual-lab.toml in the lab directory,\n"
            "# beside NeuralFiles/, it is read when lab-run or tendon starts there. Every\n"
            "# key is optional: a missing key keeps the built-in value shown here. A key's\n"
            "# name ends in its unit; a value outside its allowed range is refused.\n";
    }
    plant::Parameters values = parameters;
    const std::string_view none;
    std::string_view group = none;
    for (const plant::PlantKey& key : plant::PlantKeys()) {
        if (group != key.group) {
            group = key.group;
            text += (text.empty() ? "[" : "\n[") + std::string(group) + "]\n";
        }
        if (commented) {
            text += Comment(std::string(key.description) + "; allowed " + RangeText(key) + ".");
        }
        const double value = key.field(values);
        text += std::string(key.name) + " = " + ValueText(key, value);
        if (!commented && value != key.builtIn) {
            text += "  # built-in " + ValueText(key, key.builtIn);
        }
        text += "\n";
    }
    return text;
}

std::string LoadPlantFile(const std::string& dir) {
    const std::filesystem::path path = std::filesystem::path(dir) / kPlantFileName;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        SetPlant(plant::BuiltIn());
        return "";
    }
    plant::Parameters parameters = plant::BuiltIn();
    if (std::string refusal = ReadPlantFile(path.string(), parameters); !refusal.empty()) {
        return refusal;
    }
    SetPlant(parameters);
    return "";
}

}  // namespace lab
