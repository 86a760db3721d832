#include "packingprogress.h"

PackingProgress::PackingProgress(size_t totalFiles, uint64_t totalBytes, std::FILE* stream, bool live)
    : totalFiles_(totalFiles),
      totalBytes_(totalBytes),
      stream_(stream),
      live_(live),
      start_(std::chrono::steady_clock::now()),
      lastDrawn_(start_) {}

void PackingProgress::Packed(size_t filesDone, uint64_t bytesDone) {
    if (!live_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (filesDone < totalFiles_ && drawn_ && now - lastDrawn_ < std::chrono::milliseconds(200))
        return;
    lastDrawn_ = now;
    Draw(filesDone, bytesDone);
}

void PackingProgress::Draw(size_t filesDone, uint64_t bytesDone) {
    const unsigned percent = totalBytes_ ? unsigned(bytesDone * 100 / totalBytes_) : 100;
    const unsigned elapsed = unsigned(Seconds());
    // Padded at the end, so that a shorter line covers a longer one.
    std::fprintf(stream_, "\rmkinstaller: packing %zu/%zu files, %s of %s, %u%%, %u:%02u   ", filesDone, totalFiles_,
                 ReadableBytes(bytesDone).c_str(), ReadableBytes(totalBytes_).c_str(), percent, elapsed / 60,
                 elapsed % 60);
    std::fflush(stream_);
    drawn_ = true;
}

void PackingProgress::Finish() {
    if (!drawn_)
        return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    drawn_ = false;
}

double PackingProgress::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string ReadableBytes(uint64_t bytes) {
    static const char* const kUnits[] = {"kB", "MB", "GB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " bytes";
    double value = double(bytes) / 1000;
    int unit = 0;
    while (value >= 1000 && unit < 2) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string PackingSummary(const std::string& out, size_t files, uint64_t inputBytes, uint64_t packedBytes,
                           uint64_t installerBytes, double seconds) {
    char text[512];
    const double ratio = inputBytes ? 100.0 * double(packedBytes) / double(inputBytes) : 0.0;
    std::snprintf(text, sizeof text, ": %zu files, %llu bytes packed into %llu (%.1f%%); installer %llu bytes; %.1f s",
                  files, static_cast<unsigned long long>(inputBytes), static_cast<unsigned long long>(packedBytes),
                  ratio, static_cast<unsigned long long>(installerBytes), seconds);
    return "mkinstaller: wrote " + out + text;
}
