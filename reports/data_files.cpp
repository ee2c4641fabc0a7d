#include "reports/data_files.h"

namespace reports {

std::vector<double> Column(const Rows& rows, int index, double scale) {
    std::vector<double> column;
    column.reserve(rows.size());
    for (const auto& row : rows) {
        column.push_back(row[index] * scale);
    }
    return column;
}

}  // namespace reports
