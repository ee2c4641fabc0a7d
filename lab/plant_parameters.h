// Every parameter of the simulated arm and its two cards, in one place.
//
// Positions of the motor axes are in encoder counts of their own channel,
// measured from the home pose (carriage 1047 counts off its lower switch,
// shoulder 15 degrees, elbow 75 degrees). Axis 2's counter counts against
// the elbow angle. On each axis switch 0 sits at the low-count end and
// switch 1 at the high-count end; each switch is active from its position
// outwards up to the hard stop a little further on.
//
// The switch positions are placed so that the homing sequence (onto the
// switches, then back by 1000, -10574 and -27002 counts at its voltages, with
// its 500 ms waits, the shoulder's -0.01 V drift, the elbow driven on through
// its wait, and the motors' coasting) ends near position 0 on every axis,
// from any start inside the ranges. The carriage and the shoulder creep on
// their residual offsets while the elbow homes, for 7 to 19 s depending on
// where the elbow starts; their switches sit where that creep ends them
// within 19 and 53 counts (2.3 mm, 0.12 degree) of position 0.
#pragma once

#include <cstdint>

namespace lab::plant {

// Simulation step; the plant advances lazily in steps of this size.
constexpr std::int64_t kStepNanoseconds = 100'000;

// Virtual time one library call takes on the virtual clock, so that polling
// loops that call nothing but the card still see the arm move.
constexpr std::int64_t kCallNanoseconds = 5'000;

// The most program time the plant catches up on at once. After a longer gap
// between library calls (a console left idle, a stopped process) it
// simulates this much and lets the rest pass: stepping through hours would
// freeze the caller for seconds, while a minute (some 50 ms of work) is far
// longer than any of the console's own waits and every lag has settled in it.
constexpr std::int64_t kMaxCatchUpNanoseconds = 60'000'000'000;

// Motor axes 0 (carriage), 1 (shoulder), 2 (elbow). Each amplifier runs a
// velocity loop on its motor. Torques are counted in volts of amplifier
// input (the input that would produce them through the loop's proportional
// path): the loop's torque is (input - speed) plus its integral part, and
// the motor's speed, in volts of input, follows
//     T dv/dt = input - v + integral - friction(v) - gravity.
// The integral part leaks (a lag compensator): at rest it builds up to
// kIntegralGain times the input, so a motor breaks away once its input
// exceeds breakawayVolts / (1 + kIntegralGain); moving steadily it runs at
// the input less coulombVolts / (1 + kIntegralGain). Friction is Coulomb,
// viscous and Stribeck (static breakawayVolts falling to coulombVolts above
// the Stribeck speed), stepped without chatter: a motor at rest stays at
// rest until the torque exceeds the static friction. Just above breakaway
// the loop's integral winds up, the motor slips, overshoots and sticks
// again: stick-slip. The offsets differ from the card layer's zero-offset
// correction (8.2, 9.1 and 5.2 mV) by a few millivolts, so a motor at a zero
// command creeps until the offset is calibrated out.
// The velocity loop's leaking integral: its gain at rest and its time
// constant. (1 + gain) x input is the torque a motor held at rest feels.
constexpr double kIntegralGain = 9.0;
constexpr double kIntegralSeconds = 0.05;

struct AxisParameters {
    // Steady speed per volt of amplifier input, counts per second.
    double countsPerSecondPerVolt;
    // The amplifier's input offset, volts, in two parts: what the card
    // layer's zero-offset correction takes out, and the residual it leaves
    // (lab::ZeroResidualOffsets can remove that).
    double correctedOffsetVolts;
    double residualOffsetVolts;
    // Static (breakaway) and Coulomb friction, volts of torque.
    double breakawayVolts;
    double coulombVolts;
    // Gravity of the links on this axis at its worst pose, volts of torque
    // (below the static friction: a motor with its servo off holds).
    double upperArmGravityVolts;
    double forearmGravityVolts;
    // Positions of the hard stops and switches, counts from the home pose.
    double lowerStop;
    double lowerSwitch;
    double upperSwitch;
    double upperStop;

    // The motor stands still around a DAC output of minus this value.
    constexpr double amplifierOffsetVolts() const {
        return correctedOffsetVolts + residualOffsetVolts;
    }
    // What Coulomb friction takes off a steadily running motor's input.
    constexpr double runningLossVolts() const { return coulombVolts / (1.0 + kIntegralGain); }
};

// Below this speed, volts of input, friction rises from Coulomb towards
// breakaway (Stribeck); viscous friction, volts of torque per volt of speed.
constexpr double kStribeckVolts = 0.0001;
constexpr double kViscousFriction = 0.001;
// The current limit bounds a motor's acceleration, volts of speed per second.
constexpr double kAccelerationLimitVoltsPerSecond = 500.0;

constexpr AxisParameters kAxes[3] = {
    // Carriage: 2816 counts per revolution of a 110 mm wheel, 8.1487 counts
    // per mm; 0.3 V moves it 74 mm/s. Room for the 800 mm (6519 counts) run.
    // Residual offset +1.8 mV: it creeps 3.2 counts/s (0.4 mm/s) at 0 V.
    // Horizontal: no gravity.
    {2000.0, 0.0082, 0.0018, 0.0027, 0.002, 0.0, 0.0, -1200.0, -1046.3, 8500.0, 8700.0},
    // Shoulder: 153600 counts per revolution, about -20 to +40 degrees.
    // Residual offset -1.5 mV: it creeps 9.1 counts/s (0.02 deg/s) at 0 V.
    {7000.0, 0.0091, -0.0015, 0.0027, 0.002, 0.0008, 0.0005, -15360.0, -14933.0, 10730.2, 11040.0},
    // Elbow (counting against the angle): about 143 down to 10 degrees.
    // Residual offset +2.8 mV.
    {7000.0, 0.0052, 0.0028, 0.0027, 0.002, 0.0, 0.0005, -29360.0, -28935.7, 27733.0, 28160.0},
};

// The motor's mechanical time constant T under its velocity loop.
constexpr double kMotorTimeConstantSeconds = 0.002;
// The amplifiers take at most this input.
constexpr double kDacRangeVolts = 10.0;

// Valves: a proportional pressure regulator per muscle. Its set pressure is
// 0 bar up to the dead band, then kValveBarPerVolt per volt above it, up to
// kMaxSetBar. Its spool opens in proportion to the set pressure's distance
// from the muscle's, fully beyond kRegulatorBandBar: towards the supply
// when the muscle is below it, towards the exhaust when above. Air flows
// through the open port by the standard flow model (sonic conductance C,
// critical pressure ratio b: choked below b, subsonic above, laminar at the
// last per mille) into a chamber whose volume follows the muscle's
// contraction; filling is adiabatic, venting isothermal and the volume
// work polytropic. Pressures are gauge pressures unless named absolute.
constexpr double kValveDeadBandVolts = 0.35;
constexpr double kValveBarPerVolt = 0.8;
constexpr double kMaxSetBar = 5.5;  // reached from 7.225 V up
constexpr double kSupplyBar = 6.0;
constexpr double kAtmosphereBar = 1.01325;  // absolute
constexpr double kRegulatorBandBar = 0.3;
// Sonic conductance, m^3/(s Pa) (1 dm^3/(s bar), a small proportional
// valve), critical pressure ratio and the start of the laminar branch.
constexpr double kSonicConductance = 0.45e-8;
constexpr double kCriticalPressureRatio = 0.21;
constexpr double kLaminarPressureRatio = 0.999;
// Reference air of the conductance: density, kg/m^3, at 293.15 K; the gas
// constant of air, J/(kg K), and the supply's temperature, K.
constexpr double kReferenceDensity = 1.185;
constexpr double kGasConstant = 287.0;
constexpr double kAirKelvin = 293.15;
// Polytropic exponents while filling, while venting and of the volume work.
constexpr double kFillingExponent = 1.4;
constexpr double kVentingExponent = 1.0;
constexpr double kVolumeExponent = 1.2;
// The valve outputs take 0 to this voltage.
constexpr double kValveRangeVolts = 10.0;

// Pressure sensors: volts = (bar - 1) * 0.2038 + 1, the inverse of the card
// layer's conversion. Inputs 4 to 11 are unconnected and read 0 V.
constexpr double kSensorVoltsPerBar = 0.2038;
constexpr double kSensorVoltsAtOneBar = 1.0;
constexpr int kInputChannels = 12;
// White noise on the pressure sensors, standard deviation in bar (0.05 % of
// a 10 bar span), from a fixed seed: runs stay deterministic.
constexpr double kPressureNoiseBar = 0.005;
constexpr std::uint32_t kNoiseSeed = 20261207u;

// The muscle-driven joint (angle theta1, 0 along the forearm) is a rigid
// body turned by two antagonistic pairs of braided pneumatic muscles over a
// pulley: muscles 1 and 4 pull it positive, 2 and 3 negative. A muscle's
// contraction is its mounting contraction plus (pulling side) or minus
// (other side) pulley radius x angle / rest length.
//
// Its static pull F at gauge pressure P (kPa) and contraction e solves
//     P = a0 + a1 tan(a2 (e / (a4 F + emax) + a3)) + a5 F,
// an empirical law fitted to a 20 mm muscle maker's sizing table: no pull
// below the threshold pressure P(F = 0), which rises with contraction (10
// kPa stretched, 156 kPa at 10 %, 485 kPa at 25 %); 1518 N at 600 kPa
// unstretched, 807 N at 11 %, 111 N at 25 %.
constexpr double kForceLawA0 = 125.64;              // kPa
constexpr double kForceLawA1 = 241.94;              // kPa
constexpr double kForceLawA2 = 1.9705;              // 1
constexpr double kForceLawA3 = -0.22539;            // 1
constexpr double kForceLawA4 = -1.6862e-4;          // 1/N
constexpr double kForceLawA5 = 0.38834;             // kPa/N
constexpr double kForceLawMaxContraction = 0.3463;  // a fit parameter
constexpr double kMuscleRestLengthMetres = 0.25;
constexpr double kMountingContraction = 0.12;
constexpr double kPulleyRadiusMetres = 0.015;
// Which way each muscle turns the joint. At the homing references (3.72 bar
// on muscles 1 and 4, 4.20 bar on 2 and 3) the pairs' difference holds the
// level tool against its weight.
constexpr double kMusclePullSign[4] = {1.0, -1.0, -1.0, 1.0};
// The chamber: braid radius and angle at rest, m and degrees, and the dead
// volume of the fittings and tube, m^3. Its volume grows as it contracts:
// 79 cm^3 stretched, 149 cm^3 at 15 %, plus the dead volume.
constexpr double kBraidRadiusMetres = 0.010;
constexpr double kBraidDegrees = 25.4;
constexpr double kDeadVolumeCubicMetres = 10e-6;

// Braid friction: each muscle's weave is a few Maxwell-slip elements acting
// alongside its pull, each a spring that slips beyond a friction force
// proportional to the pressure (newtons per bar of gauge pressure), more
// while the muscle contracts than while it stretches. Together they open a
// loop whose branches lie about 31 kPa apart at equal pull and contraction
// near the homing pressures, whatever the rate; the springs round the loop
// over the first fraction of a millimetre after each reversal.
constexpr int kSlipElements = 3;
constexpr double kSlipContractingNewtonsPerBar[kSlipElements] = {3.8, 2.6, 1.6};
constexpr double kSlipStretchingNewtonsPerBar[kSlipElements] = {3.0, 2.1, 1.3};
constexpr double kSlipStiffnessNewtonsPerMetre[kSlipElements] = {3.0e5, 5.2e4, 1.07e4};

// Damping of each muscle against its rate of contraction, N s/m, as the
// three-element model measures it: while its valve inflates it (its set
// pressure last rose), and less while the valve deflates it (set pressure
// last fell), in the measured ratio 1.57 / 2.90. The direction changes
// once the set pressure has moved by kDirectionPlayBar.
constexpr double kInflatingDampingNewtonSecondsPerMetre = 2000.0;
constexpr double kDeflatingDampingNewtonSecondsPerMetre = 2000.0 * 1.57 / 2.90;
constexpr double kDirectionPlayBar = 0.02;

// The tool link in the arm's plane, whose x axis points up: the shoulder
// angle theta2 is measured from it, the elbow theta3 from the upper arm and
// theta1 from the forearm, so the tool's absolute angle from the vertical is
// theta2 + theta3 + theta1 (90 degrees, horizontal, at the home pose). The
// shoulder and elbow move as their velocity-controlled motors make them;
// the tool feels their motion through the tool link's equation of motion
// and its weight through m g c sin(theta2 + theta3 + theta1).
constexpr double kUpperArmMetres = 0.432;
constexpr double kForearmMetres = 0.380;
constexpr double kToolMassKilograms = 1.2;
constexpr double kToolCentreMetres = 0.18;                  // joint to the tool's centre of mass
constexpr double kToolInertiaKilogramSquareMetres = 0.008;  // about its centre of mass
constexpr double kGravityMetresPerSecondSquared = 9.81;
// Viscous damping of the joint's own bearing, N m s / rad.
constexpr double kToolDampingNewtonMetreSeconds = 0.02;
// The joint's end stops; the tool stops dead on them.
constexpr double kToolRangeDegrees = 60.0;
// Encoders 3 and 4 sit on the two shafts of the joint's differential, which
// turn by plus and minus half the joint angle; each counts 8 per degree of
// its shaft's half angle, so (count3 - count4) / 8 is the joint angle. Each
// channel counts whole steps on its own, and their gear trains differ by a
// few per mille, so their sum is not identically 0.
constexpr double kToolEncoderCountsPerDegree = 8.0;
constexpr double kToolEncoderScale[2] = {1.002, 0.998};

// Conversions used to set a pose in physical units.
constexpr double kCarriageCountsPerMillimetre = 2816.0 / (110.0 * 3.141592653589793);
constexpr double kJointCountsPerDegree = 153600.0 / 360.0;
constexpr double kShoulderHomeDegrees = 15.0;
constexpr double kElbowHomeDegrees = 75.0;

// Device handles the data-acquisition library gives out: base + device number.
constexpr std::int32_t kHandleBase = 0x4400;
constexpr std::uint32_t kInputDevice = 0;
constexpr std::uint32_t kOutputDevice = 1;
constexpr int kValveChannels = 4;

}  // namespace lab::plant
