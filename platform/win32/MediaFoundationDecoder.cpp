#include "platform/win32/MediaFoundationDecoder.h"

#include <io.h>
#include <windows.h>
// Windows headers after windows.h.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace rimbrel::platform::win32 {

namespace {

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Media Foundation's entry points, looked up when first needed: the plug-in
// must load where Media Foundation is missing (Windows "N" editions without
// the Media Feature Pack), and then reads WAV and AIFF only.
struct MediaFoundationCalls {
    decltype(&MFStartup) startup = nullptr;
    decltype(&MFShutdown) shutdown = nullptr;
    decltype(&MFCreateMediaType) createMediaType = nullptr;
    decltype(&MFCreateSourceReaderFromURL) createSourceReaderFromUrl = nullptr;
    bool available() const { return startup && shutdown && createMediaType && createSourceReaderFromUrl; }
};

template <class F>
void lookUp(HMODULE module, const char* name, F& function) {
    if (module) function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const MediaFoundationCalls& mediaFoundation() {
    static const MediaFoundationCalls calls = [] {
        MediaFoundationCalls c;
        // Kept loaded for the process's lifetime, as the system keeps them.
        const HMODULE platform = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE readWrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        lookUp(platform, "MFStartup", c.startup);
        lookUp(platform, "MFShutdown", c.shutdown);
        lookUp(platform, "MFCreateMediaType", c.createMediaType);
        lookUp(readWrite, "MFCreateSourceReaderFromURL", c.createSourceReaderFromUrl);
        return c;
    }();
    return calls;
}

// COM and Media Foundation for the decoder's lifetime. A thread the host
// already set up for COM (OLE drops need a single-threaded apartment) is
// used as it is.
class MediaSession {
public:
    MediaSession() {
        if (!mediaFoundation().available()) return;
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        comStarted_ = SUCCEEDED(com);
        mfStarted_ = SUCCEEDED(mediaFoundation().startup(MF_VERSION, MFSTARTUP_LITE));
    }
    ~MediaSession() {
        if (mfStarted_) mediaFoundation().shutdown();
        if (comStarted_) CoUninitialize();
    }
    MediaSession(const MediaSession&) = delete;
    MediaSession& operator=(const MediaSession&) = delete;
    bool ready() const { return mfStarted_; }

private:
    bool comStarted_ = false;
    bool mfStarted_ = false;
};

// The path of the open file behind fd, as Windows spells it.
std::wstring pathOf(int fd) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
    }
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    return path;
}

class MediaFoundationDecoder final : public SoundFileDecoder {
public:
    ~MediaFoundationDecoder() override { release(reader_); }

    bool open(const std::wstring& path) {
        if (!session_.ready()) return false;
        if (FAILED(mediaFoundation().createSourceReaderFromUrl(path.c_str(), nullptr, &reader_))) return false;
        const DWORD audio = DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
        reader_->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        if (FAILED(reader_->SetStreamSelection(audio, TRUE))) return false;

        IMFMediaType* wanted = nullptr;
        if (FAILED(mediaFoundation().createMediaType(&wanted))) return false;
        wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float);
        const HRESULT set = reader_->SetCurrentMediaType(audio, nullptr, wanted);
        release(wanted);
        if (FAILED(set)) return false;

        IMFMediaType* actual = nullptr;
        if (FAILED(reader_->GetCurrentMediaType(audio, &actual))) return false;
        UINT32 channels = 0, rate = 0, bits = 0;
        GUID subtype{};
        actual->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
        actual->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
        actual->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
        actual->GetGUID(MF_MT_SUBTYPE, &subtype);
        release(actual);
        if (subtype != MFAudioFormat_Float || bits != 32 || channels < 1 || channels > 64 || rate < 1) return false;

        PROPVARIANT duration;
        PropVariantInit(&duration);
        int64_t frames = 0;
        if (SUCCEEDED(reader_->GetPresentationAttribute(DWORD(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                        &duration)) &&
            duration.vt == VT_UI8) {
            // 100-nanosecond units.
            frames = int64_t(std::llround(double(duration.uhVal.QuadPart) * rate / 1e7));
        }
        PropVariantClear(&duration);

        facts_.channels = int(channels);
        facts_.sampleRate = int(rate);
        facts_.frames = frames;
        facts_.recognisedHeader = true;
        return true;
    }

    const SoundFileFacts& facts() const override { return facts_; }

    int64_t readFrames(float* interleaved, int64_t frames) override {
        const std::size_t channels = std::size_t(facts_.channels);
        int64_t done = 0;
        while (done < frames) {
            if (pendingAt_ == pending_.size() && !fetch()) break;
            const std::size_t available = (pending_.size() - pendingAt_) / channels;
            const std::size_t n = std::min<std::size_t>(available, std::size_t(frames - done));
            std::memcpy(interleaved + std::size_t(done) * channels, pending_.data() + pendingAt_,
                        n * channels * sizeof(float));
            pendingAt_ += n * channels;
            done += int64_t(n);
        }
        return done;
    }

    bool failed() const override { return failed_; }

private:
    // The next decoded sample's frames into pending_; false at the end of
    // the stream or on an error (failed_ then tells).
    bool fetch() {
        pending_.clear();
        pendingAt_ = 0;
        while (!ended_ && !failed_ && pending_.empty()) {
            DWORD flags = 0;
            IMFSample* sample = nullptr;
            const HRESULT read = reader_->ReadSample(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, nullptr, &flags,
                                                     nullptr, &sample);
            if (FAILED(read)) {
                failed_ = true;
                break;
            }
            if (flags & MF_SOURCE_READERF_ENDOFSTREAM) ended_ = true;
            if (!sample) continue;
            IMFMediaBuffer* buffer = nullptr;
            if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
                BYTE* bytes = nullptr;
                DWORD length = 0;
                if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
                    const std::size_t whole = length / (sizeof(float) * std::size_t(facts_.channels));
                    try {
                        pending_.resize(whole * std::size_t(facts_.channels));
                        std::memcpy(pending_.data(), bytes, pending_.size() * sizeof(float));
                    } catch (const std::bad_alloc&) {
                        failed_ = true;
                    }
                    buffer->Unlock();
                } else {
                    failed_ = true;
                }
                release(buffer);
            } else {
                failed_ = true;
            }
            release(sample);
        }
        return !pending_.empty();
    }

    MediaSession session_;
    IMFSourceReader* reader_ = nullptr;
    SoundFileFacts facts_;
    std::vector<float> pending_;
    std::size_t pendingAt_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<SoundFileDecoder> openMediaFoundationFile(int fd) {
    const std::wstring path = pathOf(fd);
    if (path.empty()) return nullptr;
    std::unique_ptr<MediaFoundationDecoder> decoder(new (std::nothrow) MediaFoundationDecoder);
    if (!decoder || !decoder->open(path)) return nullptr;
    return decoder;
}

}  // namespace rimbrel::platform::win32
