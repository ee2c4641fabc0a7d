// The trainer's report: a table for people, a CSV for tools.
#include <cmath>
#include <cstdio>

#include "platform/stdio_file.h"
#include "trainer/trainer.h"

namespace trainer {
namespace {

// An RMS, or "-" for a network that has no samples on that side.
std::string Rms(double rms, int samples) {
    if (samples == 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", rms);
    return text;
}

// sqrt of the count-weighted mean square over the networks.
double Overall(const FamilyReport& report, bool heldOut, int& count) {
    double sum = 0.0;
    count = 0;
    for (const NetworkReport& n : report.networks) {
        const int samples = heldOut ? n.heldOutSamples : n.trainingSamples;
        const double rms = heldOut ? n.heldOutRms : n.trainingRms;
        sum += rms * rms * samples;
        count += samples;
    }
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

void PrintReport(std::FILE* out, const FamilyReport& report) {
    std::fprintf(out, "%s: %s\n", report.family.c_str(),
                 report.written ? "written"
                 : report.mixed ? "not written, and its files are mixed until the next command"
                                : "not written, files left as they were");
    for (const std::string& note : report.notes) {
        std::fprintf(out, "  %s\n", note.c_str());
    }
    if (report.networks.empty()) {
        return;
    }
    std::fprintf(out, "  %-24s %7s %8s %10s %12s %4s  %s\n", "network", "train", "held-out",
                 "train RMS", "held-out RMS", "unit", "fitted on");
    int fallbacks = 0;
    for (const NetworkReport& n : report.networks) {
        std::fprintf(out, "  %-24s %7d %8d %10s %12s %4s  %s\n", n.file.c_str(), n.trainingSamples,
                     n.heldOutSamples, Rms(n.trainingRms, n.trainingSamples).c_str(),
                     Rms(n.heldOutRms, n.heldOutSamples).c_str(), n.unit,
                     n.fallback.empty() ? "own samples" : n.fallback.c_str());
        fallbacks += !n.fallback.empty();
    }
    int training = 0, heldOut = 0;
    const double trainingRms = Overall(report, false, training);
    const double heldOutRms = Overall(report, true, heldOut);
    std::fprintf(out,
                 "  %s: %zu networks (%d on neighbouring samples), train RMS %s %s over %d, "
                 "held-out RMS %s %s over %d\n",
                 report.family.c_str(), report.networks.size(), fallbacks,
                 Rms(trainingRms, training).c_str(), report.networks[0].unit, training,
                 Rms(heldOutRms, heldOut).c_str(), report.networks[0].unit, heldOut);
}

bool WriteReportCsv(const std::string& path, const FamilyReport& report) {
    platform::StdioFile file(std::fopen(path.c_str(), "w"));
    if (!file) {
        return false;
    }
    bool written = std::fputs(
                       "network,training_samples,held_out_samples,training_rms,"
                       "held_out_rms,unit,fitted_on\n",
                       file.get()) >= 0;
    // An empty field where a network has no samples on that side.
    auto value = [](double rms, int samples) {
        char text[32] = "";
        if (samples > 0) {
            std::snprintf(text, sizeof text, "%.6f", rms);
        }
        return std::string(text);
    };
    for (const NetworkReport& n : report.networks) {
        const std::string fittedOn = Quoted(n.fallback.empty() ? "own samples" : n.fallback);
        written =
            std::fprintf(file.get(), "%s,%d,%d,%s,%s,%s,%s\n", n.file.c_str(), n.trainingSamples,
                         n.heldOutSamples, value(n.trainingRms, n.trainingSamples).c_str(),
                         value(n.heldOutRms, n.heldOutSamples).c_str(), n.unit,
                         fittedOn.c_str()) > 0 &&
            written;
    }
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace trainer
