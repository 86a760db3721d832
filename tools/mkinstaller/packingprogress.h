// What mkinstaller tells while it packs a client, which can take minutes: a
// line on the terminal that it rewrites (files, bytes, percent, elapsed),
// and the summary when the installer is written.
// Used on the packing thread only.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "payloadbuilder.h"

class PackingProgress : public IPayloadProgress {
public:
    // Shows progress on stream only when live is true (the tool passes
    // whether standard error is a terminal: a log file gets no rewritten lines).
    PackingProgress(size_t totalFiles, uint64_t totalBytes, std::FILE* stream, bool live);

    // Redraws at most five times a second, and at the last file.
    void Packed(size_t filesDone, uint64_t bytesDone) override;
    // Clears the progress line, so that what follows starts on a clean line.
    void Finish();
    double Seconds() const;

private:
    void Draw(size_t filesDone, uint64_t bytesDone);

    size_t totalFiles_;
    uint64_t totalBytes_;
    std::FILE* stream_;
    bool live_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, lastDrawn_;
};

// "1.5 MB": bytes in decimal units with one decimal from kB on.
std::string ReadableBytes(uint64_t bytes);

// The line mkinstaller prints when the installer is written, for example
// "mkinstaller: wrote Setup.exe: 5647 files, 247899441 bytes packed into
// 89827202 (36.2%); installer 90520990 bytes; 41.7 s".
std::string PackingSummary(const std::string& out, size_t files, uint64_t inputBytes, uint64_t packedBytes,
                           uint64_t installerBytes, double seconds);
