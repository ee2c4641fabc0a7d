#include "lab/plant_parameters.h"

namespace lab::plant {

namespace {

// The plant's keys: group, name (ending in its unit), built-in value,
// allowed range, whole numbers only, the field, what it means and where its
// value comes from ([assumed] where no source gives it). The built-in
// values are the rig the virtual lab was tuned on: its homing ends at the
// home pose, the muscles at the homing references hold the tool near level.
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
    {"motors", "carriage_breakaway_v", 0.0027, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].breakawayVolts; },
     "Static (breakaway) friction of the carriage, volts of torque: 1.35 times the Coulomb level "
     "(LuGre Table I: 1.5; identification code defaults: 1.3)"},
    {"motors", "carriage_coulomb_v", 0.002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].coulombVolts; },
     "Coulomb friction of the carriage while moving, volts of torque [assumed: with the integral "
     "gain it costs the running motor 0.2 mV of input]"},
    {"motors", "carriage_upper_arm_gravity_v", 0.0, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].upperArmGravityVolts; },
     "Weight of the upper arm on the carriage with the upper arm horizontal, volts of torque "
     "[assumed: below the static friction, so a motor with its servo off holds]"},
    {"motors", "carriage_forearm_gravity_v", 0.0, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[0].forearmGravityVolts; },
     "Weight of the forearm and tool on the carriage with the forearm horizontal, volts of torque "
     "[assumed]"},
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
    {"motors", "shoulder_breakaway_v", 0.0027, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].breakawayVolts; },
     "Static (breakaway) friction of the shoulder, volts of torque: 1.35 times the Coulomb level "
     "(LuGre Table I: 1.5; identification code defaults: 1.3)"},
    {"motors", "shoulder_coulomb_v", 0.002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].coulombVolts; },
     "Coulomb friction of the shoulder while moving, volts of torque [assumed: with the integral "
     "gain it costs the running motor 0.2 mV of input]"},
    {"motors", "shoulder_upper_arm_gravity_v", 0.0008, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].upperArmGravityVolts; },
     "Weight of the upper arm on the shoulder with the upper arm horizontal, volts of torque "
     "[assumed: below the static friction, so a motor with its servo off holds]"},
    {"motors", "shoulder_forearm_gravity_v", 0.0005, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[1].forearmGravityVolts; },
     "Weight of the forearm and tool on the shoulder with the forearm horizontal, volts of torque "
     "[assumed]"},
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
    {"motors", "elbow_breakaway_v", 0.0027, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].breakawayVolts; },
     "Static (breakaway) friction of the elbow, volts of torque: 1.35 times the Coulomb level "
     "(LuGre Table I: 1.5; identification code defaults: 1.3)"},
    {"motors", "elbow_coulomb_v", 0.002, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].coulombVolts; },
     "Coulomb friction of the elbow while moving, volts of torque [assumed: with the integral gain "
     "it costs the running motor 0.2 mV of input]"},
    {"motors", "elbow_upper_arm_gravity_v", 0.0, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].upperArmGravityVolts; },
     "Weight of the upper arm on the elbow with the upper arm horizontal, volts of torque "
     "[assumed: below the static friction, so a motor with its servo off holds]"},
    {"motors", "elbow_forearm_gravity_v", 0.0005, 0.0, 1.0, false,
     [](Parameters& p) -> double& { return p.axes[2].forearmGravityVolts; },
     "Weight of the forearm and tool on the elbow with the forearm horizontal, volts of torque "
     "[assumed]"},
    {"motors", "time_constant_s", 0.002, 0.0001, 10.0, false,
     [](Parameters& p) -> double& { return p.motorTimeConstantSeconds; },
     "Mechanical time constant of a motor under its velocity loop's proportional path, s"},
    {"motors", "integral_gain", 9.0, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.integralGain; },
     "Gain of the velocity loop's leaking integral at rest: a motor held still feels (1 + gain) x "
     "its input, no unit [assumed]"},
    {"motors", "integral_time_s", 0.05, 0.001, 10.0, false,
     [](Parameters& p) -> double& { return p.integralSeconds; },
     "Time constant of the velocity loop's leaking integral, s [assumed]"},
    {"motors", "stribeck_v", 0.0001, 0.000001, 1.0, false,
     [](Parameters& p) -> double& { return p.stribeckVolts; },
     "Stribeck speed: below it friction rises from Coulomb to breakaway, volts of speed "
     "(Armstrong-Helouvry et al. 1994 form)"},
    {"motors", "viscous_friction", 0.001, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.viscousFriction; },
     "Viscous friction, volts of torque per volt of speed, no unit"},
    {"motors", "acceleration_limit_v_per_s", 500.0, 1.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.accelerationLimitVoltsPerSecond; },
     "The amplifier's current limit as the largest change of speed, volts of speed per second "
     "[assumed: above what 1 V steps need]"},
    {"motors", "dac_range_v", 10.0, 0.1, 100.0, false,
     [](Parameters& p) -> double& { return p.dacRangeVolts; },
     "The amplifiers take at most this input, V"},
    {"switches", "carriage_lower_stop_counts", -1200.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[0].lowerStop; },
     "Hard stop of the carriage at the low-count end, counts from the home pose"},
    {"switches", "carriage_lower_switch_counts", -1046.3, -1000000.0, 0.0, false,
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
    {"switches", "shoulder_upper_switch_counts", 10730.2, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[1].upperSwitch; },
     "Switch 1 of the shoulder, active from here up to the stop, counts"},
    {"switches", "shoulder_upper_stop_counts", 11040.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.axes[1].upperStop; },
     "Hard stop of the shoulder at the high-count end, counts"},
    {"switches", "elbow_lower_stop_counts", -29360.0, -1000000.0, 0.0, false,
     [](Parameters& p) -> double& { return p.axes[2].lowerStop; },
     "Hard stop of the elbow at the low-count end, counts from the home pose"},
    {"switches", "elbow_lower_switch_counts", -28935.7, -1000000.0, 0.0, false,
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
     "A valve's regulator sets 0 bar up to this command, V"},
    {"valves", "bar_per_v", 0.8, 0.01, 100.0, false,
     [](Parameters& p) -> double& { return p.valveBarPerVolt; },
     "Above the dead band, set pressure per volt of command, bar/V"},
    {"valves", "max_set_bar", 5.5, 0.1, 20.0, false,
     [](Parameters& p) -> double& { return p.maxSetBar; },
     "The regulator's highest set pressure (gauge), bar"},
    {"valves", "supply_bar", 6.0, 0.1, 20.0, false,
     [](Parameters& p) -> double& { return p.supplyBar; },
     "Supply pressure (gauge), bar (as in the sheet step table)"},
    {"valves", "regulator_band_bar", 0.3, 0.001, 10.0, false,
     [](Parameters& p) -> double& { return p.regulatorBandBar; },
     "The spool is fully open this far from the set pressure, bar [assumed regulator model]"},
    {"valves", "sonic_conductance_dm3_per_s_bar", 0.45, 0.001, 100.0, false,
     [](Parameters& p) -> double& { return p.sonicConductance; },
     "Sonic conductance C of each valve port (ISO 6358), dm^3/(s bar): a published servo-valve "
     "model's (Abed and Daher 2025)"},
    {"valves", "critical_pressure_ratio", 0.21, 0.0, 0.99, false,
     [](Parameters& p) -> double& { return p.criticalPressureRatio; },
     "Critical pressure ratio b (ISO 6358): choked flow below it, no unit; the same servo-valve "
     "model"},
    {"valves", "laminar_pressure_ratio", 0.999, 0.991, 0.9999, false,
     [](Parameters& p) -> double& { return p.laminarPressureRatio; },
     "Pressure ratio from which the flow is laminar (ISO 6358 form), no unit"},
    {"valves", "filling_exponent", 1.4, 1.0, 1.67, false,
     [](Parameters& p) -> double& { return p.fillingExponent; },
     "Polytropic exponent of air entering a chamber (Richer and Hurmuzlu 2000), no unit"},
    {"valves", "venting_exponent", 1.0, 1.0, 1.67, false,
     [](Parameters& p) -> double& { return p.ventingExponent; },
     "Polytropic exponent of air leaving a chamber (Richer and Hurmuzlu 2000), no unit"},
    {"valves", "volume_exponent", 1.2, 1.0, 1.67, false,
     [](Parameters& p) -> double& { return p.volumeExponent; },
     "Polytropic exponent of the volume work as a chamber grows or shrinks (Richer and Hurmuzlu "
     "2000), no unit"},
    {"valves", "air_k", 293.15, 200.0, 400.0, false,
     [](Parameters& p) -> double& { return p.airKelvin; }, "Temperature of the supply air, K"},
    {"valves", "range_v", 10.0, 0.1, 100.0, false,
     [](Parameters& p) -> double& { return p.valveRangeVolts; },
     "The valve outputs take 0 to this command, V"},
    {"muscles", "law_a0_kpa", 125.64, -1000.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.forceLawA0; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a0, kPa"},
    {"muscles", "law_a1_kpa", 241.94, 0.001, 10000.0, false,
     [](Parameters& p) -> double& { return p.forceLawA1; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a1, kPa"},
    {"muscles", "law_a2", 1.9705, 0.001, 100.0, false,
     [](Parameters& p) -> double& { return p.forceLawA2; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a2, no unit"},
    {"muscles", "law_a3", -0.22539, -10.0, 10.0, false,
     [](Parameters& p) -> double& { return p.forceLawA3; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a3, no unit"},
    {"muscles", "law_a4_per_n", -1.6862e-4, -1.0, 1.0, false,
     [](Parameters& p) -> double& { return p.forceLawA4; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a4, 1/N"},
    {"muscles", "law_a5_kpa_per_n", 0.38834, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.forceLawA5; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): a5, kPa/N"},
    {"muscles", "law_max_contraction", 0.3463, 0.01, 1.0, false,
     [](Parameters& p) -> double& { return p.forceLawMaxContraction; },
     "Static pull F at gauge pressure P (kPa) and contraction e solves P = a0 + a1 tan(a2 (e / (a4 "
     "F + emax) + a3)) + a5 F (Hunt, Graber-Tilton and Quinn 2017, fitted to a 20 mm muscle "
     "maker's sizing table): emax (a fit parameter, not a physical limit), no unit"},
    {"muscles", "rest_length_m", 0.25, 0.01, 10.0, false,
     [](Parameters& p) -> double& { return p.muscleRestLengthMetres; },
     "Rest length of a muscle, m"},
    {"muscles", "mounting_contraction", 0.12, 0.0, 0.9, false,
     [](Parameters& p) -> double& { return p.mountingContraction; },
     "Contraction of every muscle at joint angle 0, fraction of its rest length"},
    {"muscles", "pulley_radius_m", 0.015, 0.001, 1.0, false,
     [](Parameters& p) -> double& { return p.pulleyRadiusMetres; },
     "Radius of the joint's pulley; muscles 1 and 4 pull it positive, 2 and 3 negative, m"},
    {"muscles", "braid_radius_m", 0.010, 0.001, 0.1, false,
     [](Parameters& p) -> double& { return p.braidRadiusMetres; },
     "Braid radius at rest (the chamber volume follows the braid geometry), m"},
    {"muscles", "braid_deg", 25.4, 1.0, 54.0, false,
     [](Parameters& p) -> double& { return p.braidDegrees; },
     "Braid angle at rest, degrees (the 20 mm sizing table fitted with the Tondu and Lopez law)"},
    {"muscles", "dead_volume_m3", 10e-6, 0.0, 0.01, false,
     [](Parameters& p) -> double& { return p.deadVolumeCubicMetres; },
     "Dead volume of the fittings and tube of a muscle, m^3 [assumed]"},
    {"muscles", "slip1_contracting_n_per_bar", 3.8, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipContractingNewtonsPerBar[0]; },
     "Braid friction, Maxwell-slip element 1 (Al-Bender et al. 2004): the force at which it slips "
     "while the muscle contracts, per bar of pressure, N/bar; the three together open a loop 31 "
     "kPa "
     "wide at equal pull and contraction near the homing pressures (Hunt 2017: 2 x 15.6 kPa)"},
    {"muscles", "slip1_stretching_n_per_bar", 3.0, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipStretchingNewtonsPerBar[0]; },
     "The same while the muscle stretches, N/bar: less than contracting (asymmetric loops: Liu et "
     "al. 2017, Capace et al. 2019) [ratio assumed]"},
    {"muscles", "slip1_stiffness_n_per_m", 3.0e5, 1.0, 1e9, false,
     [](Parameters& p) -> double& { return p.slipStiffnessNewtonsPerMetre[0]; },
     "Stiffness of slip element 1 before it slips, N/m (pre-slide 0.05 to 0.6 mm at 4 bar) "
     "[assumed]"},
    {"muscles", "slip2_contracting_n_per_bar", 2.6, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipContractingNewtonsPerBar[1]; },
     "Braid friction, Maxwell-slip element 2 (Al-Bender et al. 2004): the force at which it slips "
     "while the muscle contracts, per bar of pressure, N/bar; the three together open a loop 31 "
     "kPa "
     "wide at equal pull and contraction near the homing pressures (Hunt 2017: 2 x 15.6 kPa)"},
    {"muscles", "slip2_stretching_n_per_bar", 2.1, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipStretchingNewtonsPerBar[1]; },
     "The same while the muscle stretches, N/bar: less than contracting (asymmetric loops: Liu et "
     "al. 2017, Capace et al. 2019) [ratio assumed]"},
    {"muscles", "slip2_stiffness_n_per_m", 5.2e4, 1.0, 1e9, false,
     [](Parameters& p) -> double& { return p.slipStiffnessNewtonsPerMetre[1]; },
     "Stiffness of slip element 2 before it slips, N/m (pre-slide 0.05 to 0.6 mm at 4 bar) "
     "[assumed]"},
    {"muscles", "slip3_contracting_n_per_bar", 1.6, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipContractingNewtonsPerBar[2]; },
     "Braid friction, Maxwell-slip element 3 (Al-Bender et al. 2004): the force at which it slips "
     "while the muscle contracts, per bar of pressure, N/bar; the three together open a loop 31 "
     "kPa "
     "wide at equal pull and contraction near the homing pressures (Hunt 2017: 2 x 15.6 kPa)"},
    {"muscles", "slip3_stretching_n_per_bar", 1.3, 0.0, 1000.0, false,
     [](Parameters& p) -> double& { return p.slipStretchingNewtonsPerBar[2]; },
     "The same while the muscle stretches, N/bar: less than contracting (asymmetric loops: Liu et "
     "al. 2017, Capace et al. 2019) [ratio assumed]"},
    {"muscles", "slip3_stiffness_n_per_m", 1.07e4, 1.0, 1e9, false,
     [](Parameters& p) -> double& { return p.slipStiffnessNewtonsPerMetre[2]; },
     "Stiffness of slip element 3 before it slips, N/m (pre-slide 0.05 to 0.6 mm at 4 bar) "
     "[assumed]"},
    {"muscles", "inflating_damping_n_s_per_m", 2000.0, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.inflatingDampingNewtonSecondsPerMetre; },
     "Damping of a muscle against its rate of contraction while its valve last raised its set "
     "pressure, N s/m (three-element model, Reynolds et al. 2003; scaled to the joint)"},
    {"muscles", "deflating_damping_n_s_per_m", 1082.7586206896551, 0.0, 1000000.0, false,
     [](Parameters& p) -> double& { return p.deflatingDampingNewtonSecondsPerMetre; },
     "The same while its valve last lowered its set pressure, N s/m: 1.57 / 2.90 of inflating "
     "(Serres et al. 2009)"},
    {"muscles", "direction_play_bar", 0.02, 0.0, 10.0, false,
     [](Parameters& p) -> double& { return p.directionPlayBar; },
     "A muscle counts as inflating or deflating once its set pressure has moved this far, bar"},
    {"muscles", "braid_settle_s", 0.25, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.braidSettleSeconds; },
     "A muscle whose set pressure has not changed for this long is isometric, s: Hunt's direction "
     "term is 0 then (Hunt 2017: S = 0 isometric), and its braid friction settles [assumed: longer "
     "than a control period or an experiment's]"},
    {"muscles", "braid_relaxation_s", 0.004, 0.0001, 100.0, false,
     [](Parameters& p) -> double& { return p.braidRelaxationSeconds; },
     "Time constant of an isometric muscle's slip elements relaxing towards no force, s; the "
     "joint they hold creeps to its balance some 20 times slower [assumed]"},
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
    {"tool", "damping_n_m_s", 0.02, 0.0, 100.0, false,
     [](Parameters& p) -> double& { return p.toolDampingNewtonMetreSeconds; },
     "Viscous damping of the joint's own bearing (the muscles damp it too), N m s/rad"},
    {"tool", "range_deg", 60.0, 1.0, 180.0, false,
     [](Parameters& p) -> double& { return p.toolRangeDegrees; },
     "End stops of the joint at plus and minus this angle; the tool stops dead on them, degrees"},
    {"sensors", "volts_per_bar", 0.2038, 0.001, 10.0, false,
     [](Parameters& p) -> double& { return p.sensorVoltsPerBar; },
     "Pressure sensors: volts = (bar - 1) x this + volts_at_one_bar, V/bar"},
    {"sensors", "volts_at_one_bar", 1.0, -10.0, 10.0, false,
     [](Parameters& p) -> double& { return p.sensorVoltsAtOneBar; }, "Sensor output at 1 bar, V"},
    {"sensors", "pressure_noise_bar", 0.005, 0.0, 10.0, false,
     [](Parameters& p) -> double& { return p.pressureNoiseBar; },
     "Standard deviation of Gaussian noise on each pressure reading, bar (0.05 % of a 10 bar span, "
     "as the sheet assumes); 0 for none"},
    {"sensors", "seed", 20261207, 0, 4294967295, true,
     [](Parameters& p) -> double& { return p.noiseSeed; },
     "Seed of the sensor noise, a whole number"},
    {"sensors", "encoder3_scale", 1.002, 0.5, 2.0, false,
     [](Parameters& p) -> double& { return p.toolEncoderScale[0]; },
     "Gear ratio of the shaft of encoder 3 over its nominal one, no unit [assumed]"},
    {"sensors", "encoder4_scale", 0.998, 0.5, 2.0, false,
     [](Parameters& p) -> double& { return p.toolEncoderScale[1]; },
     "Gear ratio of the shaft of encoder 4 over its nominal one, no unit [assumed]"},
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
