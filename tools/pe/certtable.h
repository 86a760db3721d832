// The certificate table of a signed PE image (the WIN_CERTIFICATE entries
// the security directory points to) and bytes carried at its end. The
// signature's hash covers neither the table nor the directory entry, so
// bytes placed there leave the signature valid. Failures throw PInternalError.
#pragma once
#include <string>

class PeImage;

// True when the image carries a certificate table.
bool HasCertificateTable(const PeImage& image);

// The image with tail as the last bytes of its certificate table, and so of
// the file: tail goes at the end of the last WIN_CERTIFICATE, after its
// signature data and after any tail put there before (which is dropped),
// preceded by the zero bytes that keep the entry 8-byte aligned. The
// entry's length, the directory entry's size and the checksum follow.
// Refuses an image whose table is not at the end of the file or whose last
// entry does not hold DER-encoded signature data.
std::string WithCertificateTableTail(const PeImage& image, const std::string& tail);
