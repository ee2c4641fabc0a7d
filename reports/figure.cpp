#include "reports/figure.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "reports/report.h"

namespace reports {

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

namespace {

std::string Colour(unsigned rgb) {
    return Format("rgb \"#%06x\"", rgb);
}

std::string Terminal(const std::filesystem::path& picture, int width, int height, int font) {
    const std::string extension = picture.extension().string();
    if (extension == ".pdf") {
        return Format("set terminal pdfcairo size %.2fin,%.2fin font \"DejaVu Sans,%d\"",
                      width / 96.0, height / 96.0, font);
    }
    if (extension == ".svg") {
        return Format("set terminal svg size %d,%d dynamic font \"DejaVu Sans,%d\"", width, height,
                      font);
    }
    return Format("set terminal pngcairo size %d,%d font \"DejaVu Sans,%d\"", width, height, font);
}

void AppendTable(std::string& script, int index, const Table& table) {
    script += Format("$T%d << EOD\n", index);
    for (std::size_t row = 0; row < table.rows(); ++row) {
        for (std::size_t column = 0; column < table.columns.size(); ++column) {
            const double value = table.columns[column][row];
            if (column > 0) {
                script += ' ';
            }
            script += std::isfinite(value) ? Format("%.9g", value) : std::string("NaN");
        }
        script += '\n';
    }
    script += "EOD\n";
}

// The range of the series on one y axis, a little wider than the curves;
// nothing when the axis holds no finite value.
std::optional<std::pair<double, double>> YRange(const Figure& figure, const Panel& panel,
                                                bool rightAxis) {
    double low = INFINITY, high = -INFINITY;
    for (const Series& series : panel.series) {
        if (series.rightAxis() != rightAxis) {
            continue;
        }
        for (const double value : figure.tables[series.table].columns[series.y]) {
            if (std::isfinite(value)) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
    if (low > high) {
        return std::nullopt;
    }
    const double span = high > low ? high - low : std::max(std::fabs(high), 1.0);
    return std::pair{low - 0.05 * span, high + 0.05 * span};
}

// `keyAt`: where the panel's legend stands, beside its plot.
void AppendPanel(std::string& script, const Figure& figure, const Panel& panel,
                 const std::string& keyAt) {
    script += "\n# " + panel.title.substr(0, panel.title.find('\n')) + "\n";
    script += keyAt;
    script += "unset arrow; unset label; unset logscale; unset y2tics; unset y2label\n";
    script += "set ytics mirror\n";
    script += "set title " + Quoted(panel.title) + "\n";
    script += "set xlabel " + Quoted(panel.xLabel) + "\n";
    script += "set ylabel " + Quoted(panel.yLabel) + "\n";
    if (!panel.y2Label.empty()) {
        script += "set y2label " + Quoted(panel.y2Label) + "\n";
        script += "set ytics nomirror; set y2tics\n";
    }
    // Times, phases and counts start at zero; a logarithmic axis at its data.
    if (panel.logX) {
        script += "set logscale x; set xrange [*:*]\n";
    } else {
        script += panel.xFromZero ? "set xrange [0:*]\n" : "set xrange [*:*]\n";
    }
    for (const bool right : {false, true}) {
        if (const auto range = YRange(figure, panel, right)) {
            script += Format("set %s [%.9g:%.9g]\n", right ? "y2range" : "yrange", range->first,
                             range->second);
        }
    }
    if (panel.stopAt) {
        script += Format("set arrow from %.9g, graph 0 to %.9g, graph 1 nohead lw 2 dt 2 lc %s\n",
                         *panel.stopAt, *panel.stopAt, Colour(kStopMarkerColour).c_str());
        script += Format("set label %s at %.9g, graph 0.06 %s front tc %s\n",
                         Quoted(panel.stopLabel).c_str(), *panel.stopAt,
                         panel.stopLabelLeftOfMarker ? "right offset -0.5,0" : "left offset 0.5,0",
                         Colour(kStopMarkerColour).c_str());
    }
    script += "plot ";
    for (std::size_t i = 0; i < panel.series.size(); ++i) {
        const Series& series = panel.series[i];
        if (i > 0) {
            script += ", \\\n     ";
        }
        const bool marks =
            series.style == Series::Style::kMarks || series.style == Series::Style::kRightAxisMarks;
        const char* with = marks                                    ? "points pt 7 ps 0.7"
                           : series.style == Series::Style::kSteps  ? "steps lw 2"
                           : series.style == Series::Style::kDashed ? "lines lw 2 dt (6,4)"
                                                                    : "lines lw 2";
        script +=
            Format("$T%d using %d:%d with %s lc %s axes x1%s title %s", series.table, series.x + 1,
                   series.y + 1, with,
                   Colour(series.colour.value_or(kCurveColours[i % kCurveColours.size()])).c_str(),
                   series.rightAxis() ? "y2" : "y1", Quoted(series.title).c_str());
    }
    script += "\n";
}

}  // namespace

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(std::max(length, 0), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    va_end(arguments);
    return text;
}

std::string Shown(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (path.empty() || name == "." || name == "..") {
        return std::filesystem::absolute(path).lexically_normal().parent_path().string();
    }
    return path.string();
}

double RmsDifference(const std::vector<double>& a, const std::vector<double>& b,
                     std::size_t count) {
    count = std::min({count, a.size(), b.size()});
    if (count == 0) {
        return 0.0;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return std::sqrt(sum / count);
}

int PanelRows(const Figure& figure) {
    return int((figure.panels.size() + figure.columns - 1) / figure.columns);
}

std::string GnuplotScript(const Figure& figure, const std::filesystem::path& picture, int width,
                          int height) {
    const int rows = PanelRows(figure);
    // Text size follows the picture: one panel row holds about 22 lines.
    const int font = std::clamp(height / rows / 24, 6, 14);
    // Margins from the text size: cairo draws a point as 4/3 pixel; tick
    // labels take up to 8 characters, an axis label a line and a half.
    const double fontPixels = font * 4.0 / 3.0;
    const double lineHeight = 1.3 * fontPixels / height;  // screen fraction
    const double sideMargin = (8 * 0.6 + 2.2) * fontPixels / width;
    const bool rightAxis = std::any_of(figure.panels.begin(), figure.panels.end(),
                                       [](const Panel& panel) { return !panel.y2Label.empty(); });
    // Legends stand outside the plots, right of each panel (and of its right
    // axis), in room as wide as the longest entry.
    const int keyFont = std::max(font - 1, 5);
    std::size_t longest = 0;
    for (const Panel& panel : figure.panels) {
        for (const Series& series : panel.series) {
            longest = std::max(longest, series.title.size());
        }
    }
    const double keyWidth = (double(longest) + 6) * 0.55 * keyFont * 4.0 / 3.0 / width;
    const double axisRoom = rightAxis ? sideMargin : 0.5 * fontPixels / width;
    const double left = sideMargin, right = axisRoom + keyWidth;
    const int titleLines = int(std::count(figure.title.begin(), figure.title.end(), '\n')) + 1;
    const double top = 1 - (titleLines + 2.4) * lineHeight, bottom = 3.0 * lineHeight;
    const double spacingX = left + right, spacingY = 4.6 * lineHeight;
    const double panelWidth = (1 - right - left - (figure.columns - 1) * spacingX) / figure.columns;
    const double panelHeight = (top - bottom - (rows - 1) * spacingY) / rows;

    std::string script;
    script += "# Drawn by run-report. Edit and draw again with: gnuplot THIS_FILE\n";
    script += Terminal(picture, width, height, font) + "\n";
    script += "set termoption noenhanced\n";
    // The picture's name unless the one who runs the script names another.
    script += Format("if (!exists(\"%s\")) %s = %s\n", kPictureVariable, kPictureVariable,
                     Quoted(std::filesystem::absolute(picture).string()).c_str());
    script += Format("set output %s\n", kPictureVariable);
    for (std::size_t i = 0; i < figure.tables.size(); ++i) {
        AppendTable(script, int(i), figure.tables[i]);
    }
    script += "set grid\nset autoscale xfix\n";
    script += "set key vertical Left reverse samplen 2 font \"," + std::to_string(keyFont) + "\"\n";
    script += Format(
        "set multiplot layout %d,%d title %s margins %.4f,%.4f,%.4f,%.4f spacing %.4f,%.4f\n", rows,
        figure.columns, Quoted(figure.title).c_str(), left, 1 - right, bottom, top, spacingX,
        spacingY);
    for (std::size_t i = 0; i < figure.panels.size(); ++i) {
        const int row = int(i) / figure.columns, column = int(i) % figure.columns;
        const double x = left + column * (panelWidth + spacingX) + panelWidth +
                         (figure.panels[i].y2Label.empty() ? 0.5 * fontPixels / width : axisRoom);
        const double y = top - row * (panelHeight + spacingY);
        AppendPanel(script, figure, figure.panels[i],
                    Format("set key at screen %.4f, screen %.4f left top\n", x, y));
    }
    script += "unset multiplot\nset output\n";
    return script;
}

}  // namespace reports
