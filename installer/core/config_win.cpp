#include "config.h"

#include <utility>

#include "buildvariant.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"

bool LoadInstallerConfiguration(InstallerConfiguration& config, int resourceId) {
    try {
        PProgramResource resource(resourceId);
        if (!resource.found())
            throw PInternalError("Configuration: no resource");
        InstallerConfiguration read;
        ParseConfiguration(resource.data(), resource.size(), read);
        BuildOptions::select(read.productName.text());
        config = std::move(read);
        return true;
    } catch (const PError&) {
        LogLine("Error read configuration");
        return false;
    }
}
