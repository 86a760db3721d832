// How large an installer 32-bit Windows can start, and the refusal of one
// that would be larger. Pure functions, callable from any thread.
//
// The installer is a 32-bit program without /LARGEADDRESSAWARE: its process
// has 2 GiB of user address space. The loader maps the image whole
// (SizeOfImage bytes, contiguous, at the image base 0x00400000), and the
// payload is a resource, so it is inside that span. The rest of the process
// must fit around it: the system DLLs, which ASLR places anywhere in the
// upper part of the space; the heaps and thread stacks, reserved below and
// between them; the decoder's 8 MiB dictionary, the writer's 512 KiB queue,
// the pictures of the page, COM and the shell's DLLs. A 2.18 GB image does
// not load at all ("Not enough memory"); with 1 GiB mapped from 0x00400000
// the image ends near 0x40400000, below where Windows puts its DLLs, and
// leaves close to 1 GiB for everything else. Hence kMaxInstallerImageSize.
#pragma once
#include <cstdint>
#include <string>

// The largest SizeOfImage mkinstaller writes: 1 GiB.
constexpr uint64_t kMaxInstallerImageSize = uint64_t(1) << 30;

// Reads the value of --image-limit: a number of bytes, decimal, at least 1
// and at most kMaxInstallerImageSize (the option can lower the limit, never
// raise it). Returns false, leaving limit as it was, for anything else.
bool ParseImageLimit(const std::string& text, uint64_t& limit);

// The most packed payload an installer can carry under limit when its
// image holds stubStart bytes besides the payload (at least the stub up to
// its resources): limit - stubStart, or 0 when stubStart reaches the limit.
// The image as laid out must still be checked against the limit.
uint64_t PayloadRoomUnder(uint64_t limit, uint64_t stubStart);

// The refusal's text for an image (or a payload) of size bytes against
// limit: what is too large, both figures in bytes and in MiB, and why.
// what names the thing measured ("the installer's image", ...).
std::string ImageLimitRefusal(const std::string& what, uint64_t size, uint64_t limit);
