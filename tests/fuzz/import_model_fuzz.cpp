// libFuzzer target: ImportModel on arbitrary bytes must return, keep every
// invariant of the model, report a damaged file at most once, and warn of
// dropped texture coordinates at most once and only in a file it loaded.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "loader3ds/model_loader.h"
#include "platform/message_box.h"
#include "tests/model_invariants.h"

namespace {

int errorMessages = 0;
int droppedTexCoordWarnings = 0;

}  // namespace

// Stands in for the platform's message box: counts the errors instead of
// filling standard error.
int MessageBoxA(HWND, const char* text, const char* caption, UINT) {
    if (std::strcmp(caption, "Error") == 0) {
        ++errorMessages;
    } else if (std::strstr(text, "texture coordinates") != nullptr) {
        ++droppedTexCoordWarnings;
    }
    return IDOK;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // ImportModel takes a path: the input lives in an in-memory file.
    static const int input = memfd_create("fuzz-input.3ds", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(input);
    if (input < 0 || ftruncate(input, 0) != 0 ||
        pwrite(input, data, size, 0) != static_cast<ssize_t>(size)) {
        std::perror("fuzz input file");
        std::abort();
    }
    Model model;
    errorMessages = 0;
    droppedTexCoordWarnings = 0;
    const bool loaded = ModelLoader().ImportModel(model, path.c_str());
    const std::string violation = InvariantViolation(model);
    if (!violation.empty() || errorMessages > 1 || loaded == (errorMessages == 1) ||
        droppedTexCoordWarnings > (loaded ? 1 : 0)) {
        std::fprintf(stderr, "loaded %d, %d error messages, %d texture warnings, %s\n", loaded,
                     errorMessages, droppedTexCoordWarnings, violation.c_str());
        std::abort();
    }
    return 0;
}
