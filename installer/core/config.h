// The configuration section the installer carries as resource 131 of type
// MV: plain INI text with one section "define" naming the product.
#pragma once
#include <cstdint>

#include "installoptions.h"
#include "pstring.h"
#include "sharednames.h"

constexpr int kConfigurationResourceId = SharedNames::kConfigResourceId;

// The values of the "define" section, with the defaults of absent keys. The
// window copies the product fields into its InstallOptions.
struct InstallerConfiguration {
    PString mainWindowClass;              // "mainwnd": the client's window class and mutex name
    PString site;                         // "site": base of the terms-of-service address
    PString productName;                  // "name"
    PString displayName;                  // "dispname"
    PString workFolderName;               // "WorkFolderName", else the product name
    PString browserButtonId;              // "ieB1_1"
    bool overrideUserIni = true;          // "overrideUserIni", non-zero = true
    PString iconPath{"Morvandite.exe"};   // "iconPath"
    int32_t iconIdx = 0;                  // "iconIdx"
};

// strtol with base 16 when the value starts with the letter x (which is
// skipped), base 10 otherwise; "" and text without digits give 0. Results
// beyond 32 bits are clamped, so both builds read the same number.
int32_t ParseConfigInteger(const char* value);

// Parses the section text (keys matched ignoring case, the first of repeated
// keys wins) into config; absent keys get the defaults above. Throws
// PInternalError when the text is not INI text or has no section "define";
// config is then unchanged.
void ParseConfiguration(const void* text, uint32_t length, InstallerConfiguration& config);

// Copies the product fields into the record the worker receives.
inline void ApplyConfiguration(const InstallerConfiguration& config, InstallOptions& options) {
    options.productName = config.productName;
    options.displayName = config.displayName;
    options.workFolderName = config.workFolderName;
    options.browserButtonId = config.browserButtonId;
    options.overrideUserIni = config.overrideUserIni ? 1 : 0;
    options.iconPath = config.iconPath;
    options.iconIdx = config.iconIdx;
    options.site = config.site;
}

// Checks that the section text holds only what the installer reads: one
// section "define" whose keys are all known ones (the keys above, and
// "ieB1_2", which the shipped section carries for the client). Throws
// PInternalError naming the first other section or unknown key, or when
// the text is not INI text or has no section "define".
void CheckConfigurationKeys(const void* text, uint32_t length);

#ifdef _WIN32
// Reads the section from the program's resource (131 of type MV unless told
// otherwise) and selects the build variant from the product name. On any
// failure (resource missing, no section "define", bad text) logs
// "Error read configuration" and returns false with config unchanged.
bool LoadInstallerConfiguration(InstallerConfiguration& config, int resourceId = kConfigurationResourceId);
#endif
