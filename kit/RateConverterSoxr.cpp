// The rate converter over libsoxr (its high-quality setting).
#include "kit/RateConverter.h"

#include <soxr.h>

#include <new>

namespace rimbrel {

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
