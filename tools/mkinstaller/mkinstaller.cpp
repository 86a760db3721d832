// mkinstaller: makes a complete installer from the installer stub and a
// client folder, without a compiler:
//   mkinstaller --client DIR --out FILE.exe [--config FILE.ini]
//               [--version A.B.C.D] [--product-name NAME] [--stub FILE]
// It packs DIR into the payload (resource 130 of type MV) with its SHA-256
// digest (132), replaces the configuration section (131) when --config is
// given and the version information when --version or --product-name is,
// keeps everything else of the stub, and last writes the digest of the
// finished file (133, plib/archive/imagedigest.h), which the installer
// checks before it trusts any of its resources. Without --stub it takes the stub
// the Windows build leaves beside this tool's tree
// (build/windows/bin/MorvanditeInstallStub.exe for build/native/bin/mkinstaller).
// Every input is checked before anything is written; OUT is written
// beside itself and renamed into place, so a failure leaves it as it was.
// Exit codes: 0 written, 1 refused or failed, 2 usage.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config.h"
#include "imagedigest.h"
#include "payloadbuilder.h"
#include "payloaddigest.h"
#include "payloadfolder.h"
#include "payloadnames.h"
#include "peimage.h"
#include "perror.h"
#include "resourcetree.h"
#include "sharednames.h"
#include "versioninfo.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: mkinstaller --client DIR --out FILE.exe [--config FILE.ini]\n"
    "                   [--version A.B.C.D] [--product-name NAME] [--stub FILE]\n";

const ResourceKey kTypeMV = ResourceKey::Name("MV");
const ResourceKey kPayload = ResourceKey::Id(SharedNames::kPayloadResourceId);
const ResourceKey kConfiguration = ResourceKey::Id(SharedNames::kConfigResourceId);
const ResourceKey kPayloadDigest = ResourceKey::Id(SharedNames::kPayloadDigestResourceId);
const ResourceKey kImageDigest = ResourceKey::Id(SharedNames::kImageDigestResourceId);
const ResourceKey kMessageTable = ResourceKey::Id(SharedNames::kMessageTableResourceId);
const ImageDigestResources kDigestResources{SharedNames::kInstallerResourceType.narrow,
                                            uint16_t(SharedNames::kPayloadResourceId),
                                            uint16_t(SharedNames::kImageDigestResourceId)};
const ResourceKey kTypeVersion = ResourceKey::Id(16);  // RT_VERSION
const ResourceKey kVersionName = ResourceKey::Id(1);

struct Options {
    std::string client, out, config, version, productName, stub;
};

[[noreturn]] void Fail(const std::string& text) { throw PInternalError(text.c_str()); }

std::string ReadFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    if (in)
        s << in.rdbuf();
    if (!in || in.bad())
        Fail(std::string("cannot read the ") + what + " '" + path + "'");
    return s.str();
}

// The stub the Windows build leaves: build/windows/bin beside build/native/bin.
std::string DefaultStub() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        Fail("cannot find this tool's own folder; name the stub with --stub");
    return (self.parent_path() / ".." / ".." / "windows" / "bin" / "MorvanditeInstallStub.exe").lexically_normal().string();
}

bool ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; i += 2) {
        std::string name = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string value = argv[i + 1];
        std::string* field = name == "--client"         ? &o.client
                             : name == "--out"          ? &o.out
                             : name == "--config"       ? &o.config
                             : name == "--version"      ? &o.version
                             : name == "--product-name" ? &o.productName
                             : name == "--stub"         ? &o.stub
                                                        : nullptr;
        if (!field || !field->empty() || value.empty())
            return false;
        *field = value;
    }
    return !o.client.empty() && !o.out.empty();
}

std::string PackClient(const std::string& folder) {
    std::vector<std::string> notes;
    std::vector<PayloadInput> files = CollectPayloadFolder(folder, &notes);
    for (const std::string& note : notes)
        std::fprintf(stderr, "mkinstaller: note: %s\n", note.c_str());
    if (files.empty())
        Fail("the client folder '" + folder + "' holds no files");
    PayloadStringOutput out;
    try {
        BuildPayload(std::move(files), out);
    } catch (const PError& e) {
        Fail(std::string("cannot pack the client folder '") + folder + "': " + e.why());
    }
    return std::move(out.bytes);
}

std::u16string Utf16Of(const std::string& utf8, const char* what) {
    PWString wide;
    if (!Utf8ToUtf16(utf8.data(), uint32_t(utf8.size()), wide))
        Fail(std::string("the ") + what + " is not valid UTF-8");
    std::u16string out;
    for (uint32_t i = 0; i < wide.units(); ++i)
        out.push_back(char16_t(wide.unit(i)));
    return out;
}

// Writes beside the target and renames over it.
void WriteReplacing(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".mkinstaller-tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        Fail("cannot create '" + temp + "': " + std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || chmod(temp.c_str(), 0755) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        std::remove(temp.c_str());
        Fail("cannot write '" + path + "': " + reason);
    }
}

void Make(const Options& o) {
    // Every input first: a refusal must come before anything is written.
    VersionNumber version{};
    if (!o.version.empty() && !ParseVersionNumber(o.version, version))
        Fail("the version '" + o.version + "' is not four numbers 0 to 65535 (A.B.C.D)");
    std::u16string productName;
    if (!o.productName.empty())
        productName = Utf16Of(o.productName, "product name");
    std::string config;
    if (!o.config.empty()) {
        config = ReadFile(o.config, "configuration file");
        try {
            CheckConfigurationKeys(config.data(), uint32_t(config.size()));
        } catch (const PError& e) {
            Fail("the configuration file '" + o.config + "' is refused: " + e.why());
        }
    }
    // The stub before the client: packing a large client takes a while.
    std::string stubPath = o.stub.empty() ? DefaultStub() : o.stub;
    std::unique_ptr<PeImage> stub;
    uint32_t address = 0;
    ResourceTree resources;
    uint16_t language = 0;
    try {
        stub.reset(new PeImage(ReadFile(stubPath, "stub")));
        address = stub->ResourceSectionAddress();
        resources = ResourceTree::Parse(stub->ResourceSectionBytes(), address);
        const ResourceEntry* stubConfig = resources.Find(kTypeMV, kConfiguration);
        const ResourceEntry* versionEntry = resources.Find(kTypeVersion, kVersionName);
        if (!stubConfig || !resources.Find(kTypeMV, kMessageTable) || !versionEntry)
            Fail("it is not an installer stub: it lacks the configuration section, the message table or the version information");
        language = stubConfig->language.id;
        if (!o.version.empty() || !o.productName.empty()) {
            VersionInfo info = VersionInfo::Parse(versionEntry->data);
            if (!o.version.empty())
                info.SetVersion(version);
            if (!o.productName.empty())
                info.SetString("ProductName", productName);
            resources.Put(kTypeVersion, kVersionName, 0, info.Build());
        }
    } catch (const PError& e) {
        Fail("the stub '" + stubPath + "' cannot be used: " + e.why());
    }

    std::string payload = PackClient(o.client);
    if (!config.empty())
        resources.Put(kTypeMV, kConfiguration, language, config);
    Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
    resources.Put(kTypeMV, kPayloadDigest, language, std::string(digest.begin(), digest.end()));
    resources.Put(kTypeMV, kPayload, language, std::move(payload));
    // The image digest's record, its digest still a placeholder: it can only
    // be computed once the file is laid out.
    ImageDigestRecord record;
    const std::string& messages = resources.Find(kTypeMV, kMessageTable)->data;
    record.messageTable = Sha256(reinterpret_cast<const uint8_t*>(messages.data()), messages.size());
    const ImageDigestRecordBytes placeholder = EncodeImageDigestRecord(record);
    resources.Put(kTypeMV, kImageDigest, language, std::string(placeholder.begin(), placeholder.end()));
    std::string image;
    size_t checksum = 0;
    try {
        image = stub->WithResourceSection(resources.Build(address));
        // The payload is most of the file: starting it on a page lets the
        // loader map it rather than read it all into memory at start-up.
        image = PeImage(std::move(image)).WithPageAlignedResources();
        checksum = PeImage(image).checksumOffset();
    } catch (const PError& e) {
        Fail("the stub '" + stubPath + "' cannot be used: " + e.why());
    }
    // Last, the digest of the file as written, then the checksum, which the
    // digest leaves out.
    PString why;
    if (!SealImageDigest(reinterpret_cast<uint8_t*>(&image[0]), image.size(), kDigestResources, &why))
        Fail(std::string("the installer's own digest cannot be written: ") + why.text());
    PeWrite32(image, checksum, PeChecksum(image, checksum));
    WriteReplacing(o.out, image);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        Make(options);
    } catch (const PError& e) {
        std::fprintf(stderr, "mkinstaller: %s; nothing written\n", e.why());
        return 1;
    }
    return 0;
}
