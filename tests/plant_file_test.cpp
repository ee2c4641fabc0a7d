// The plant file: its template reads back as the built-in plant, a file
// changes the simulated arm, and a bad file is refused with one line that
// names the key, the value and what is allowed, before anything moves.
#include "lab/plant_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cards/daq_card.h"
#include "lab/lab.h"
#include "platform/stdio_file.h"
#include "tests/lab_files.h"
#include "tests/lab_session.h"

namespace {

namespace plant = lab::plant;

void WriteText(const std::string& path, const std::string& text) {
    platform::StdioFile file(std::fopen(path.c_str(), "w"));
    ASSERT_TRUE(file);
    std::fputs(text.c_str(), file.get());
}

// Every key's value, compared bit for bit.
void ExpectSamePlant(const plant::Parameters& read, const plant::Parameters& expected) {
    plant::Parameters a = read, b = expected;
    for (const plant::PlantKey& key : plant::PlantKeys()) {
        EXPECT_EQ(std::memcmp(&key.field(a), &key.field(b), sizeof(double)), 0) << key.name;
    }
}

// The refusal of a plant file holding `text`; the plant it was read over
// must stay as it was.
std::string Refusal(const std::string& text) {
    WriteText("virtual-lab.toml", text);
    plant::Parameters parameters = plant::BuiltIn();
    const std::string refusal = lab::ReadPlantFile("virtual-lab.toml", parameters);
    ExpectSamePlant(parameters, plant::BuiltIn());
    return refusal;
}

TEST(PlantFile, TemplateAndPrintedPlantReadBackBitForBit) {
    WriteText("template.toml", lab::FormatPlantFile(plant::BuiltIn(), true));
    plant::Parameters read = {};
    EXPECT_EQ(lab::ReadPlantFile("template.toml", read), "");
    ExpectSamePlant(read, plant::BuiltIn());

    // Values that need every digit, as lab-run plant prints them.
    plant::Parameters odd = plant::BuiltIn();
    odd.toolMassKilograms = 1.0 / 3.0;
    odd.braidRadiusMetres = 2.0 / 7.0 * 1e-2;
    odd.noiseSeed = 4294967295.0;
    WriteText("odd.toml", lab::FormatPlantFile(odd, false));
    read = plant::BuiltIn();
    EXPECT_EQ(lab::ReadPlantFile("odd.toml", read), "");
    ExpectSamePlant(read, odd);
}

TEST(PlantFile, MissingKeysKeepTheBuiltInValues) {
    WriteText("virtual-lab.toml", "[tool]\nmass_kg = 2\n[sensors]\nseed = 7\n");
    plant::Parameters read = plant::BuiltIn();
    ASSERT_EQ(lab::ReadPlantFile("virtual-lab.toml", read), "");
    plant::Parameters expected = plant::BuiltIn();
    expected.toolMassKilograms = 2.0;
    expected.noiseSeed = 7.0;
    ExpectSamePlant(read, expected);
}

TEST(PlantFile, RefusalsNameTheLineKeyValueAndRange) {
    EXPECT_EQ(Refusal("[tool]\nmass_kg = 1.5\nmas_kg = 2.0\n"),
              "virtual-lab.toml:3: unknown key [tool] mas_kg = 2.0; lab-run plant --write "
              "FILE lists every key");
    EXPECT_EQ(Refusal("[tool]\nmass_kg = \"heavy\"\n"),
              "virtual-lab.toml:2: [tool] mass_kg = 'heavy' is not a number from 0.001 to 100");
    EXPECT_EQ(Refusal("[sensors]\nseed = 1.5\n"),
              "virtual-lab.toml:2: [sensors] seed = 1.5 is not a whole number from 0 to "
              "4294967295");
    EXPECT_EQ(Refusal("[tool]\ncentre_m = -0.1\n"),
              "virtual-lab.toml:2: [tool] centre_m = -0.1 is outside its allowed range 0 to 2");
    EXPECT_EQ(Refusal("[valves]\nsupply_bar = nan\n"),
              "virtual-lab.toml:2: [valves] supply_bar = nan is outside its allowed range 0.1 "
              "to 20");
    EXPECT_EQ(Refusal("[tools]\nmass_kg = 1.0\n"),
              "virtual-lab.toml:1: unknown group tools; the groups are [motors], [switches], "
              "[valves], [muscles], [tool], [sensors]");
    EXPECT_EQ(Refusal("[switches]\ncarriage_lower_switch_counts = -1300.0\n"),
              "virtual-lab.toml: [switches] carriage_lower_switch_counts = -1300 must lie "
              "above carriage_lower_stop_counts = -1200");
    EXPECT_EQ(Refusal("[tool\nmass_kg = 1\n").rfind("virtual-lab.toml:1:", 0), 0u);
}

// A tool twice as heavy turns the joint at the homing references by its
// extra weight over the muscles' stiffness (2.1 N m over about 14 N m/rad,
// some 9 degrees): the file reaches the physics.
TEST_F(LabSessionTest, PlantFileChangesTheSimulatedArm) {
    const auto restAngle = [] {
        ValveVoltages[0] = 5.0f;
        ValveVoltages[1] = 5.6f;
        ValveVoltages[2] = 5.6f;
        ValveVoltages[3] = 5.0f;
        WriteValveVoltages(ValveVoltages);
        Sleep(3000);
        return lab::TakeSnapshot().toolDegrees;
    };
    const double builtIn = restAngle();
    WriteText("virtual-lab.toml", "[tool]\nmass_kg = 2.4\n");
    ASSERT_EQ(lab::LoadPlantFile("."), "");
    ResetLabWithCardsOpen();
    const double heavy = restAngle();
    EXPECT_EQ(lab::Plant().toolMassKilograms, 2.4);
    EXPECT_NEAR(heavy - builtIn, 9.0, 2.0);

    // A refused file leaves the plant as it was.
    WriteText("virtual-lab.toml", "[tool]\nmass_kg = 0\n");
    EXPECT_EQ(lab::LoadPlantFile("."),
              "./virtual-lab.toml:2: [tool] mass_kg = 0 is outside its allowed range 0.001 to "
              "100");
    EXPECT_EQ(lab::Plant().toolMassKilograms, 2.4);
    std::filesystem::remove("virtual-lab.toml");
    EXPECT_EQ(lab::LoadPlantFile("."), "");
    ExpectSamePlant(lab::Plant(), plant::BuiltIn());
}

TEST(PlantFile, LabRunPrintsThePlantAndRefusesABadFileBeforeAnythingMoves) {
    using labtest::RunTool;
    const labtest::ToolRun written = RunTool(LAB_RUN, "plant --write template.toml");
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out, "lab-run: plant: wrote the built-in plant to template.toml\n");

    WriteText("virtual-lab.toml", "[tool]\nmass_kg = 2.0\n");
    const labtest::ToolRun shown = RunTool(LAB_RUN, "plant");
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("\n[tool]\n"), std::string::npos);
    EXPECT_NE(shown.out.find("\nmass_kg = 2.0  # built-in 1.2\n"), std::string::npos);
    EXPECT_NE(shown.out.find("\ncentre_m = 0.18\n"), std::string::npos);

    WriteText("virtual-lab.toml", "[tool]\nmass_kg = -2.0\n");
    const std::string line =
        "lab-run: ./virtual-lab.toml:2: [tool] mass_kg = -2.0 is outside "
        "its allowed range 0.001 to 100\n";
    for (const char* action : {"plant", "manual --motor1"}) {
        const labtest::ToolRun refused = RunTool(LAB_RUN, action);
        EXPECT_EQ(refused.status, 2) << action;
        EXPECT_EQ(refused.out, "") << action;
        EXPECT_EQ(refused.err, line) << action;
    }
}

}  // namespace
