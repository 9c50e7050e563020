#pragma once
// rows x columns doubles, one array per row.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orve {

class DoubleMatrix {
public:
    DoubleMatrix(int32_t rows, int32_t columns)
        : rows_(rows), columns_(columns), storage_(static_cast<size_t>(rows) * columns, 0.0) {}
    double* operator[](int32_t row) { return storage_.data() + static_cast<size_t>(row) * columns_; }
    const double* operator[](int32_t row) const { return storage_.data() + static_cast<size_t>(row) * columns_; }
    int32_t Rows() const { return rows_; }
    int32_t Columns() const { return columns_; }

private:
    int32_t rows_, columns_;
    std::vector<double> storage_;
};

}  // namespace orve
