// Fast equivalents of fprintf and fscanf for the data files' formats, made
// of %d, %f, white space and literal characters: lines are printed as printf
// prints them and scanned as fscanf scans them, including where the
// stream's end-of-file indicator ends up.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// fprintf(file, format, ...) where %d prints int(values[i]) and %f prints
// values[i]; returns fprintf's result (negative on a write error).
int WriteLine(std::FILE* file, const char* format, const double* values);

// Where one %d or %f conversion stores its value.
struct Target {
    int* integer = nullptr;
    float* real = nullptr;
};

// The rest of a stream, read into memory at construction (which leaves the
// stream at its end) and scanned from there.
class TextScanner {
  public:
    explicit TextScanner(std::FILE* file);

    // The end-of-file indicator a stream would have after the same reads.
    bool AtEnd() const { return endSeen_; }
    std::size_t Position() const { return position_; }

    // fscanf(stream, format, targets...): returns the number of conversions,
    // or EOF when the input ended before the first one. Common well-formed
    // text is converted directly; anything else goes through fscanf itself
    // on a memory stream, so the outcome is always fscanf's. `fallback` is
    // that fscanf: int(std::FILE*), with the same format and targets.
    template <typename Fallback>
    int Scan(const char* format, const Target* targets, int count, Fallback fallback) {
        const int converted = ScanDirect(format, targets, count);
        return converted != kDeclined ? converted : ScanWithStdio(fallback);
    }
    // Scan of a record of reals only, `values` in the format's order.
    template <int N, typename Fallback>
    int ScanReals(const char* format, float (&values)[N], Fallback fallback) {
        Target targets[N];
        for (int i = 0; i < N; ++i) {
            targets[i].real = &values[i];
        }
        return Scan(format, targets, N, fallback);
    }

  private:
    static constexpr int kDeclined = -2;
    int ScanDirect(const char* format, const Target* targets, int count);
    template <typename Fallback>
    int ScanWithStdio(Fallback fallback) {
        std::FILE* memory = OpenRemainder();
        if (memory == nullptr) {
            endSeen_ = true;
            return EOF;
        }
        const int converted = fallback(memory);
        CloseRemainder(memory);
        return converted;
    }
    std::FILE* OpenRemainder();
    void CloseRemainder(std::FILE* memory);

    void SkipSpace();
    std::string text_;
    std::size_t position_ = 0;
    bool endSeen_ = false;
};

}  // namespace platform
