#include "kit/RateConverter.h"

#include <soxr.h>

#include <cmath>
#include <limits>
#include <new>

namespace rimbrel {

int64_t convertedFrames(int64_t sourceFrames, int sourceRate) {
    if (sourceFrames <= 0 || sourceRate <= 0) return 0;
    const double frames = std::nearbyint(double(sourceFrames) * (44100.0 / double(sourceRate)));
    // Anything near the top of the range is far beyond what a key can hold.
    if (!(frames < 0x1p62)) return int64_t(1) << 62;
    return int64_t(frames);
}

std::unique_ptr<RateConverter> RateConverter::create(int sourceRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the loader runs on the UI thread and must not start others.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t state = soxr_create(double(sourceRate), 44100.0, 1, &error, &io, &quality, &runtime);
    if (!state || error) {
        if (state) soxr_delete(state);
        return nullptr;
    }
    std::unique_ptr<RateConverter> converter(new (std::nothrow) RateConverter(state));
    if (!converter) soxr_delete(state);
    return converter;
}

RateConverter::~RateConverter() { soxr_delete(static_cast<soxr_t>(state_)); }

bool RateConverter::convert(const float* in, std::size_t inCount, std::size_t& used, float* out,
                            std::size_t outRoom, std::size_t& made) {
    used = 0;
    made = 0;
    const soxr_error_t error = soxr_process(static_cast<soxr_t>(state_), in, in ? inCount : 0, in ? &used : nullptr,
                                            out, outRoom, &made);
    return error == nullptr;
}

}  // namespace rimbrel
