// What a report draws, independent of the files it came from: tables of
// numbers and panels of curves over them. Each kind of report builds one
// Figure; the Figure becomes one gnuplot script.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "arm/arm.h"

namespace reports {

// Columns of equal length, written into the script as a data block.
struct Table {
    std::vector<std::vector<double>> columns;
    std::size_t rows() const { return columns.empty() ? 0 : columns.front().size(); }
};

struct Series {
    // kMarks and kRightAxisMarks: a point per row whose y is a number (rows
    // holding NaN are left out), on the left or the right axis.
    enum class Style { kSolid, kDashed, kRightAxis, kSteps, kMarks, kRightAxisMarks };
    Series(int table_, int x_, int y_, std::string title_, Style style_ = Style::kSolid,
           std::optional<unsigned> colour_ = std::nullopt)
        : table(table_), x(x_), y(y_), title(std::move(title_)), style(style_), colour(colour_) {}
    int table;  // index into Figure::tables
    int x, y;   // column indices
    std::string title;
    Style style;
    std::optional<unsigned> colour;  // 0xRRGGBB; by default kCurveColours in the panel's order
    bool rightAxis() const { return style == Style::kRightAxis || style == Style::kRightAxisMarks; }
};

struct Panel {
    Panel(std::string title_, std::string xLabel_, std::string yLabel_, std::string y2Label_ = {})
        : title(std::move(title_)),
          xLabel(std::move(xLabel_)),
          yLabel(std::move(yLabel_)),
          y2Label(std::move(y2Label_)) {}
    std::string title;
    std::string xLabel, yLabel, y2Label;  // y2Label: the right axis of kRightAxis series
    std::vector<Series> series;           // drawn in order, each over the ones before
    bool logX = false;
    bool xFromZero = true;         // a time axis starts at 0; other axes fit their data
    std::optional<double> stopAt;  // x of the stop marker
    std::string stopLabel;
    bool stopLabelLeftOfMarker = false;  // for a marker near the right end
};

struct Figure {
    std::string title;  // may hold several lines separated by '\n'
    int columns = 2;
    std::vector<Table> tables;
    std::vector<Panel> panels;
};

// Rows of the panel grid.
int PanelRows(const Figure& figure);

// The gnuplot script drawing `figure` into `picture` (its extension picks
// the terminal) at width × height pixels.
std::string GnuplotScript(const Figure& figure, const std::filesystem::path& picture, int width,
                          int height);

// A text as a gnuplot double-quoted string.
std::string Quoted(const std::string& text);

// The script's variable naming the picture it draws; set with gnuplot -e
// before the script to draw elsewhere.
inline constexpr const char* kPictureVariable = "picture";

// Root mean square of a[i] − b[i] over the first `count` entries.
double RmsDifference(const std::vector<double>& a, const std::vector<double>& b, std::size_t count);

// printf-style formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A path for a title: as given, or absolute when it is "." or "..".
std::string Shown(const std::filesystem::path& path);

// The time of sample k in seconds.
inline double SampleSeconds(double sample) {
    return sample * (arm::kSamplePeriodMs / 1000.0);
}

}  // namespace reports
