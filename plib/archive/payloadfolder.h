// The files below a folder as payload inputs: what mkpayload and
// mkinstaller pack. Build-machine code (UTF-8 paths).
#pragma once
#include <string>
#include <vector>

#include "payloadbuilder.h"

// Every regular file below root, named relative to it with backslashes in
// code page 1252, with its size and path; in directory order (BuildPayload
// orders them). Empty folders cannot be stored: each is named in notes when
// notes is given. Throws PInternalError when root is not a readable folder,
// when something below it is neither a file nor a folder (links, devices),
// or when a name has characters code page 1252 cannot hold. Names that are
// unsafe to extract are refused later, by BuildPayload.
std::vector<PayloadInput> CollectPayloadFolder(const std::string& root, std::vector<std::string>* notes = nullptr);
