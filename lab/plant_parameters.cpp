#include "lab/plant_parameters.h"

namespace lab::plant {

namespace {

// The plant's keys: group, name (ending in its unit), built-in value,
// allowed range, whole numbers only, the field, what it means. The built-in
// values are the rig the virtual lab was tuned on: its homing ends at the
// home pose, the muscles at the homing references hold the tool level.
constexpr PlantKey kKeys[] = {
    {"motors", "carriage_counts_per_s_per_v", 2000.0, 1.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[0].countsPerSecondPerVolt; },
     "Steady speed of the carriage (axis 0; 8.1487 counts per mm, 2816 per revolution of a 110 mm "
     "wheel) per volt of amplifier input, counts/s/V"},
    {"motors", "carriage_corrected_offset_v", 0.0082, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].correctedOffsetVolts; },
     "Amplifier input offset of the carriage that the card layer's zero-offset correction takes "
     "out, V"},
    {"motors", "carriage_residual_offset_v", 0.0018, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].residualOffsetVolts; },
     "Amplifier input offset of the carriage beyond that correction, V: at a 0 V command the motor "
     "creeps on it"},
    {"motors", "carriage_breakaway_v", 0.0004, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].breakawayVolts; },
     "Static friction of the carriage: the input a motor at rest needs to move, V"},
    {"motors", "carriage_friction_v", 0.0002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].frictionVolts; },
     "Coulomb friction of the carriage while moving, as volts of input lost to it"},
    {"motors", "shoulder_counts_per_s_per_v", 7000.0, 1.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[1].countsPerSecondPerVolt; },
     "Steady speed of the shoulder (axis 1; 153600 counts per revolution) per volt of amplifier "
     "input, counts/s/V"},
    {"motors", "shoulder_corrected_offset_v", 0.0091, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].correctedOffsetVolts; },
     "Amplifier input offset of the shoulder that the card layer's zero-offset correction takes "
     "out, V"},
    {"motors", "shoulder_residual_offset_v", -0.0015, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].residualOffsetVolts; },
     "Amplifier input offset of the shoulder beyond that correction, V: at a 0 V command the motor "
     "creeps on it"},
    {"motors", "shoulder_breakaway_v", 0.0004, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].breakawayVolts; },
     "Static friction of the shoulder: the input a motor at rest needs to move, V"},
    {"motors", "shoulder_friction_v", 0.0002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].frictionVolts; },
     "Coulomb friction of the shoulder while moving, as volts of input lost to it"},
    {"motors", "elbow_counts_per_s_per_v", 7000.0, 1.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[2].countsPerSecondPerVolt; },
     "Steady speed of the elbow (axis 2, counting against its angle) per volt of amplifier input, "
     "counts/s/V"},
    {"motors", "elbow_corrected_offset_v", 0.0052, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].correctedOffsetVolts; },
     "Amplifier input offset of the elbow that the card layer's zero-offset correction takes out, "
     "V"},
    {"motors", "elbow_residual_offset_v", 0.0028, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].residualOffsetVolts; },
     "Amplifier input offset of the elbow beyond that correction, V: at a 0 V command the motor "
     "creeps on it"},
    {"motors", "elbow_breakaway_v", 0.0004, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].breakawayVolts; },
     "Static friction of the elbow: the input a motor at rest needs to move, V"},
    {"motors", "elbow_friction_v", 0.0002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].frictionVolts; },
     "Coulomb friction of the elbow while moving, as volts of input lost to it"},
    {"motors", "time_constant_s", 0.002, 0.0001, 10.0, false,
     [](Parameters& p) -> double& { return p.motorTimeConstantSeconds; },
     "Each motor's speed follows its target with this first-order lag, s"},
    {"motors", "standstill_counts_per_s", 0.5, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.standstillCountsPerSecond; },
     "Below this speed a motor whose target is 0 is at rest, counts/s"},
    {"motors", "dac_range_v", 10.0, 0.1, 100.0, false,
     [](Parameters& p) -> double& { return p.dacRangeVolts; },
     "The amplifiers take at most this input, V"},
    {"switches", "carriage_lower_stop_counts", -1200.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[0].lowerStop; },
     "Hard stop of the carriage at the low-count end, counts from the home pose"},
    {"switches", "carriage_lower_switch_counts", -1047.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[0].lowerSwitch; },
     "Switch 0 of the carriage, active from here down to the stop, counts"},
    {"switches", "carriage_upper_switch_counts", 8500.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[0].upperSwitch; },
     "Switch 1 of the carriage, active from here up to the stop, counts"},
    {"switches", "carriage_upper_stop_counts", 8700.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[0].upperStop; },
     "Hard stop of the carriage at the high-count end, counts"},
    {"switches", "shoulder_lower_stop_counts", -15360.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[1].lowerStop; },
     "Hard stop of the shoulder at the low-count end, counts from the home pose"},
    {"switches", "shoulder_lower_switch_counts", -14933.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[1].lowerSwitch; },
     "Switch 0 of the shoulder, active from here down to the stop, counts"},
    {"switches", "shoulder_upper_switch_counts", 10742.2, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[1].upperSwitch; },
     "Switch 1 of the shoulder, active from here up to the stop, counts"},
    {"switches", "shoulder_upper_stop_counts", 11040.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[1].upperStop; },
     "Hard stop of the shoulder at the high-count end, counts"},
    {"switches", "elbow_lower_stop_counts", -29360.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[2].lowerStop; },
     "Hard stop of the elbow at the low-count end, counts from the home pose"},
    {"switches", "elbow_lower_switch_counts", -28943.5, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[2].lowerSwitch; },
     "Switch 0 of the elbow, active from here down to the stop, counts"},
    {"switches", "elbow_upper_switch_counts", 27733.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[2].upperSwitch; },
     "Switch 1 of the elbow, active from here up to the stop, counts"},
    {"switches", "elbow_upper_stop_counts", 28160.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[2].upperStop; },
     "Hard stop of the elbow at the high-count end, counts"},
    {"valves", "dead_band_v", 0.35, 0.0, 10.0, false,
     [](Parameters& p) -> double& { return p.valveDeadBandVolts; },
     "A valve settles its muscle at 0 bar up to this command, V"},
    {"valves", "bar_per_v", 0.8, 0.01, 100.0, false,
     [](Parameters& p) -> double& { return p.valveBarPerVolt; },
     "Above the dead band, pressure per volt of command, bar/V"},
    {"valves", "supply_bar", 5.5, 0.1, 20.0, false,
     [](Parameters& p) -> double& { return p.supplyBar; },
     "Supply pressure, the most a valve delivers (gauge), bar"},
    {"valves", "fill_time_constant_s", 0.05, 0.0001, 10.0, false,
     [](Parameters& p) -> double& { return p.fillTimeConstantSeconds; },
     "First-order lag of a muscle's pressure while filling from the supply, s"},
    {"valves", "vent_time_constant_s", 0.12, 0.0001, 10.0, false,
     [](Parameters& p) -> double& { return p.ventTimeConstantSeconds; },
     "First-order lag of a muscle's pressure while venting, s"},
    {"valves", "range_v", 10.0, 0.1, 100.0, false,
     [](Parameters& p) -> double& { return p.valveRangeVolts; },
     "The valve outputs take 0 to this command, V"},
    {"muscles", "area_m2", 3.14159265358979e-4, 1e-06, 0.1, false,
     [](Parameters& p) -> double& { return p.muscleAreaSquareMetres; },
     "Cross-section of a muscle's bore (20 mm), m^2"},
    {"muscles", "braid_a", 18.38, 0.1, 1000.0, false,
     [](Parameters& p) -> double& { return p.muscleA; },
     "Pull P A (a (1 - contraction)^2 - b): a = 3 / tan^2 of the braid angle (22 degrees), no "
     "unit"},
    {"muscles", "braid_b", 7.127, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.muscleB; },
     "b = 1 / sin^2 of the braid angle, no unit; the pull is zero at contraction 1 - sqrt(b / a)"},
    {"muscles", "rest_length_m", 0.25, 0.01, 10.0, false,
     [](Parameters& p) -> double& { return p.muscleRestLengthMetres; },
     "Rest length of a muscle, m"},
    {"muscles", "mounting_contraction", 0.12, 0.0, 0.9, false,
     [](Parameters& p) -> double& { return p.mountingContraction; },
     "Contraction of every muscle at joint angle 0, fraction of its rest length"},
    {"muscles", "pulley_radius_m", 0.01, 0.001, 1.0, false,
     [](Parameters& p) -> double& { return p.pulleyRadiusMetres; },
     "Radius of the joint's pulley; muscles 1 and 4 pull it positive, 2 and 3 negative, m"},
    {"tool", "upper_arm_m", 0.432, 0.01, 10.0, false,
     [](Parameters& p) -> double& { return p.upperArmMetres; },
     "Upper arm, shoulder to elbow, in the arm's plane, m"},
    {"tool", "forearm_m", 0.38, 0.01, 10.0, false,
     [](Parameters& p) -> double& { return p.forearmMetres; },
     "Forearm, elbow to the tool joint, m"},
    {"tool", "mass_kg", 1.2, 0.001, 100.0, false,
     [](Parameters& p) -> double& { return p.toolMassKilograms; },
     "Mass of the tool the muscles turn, kg"},
    {"tool", "centre_m", 0.18, 0.0, 2.0, false,
     [](Parameters& p) -> double& { return p.toolCentreMetres; },
     "Distance of the tool's centre of mass from the joint, m"},
    {"tool", "inertia_kg_m2", 0.008, 1e-06, 10.0, false,
     [](Parameters& p) -> double& { return p.toolInertiaKilogramSquareMetres; },
     "The tool's moment of inertia about its centre of mass, kg m^2"},
    {"tool", "gravity_m_per_s2", 9.81, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.gravityMetresPerSecondSquared; }, "Gravity, m/s^2"},
    {"tool", "damping_n_m_s", 0.55, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.toolDampingNewtonMetreSeconds; },
     "Viscous damping of the joint and its muscles (about half critical at the homing pressures), "
     "N m s/rad"},
    {"tool", "range_deg", 60.0, 1.0, 180.0, false,
     [](Parameters& p) -> double& { return p.toolRangeDegrees; },
     "End stops of the joint at plus and minus this angle; the tool stops dead on them, degrees"},
    {"sensors", "volts_per_bar", 0.2038, 0.001, 10.0, false,
     [](Parameters& p) -> double& { return p.sensorVoltsPerBar; },
     "Pressure sensors: volts = (bar - 1) x this + volts_at_one_bar, V/bar"},
    {"sensors", "volts_at_one_bar", 1.0, -10.0, 10.0, false,
     [](Parameters& p) -> double& { return p.sensorVoltsAtOneBar; }, "Sensor output at 1 bar, V"},
    {"sensors", "pressure_noise_bar", 0.0, 0.0, 10.0, false,
     [](Parameters& p) -> double& { return p.pressureNoiseBar; },
     "Standard deviation of Gaussian noise on each pressure reading, bar; 0 for none"},
    {"sensors", "seed", 20261207, 0, 4294967295, true,
     [](Parameters& p) -> double& { return p.noiseSeed; },
     "Seed of the sensor noise, a whole number"},
};

Parameters MakeBuiltIn() {
    Parameters parameters = {};
    for (const PlantKey& key : kKeys) {
        key.field(parameters) = key.builtIn;
    }
    return parameters;
}

}  // namespace

std::span<const PlantKey> PlantKeys() {
    return kKeys;
}

const Parameters& BuiltIn() {
    static const Parameters parameters = MakeBuiltIn();
    return parameters;
}

}  // namespace lab::plant
