// libFuzzer target: every reader of the skin's file format.
#include "skin/format/checks/SkinFormatExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExerciseSkinFormat(std::span<const std::uint8_t>(data, size));
    return 0;
}
