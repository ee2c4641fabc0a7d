#include "platform/stdio_text.h"

#include <charconv>
#include <cmath>

namespace platform {
namespace {

// White space and digits as the C locale classifies them.
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A %f of the largest double takes 316 characters.
constexpr std::size_t kRoom = 400;

// %f of a value. For a value that is exactly a 32-bit float and below 1e12,
// value * 10^6 is exact in double (a 24-bit mantissa times 15625 times a
// power of two), so rounding it to an integer in the current rounding mode
// gives the six decimals printf prints; other values go through to_chars.
char* FormatFixed(char* out, double value) {
    if (!(std::fabs(value) < 1e12) || double(float(value)) != value) {
        return std::to_chars(out, out + kRoom, value, std::chars_format::fixed, 6).ptr;
    }
    const auto units = static_cast<unsigned long long>(std::fabs(std::nearbyint(value * 1e6)));
    if (std::signbit(value)) {
        *out++ = '-';
    }
    out = std::to_chars(out, out + kRoom, units / 1000000).ptr;
    *out++ = '.';
    auto fraction = units % 1000000;
    for (int i = 5; i >= 0; --i, fraction /= 10) {
        out[i] = char('0' + fraction % 10);
    }
    return out + 6;
}

}  // namespace

int WriteLine(std::FILE* file, const char* format, const double* values) {
    // The buffer is written out whenever less than kRoom is left.
    char buffer[4096];
    std::size_t used = 0;
    int total = 0;
    auto flush = [&] {
        if (used == 0) {
            return;
        }
        if (std::fwrite(buffer, 1, used, file) != used) {
            total = -1;
        }
        if (total >= 0) {
            total += int(used);
        }
        used = 0;
    };
    for (const char* f = format; *f != '\0'; ++f) {
        if (sizeof buffer - used < kRoom) {
            flush();
        }
        char* out = buffer + used;
        if (f[0] == '%' && (f[1] == 'd' || f[1] == 'f')) {
            const double value = *values++;
            const char* end = f[1] == 'd' ? std::to_chars(out, out + kRoom, int(value)).ptr
                                          : FormatFixed(out, value);
            used = std::size_t(end - buffer);
            ++f;
        } else {
            buffer[used++] = *f;
        }
    }
    flush();
    return total;
}

TextScanner::TextScanner(std::FILE* file) {
    char block[1 << 16];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
        text_.append(block, n);
    }
}

void TextScanner::SkipSpace() {
    while (position_ < text_.size() && IsSpace(text_[position_])) {
        ++position_;
    }
    if (position_ == text_.size()) {
        endSeen_ = true;
    }
}

// The plain shapes fscanf meets in well-formed run files: an optional minus,
// digits, and for %f an optional fraction, ended by white space or the end
// of the text. Anything else (exponents, inf, nan, a plus sign, literal
// characters, numbers out of range) is declined and left to fscanf.
int TextScanner::ScanDirect(const char* format, const Target* targets, int count) {
    int values[32];
    float reals[32];
    if (count > 32) {
        return kDeclined;
    }

    const std::size_t start = position_;
    const bool startEnd = endSeen_;
    auto decline = [&] {
        position_ = start;
        endSeen_ = startEnd;
        return kDeclined;
    };

    int converted = 0;
    for (const char* f = format; *f != '\0'; ++f) {
        if (IsSpace(*f)) {
            SkipSpace();
            continue;
        }
        if (f[0] != '%' || (f[1] != 'd' && f[1] != 'f') || converted == count) {
            return decline();
        }
        const bool real = f[1] == 'f';
        ++f;
        SkipSpace();
        if (position_ == text_.size()) {
            // Input failure: EOF before the first conversion.
            if (converted == 0) {
                return EOF;
            }
            break;
        }
        const char* first = text_.data() + position_;
        const char* last = text_.data() + text_.size();
        const char* p = first + (*first == '-');
        const char* digits = p;
        while (p < last && IsDigit(*p)) {
            ++p;
        }
        if (p == digits) {
            return decline();
        }
        if (real && p < last && *p == '.') {
            ++p;
            while (p < last && IsDigit(*p)) {
                ++p;
            }
        }
        if (p < last && !IsSpace(*p)) {
            return decline();
        }
        const auto result =
            real ? std::from_chars(first, p, reals[converted], std::chars_format::fixed)
                 : std::from_chars(first, p, values[converted]);
        if (result.ec != std::errc() || result.ptr != p) {
            return decline();
        }
        position_ = std::size_t(p - text_.data());
        if (p == last) {
            endSeen_ = true;  // the end was met looking for the number's end
        }
        ++converted;
    }

    for (int i = 0; i < converted; ++i) {
        if (targets[i].real) {
            *targets[i].real = reals[i];
        }
        if (targets[i].integer) {
            *targets[i].integer = values[i];
        }
    }
    return converted;
}

std::FILE* TextScanner::OpenRemainder() {
    if (position_ == text_.size()) {
        return nullptr;
    }
    return fmemopen(text_.data() + position_, text_.size() - position_, "r");
}

void TextScanner::CloseRemainder(std::FILE* memory) {
    position_ += std::size_t(std::ftell(memory));
    endSeen_ = std::feof(memory) != 0;
    std::fclose(memory);
}

}  // namespace platform
