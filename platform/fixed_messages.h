// The system's fixed messages: the file-not-opened family and the cards'
// safety and start-up lines. Operators, their notes and the scripts that
// watch this system's output know them as they are, so they are kept byte for
// byte for compatibility, spelling and padding included, and must not be
// corrected. \375 is the single byte 0xFD.
#pragma once

namespace messages {

// A file could not be opened: the bare message, and the forms that name the
// file, each in the words and order its program has always used.
inline constexpr const char* kNotOpened = "Dosya Ac\375lmad\375\n";

// The networks' weight files.
inline constexpr const char* kGeneralWeightsNotOpened = "Dosya Ac\375lmad\375 GeneralWeights.txt\n";
inline constexpr const char* kValveWeightsNotOpened = "Dosya Ac\375lmad\375 WeightsANNET.txt\n";
inline constexpr const char* kDoubleLinkWeightsNotOpened =
    "Dosya Ac\375lmad\375 WeightsDoubleLink.txt\n";
inline constexpr const char* kUpperLinkWeightsNotOpened =
    "Dosya Ac\375lmad\375 WeightsUpperLink.txt\n";

// The files of the control runs and the training procedures.
inline constexpr const char* kEncoderValuesNotOpened = "Dosya Ac\375lmad\375 EncoderValues\n";
inline constexpr const char* kFilteredPressureValuesNotOpened =
    "Dosya Ac\375lmad\375 FilteredPressureValues\n";
inline constexpr const char* kDesiredVelocityNotOpened =
    "Dosya Ac\375lmad\375 SinVelocityTrajectoryDesired\n";
inline constexpr const char* kDesiredPressureNotOpened =
    "Dosya Ac\375lmad\375 DesiredPressureTrajectory\n";
inline constexpr const char* kLogTimeNotOpened = "Dosya Ac\375lmad\375 LogTime\n";
inline constexpr const char* kActualVelocityNotOpened =
    "Dosya Ac\375lmad\375 SinTrajectoryActualVelocityOutput\n";
inline constexpr const char* kActualEncoderNotOpened =
    "Dosya Ac\375lmad\375 SinTrajectoryActualEncoderOutput\n";

// The evaluator's files, the file named first.
inline constexpr const char* kRunLogNotOpened = "LogALLANNETPressures.txt Dosya Ac\375lmad\375\n";
inline constexpr const char* kReplayInputNotWritten = "SimALLWeights Dosya Ac\375lmad\375\n";
inline constexpr const char* kReplayInputNotRead = "SimALLW Dosya Ac\375lmad\375\n";
inline constexpr const char* kFuzzyLogNotOpened = "LOGSi Dosya Ac\375lmad\375\n";
inline constexpr const char* kCandidateFileNotOpened = "KFFile Dosya Ac\375lmad\375\n";
inline constexpr const char* kFitnessFileNotOpened = "FEval Dosya Ac\375lmad\375\n";

// The cards: a valve command above the safe pressure, a motor command above
// the safe speed, and the motion card opened.
inline constexpr const char* kPressureTooHigh =
    "Too Maniac Pressure!!??ppppppppppppppppppppppppppppppppppppppppppppp\n";
inline constexpr const char* kSpeedTooHigh =
    "TOO Maniac Speed\tssssssssssssssssssssssssssssssss!!!!!\n";
inline constexpr const char* kInitialised = "Initialization is successfull !\n\n";

}  // namespace messages
