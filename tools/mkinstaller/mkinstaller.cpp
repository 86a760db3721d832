// mkinstaller: makes a complete installer from the installer stub and a
// client folder, without a compiler (see kHelp for the command line).
// It packs the client folder into the payload (resource 130 of type MV) with
// its SHA-256 digest (132), adding the folder's uninstall.lst when it has
// none and checking the one it has; replaces the configuration section (131)
// with --config's, checked as the installer reads it; sets the version
// information's numbers and brand strings (and, for a brand, the original
// file name and the manifest's description); keeps everything else of the
// stub; and last writes the digest of the finished file (133,
// plib/archive/imagedigest.h), which the installer checks before it trusts
// any of its resources. Without --stub it takes the stub the Windows build
// leaves beside this tool's tree (build/windows/bin/MorvanditeInstallStub.exe
// for build/native/bin/mkinstaller). Every input is checked before anything
// is written; OUT is written beside itself and renamed into place, so a
// failure leaves it as it was. An installer whose image would pass
// kMaxInstallerImageSize (imagelimit.h), which 32-bit Windows could not
// load, is refused, its packing stopped as soon as that is sure. The packed
// client goes straight into OUT's temporary file, never into memory, so
// packing holds the LZMA encoder and a few MiB whatever the client's size.
// Built natively and as a static Windows program. Exit codes: toolcli.h.
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "branding.h"
#include "config.h"
#include "configcheck.h"
#include "imagedigest.h"
#include "imagelimit.h"
#include "outputfile.h"
#include "packingprogress.h"
#include "payloadbuilder.h"
#include "payloaddigest.h"
#include "payloadfilesource.h"
#include "payloadfolder.h"
#include "payloadnames.h"
#include "peimage.h"
#include "perror.h"
#include "resourcetree.h"
#include "sharednames.h"
#include "toolargs.h"
#include "toolcli.h"
#include "uninstalllist.h"
#include "versioninfo.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: mkinstaller --client DIR --out FILE.exe [--config FILE.ini] [--version A.B.C.D]\n"
    "                   [--product-name NAME] [--company NAME] [--description TEXT]\n"
    "                   [--copyright TEXT] [--brand FILE] [--stub FILE] [--image-limit BYTES]\n"
    "       mkinstaller --info INSTALLER\n"
    "       mkinstaller --help | --version\n";

const char* kHelp =
    "usage: mkinstaller --client DIR --out FILE.exe [OPTIONS]\n"
    "       mkinstaller --info INSTALLER\n"
    "       mkinstaller --help | --version\n"
    "\n"
    "Makes an installer from the installer stub and the client folder DIR.\n"
    "\n"
    "  --client DIR         the client's files, installed as they are in DIR. DIR/uninstall.lst\n"
    "                       (the uninstaller's list of every file, itself included) is checked\n"
    "                       against DIR; when DIR has none, the installer carries one made from\n"
    "                       DIR (DIR itself is never changed)\n"
    "  --out FILE.exe       the installer; not inside DIR, and a regular file if it exists\n"
    "  --config FILE.ini    the installer's [define] section (UTF-8; name, dispname, site and\n"
    "                       ieB1_1 required); without it the stub's own (Morvandite's) stays\n"
    "  --version A.B.C.D    file and product version of the installer\n"
    "  --product-name NAME  ProductName of the version information\n"
    "  --company NAME       CompanyName\n"
    "  --description TEXT   FileDescription (tools/sign.sh signs with it as the description)\n"
    "  --copyright TEXT     LegalCopyright\n"
    "  --brand FILE         the four above as lines company=, description=, copyright=,\n"
    "                       product-name= (each given in one place only)\n"
    "  --stub FILE          the stub; default: build/windows/bin/MorvanditeInstallStub.exe\n"
    "                       beside this tool's build tree\n"
    "  --image-limit BYTES  a lower limit on the installer's image (SizeOfImage) than the\n"
    "                       1073741824 bytes (1 GiB) that is always kept: a larger installer does\n"
    "                       not start on 32-bit Windows, so a client folder that packs above it\n"
    "                       is refused, and packing stops as soon as the payload passes it\n"
    "  --info INSTALLER     print an installer's version information as Name=value lines\n"
    "\n"
    "Prints its progress while packing when standard error is a terminal, and a summary.\n"
    "Exit codes: 0 written, 1 an input refused or the work failed (the reason is printed and\n"
    "nothing is written), 2 usage.\n";

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
const ResourceKey kTypeManifest = ResourceKey::Id(24);  // RT_MANIFEST
const ResourceKey kManifestName = ResourceKey::Id(1);

struct Options {
    std::string client, out, config, version, stub, brandFile, info, imageLimit;
    Branding brand;
};

[[noreturn]] void Fail(const std::string& text) { throw PInternalError(text.c_str()); }

std::string ReadFile(const std::string& path, const char* what) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream s;
    if (in)
        s << in.rdbuf();
    if (!in || in.bad())
        Fail(std::string("cannot read the ") + what + " '" + path + "'");
    return s.str();
}

// The stub the Windows build leaves: build/windows/bin beside build/native/bin,
// or beside mkinstaller.exe itself in build/windows/bin.
std::string DefaultStub() {
#ifdef _WIN32
    wchar_t self[32768];
    const DWORD length = GetModuleFileNameW(nullptr, self, DWORD(sizeof self / sizeof self[0]));
    if (length == 0 || length >= sizeof self / sizeof self[0])
        Fail("cannot find this tool's own folder; name the stub with --stub");
    return (fs::path(self).parent_path() / "MorvanditeInstallStub.exe").lexically_normal().u8string();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        Fail("cannot find this tool's own folder; name the stub with --stub");
    return (self.parent_path() / ".." / ".." / "windows" / "bin" / "MorvanditeInstallStub.exe").lexically_normal().string();
#endif
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
                             : name == "--product-name" ? &o.brand.productName
                             : name == "--company"      ? &o.brand.company
                             : name == "--description"  ? &o.brand.description
                             : name == "--copyright"    ? &o.brand.copyright
                             : name == "--brand"        ? &o.brandFile
                             : name == "--stub"         ? &o.stub
                             : name == "--info"         ? &o.info
                             : name == "--image-limit"  ? &o.imageLimit
                                                        : nullptr;
        if (!field || !field->empty() || value.empty())
            return false;
        *field = value;
    }
    if (!o.info.empty())
        return argc == 3;
    return !o.client.empty() && !o.out.empty();
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

std::string Utf8Of(const std::u16string& text) {
    PString out;
    if (!Utf16ToUtf8(reinterpret_cast<const uint16_t*>(text.data()), uint32_t(text.size()), out))
        return "?";
    return std::string(out.text(), out.length());
}

bool SameName(const std::string& a, const std::string& b) { return PCompareNoCase(a.c_str(), b.c_str()) == 0; }

// The client's files, its uninstall.lst checked or added: an installer
// without one could not be uninstalled.
std::vector<PayloadInput> CollectClient(const std::string& folder) {
    std::vector<std::string> notes;
    std::vector<PayloadInput> files = CollectPayloadFolder(folder, &notes);
    for (const std::string& note : notes)
        std::fprintf(stderr, "mkinstaller: note: %s\n", note.c_str());
    if (files.empty())
        Fail("the client folder '" + folder + "' holds no files");
    std::vector<std::string> names;
    const PayloadInput* list = nullptr;
    for (const PayloadInput& f : files) {
        names.push_back(f.name);
        if (SameName(f.name, SharedNames::kUninstallListFile.narrow))
            list = &f;
    }
    if (list) {
        std::string why = UninstallListMismatch(ReadFile(list->path, "file list"), names);
        if (!why.empty())
            Fail("the client folder's " + why + "; correct the list, or remove it and let mkinstaller make one");
        return files;
    }
    PayloadInput made;
    made.name = SharedNames::kUninstallListFile.narrow;
    made.bytes = MakeUninstallList(names);
    made.size = made.bytes.size();
    files.push_back(std::move(made));
    std::fprintf(stderr, "mkinstaller: note: the client folder has no uninstall.lst; the installer carries one "
                         "listing its %zu files (the folder is left as it is)\n", files.size());
    return files;
}

// The installer's configuration section: --config's, checked as the
// installer reads it, or the stub's own.
std::string ConfigurationSection(const std::string& path, std::string& iconPath) {
    const std::string bytes = ReadFile(path, "configuration file");
    try {
        CheckedConfiguration checked = CheckConfigurationFile(bytes);
        // And read by the installer's own code, as a last word.
        CheckConfigurationKeys(checked.section.data(), uint32_t(checked.section.size()));
        InstallerConfiguration parsed;
        ParseConfiguration(checked.section.data(), uint32_t(checked.section.size()), parsed);
        for (const std::string& note : checked.notes)
            std::fprintf(stderr, "mkinstaller: note: %s: %s\n", path.c_str(), note.c_str());
        iconPath = checked.iconPath;
        return checked.section;
    } catch (const PError& e) {
        Fail("the configuration file '" + path + "' is refused: " + e.why());
    }
}

std::string IconPathOfSection(const std::string& section) {
    InstallerConfiguration parsed;
    ParseConfiguration(section.data(), uint32_t(section.size()), parsed);
    PString utf8;
    PStringXToUtf8(parsed.iconPath.text(), utf8);
    return std::string(utf8.text(), utf8.length());
}

void NoteMissingIcon(const std::string& iconPath, const std::vector<PayloadInput>& files) {
    PString name;
    if (!Utf8ToCp1252(iconPath.data(), uint32_t(iconPath.size()), name))
        name = PString("");
    for (const PayloadInput& f : files)
        if (SameName(f.name, name.text()))
            return;
    std::fprintf(stderr,
                 "mkinstaller: note: the configuration's icon file '%s' is not in the client folder; "
                 "the shortcuts and the uninstall entry would show no icon of their own\n",
                 iconPath.c_str());
}

void SetBrandString(VersionInfo& info, const char* key, const std::string& value, const char* what) {
    if (!value.empty())
        info.SetString(key, Utf16Of(value, what));
}

int PrintInfo(const std::string& path) {
    try {
        std::string bytes = ReadFile(path, "installer");
        VersionInfo info = [&] {
            try {
                PeImage image(bytes);
                ResourceTree resources = ResourceTree::Parse(image.ResourceSectionBytes(), image.ResourceSectionAddress());
                const ResourceEntry* version = resources.Find(kTypeVersion, kVersionName);
                if (!version)
                    Fail("'" + path + "' has no version information");
                return VersionInfo::Parse(version->data);
            } catch (const PError& e) {
                Fail("'" + path + "' is not a Windows program this tool reads: " + e.why());
            }
        }();
        for (const char* key : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                                "OriginalFilename", "ProductName", "ProductVersion"}) {
            std::u16string value;
            if (info.GetString(key, value))
                std::printf("%s=%s\n", key, Utf8Of(value).c_str());
        }
    } catch (const PError& e) {
        std::fprintf(stderr, "mkinstaller: %s\n", e.why());
        return kToolRefused;
    }
    return kToolDone;
}

// The payload as it is packed, written straight into the installer's file
// at its place there (after the image's head) through a buffer of 1 MiB: the
// packed client is never held in memory, whatever its size. Refused as soon
// as the image it would make passes limit: a client folder too large for any
// installer stops packing there rather than at its end. The image holds at
// least the stub up to its resources (stubStart bytes) and the payload. One
// thread.
class PayloadFileOutput : public IPayloadOutput {
public:
    PayloadFileOutput(PendingOutputFile& file, uint64_t at, uint64_t stubStart, uint64_t limit)
        : file_(file), at_(at), stubStart_(stubStart), limit_(limit) {
        buffer_.reserve(kBuffer);
    }
    void Put(const void* data, size_t size) override {
        const uint64_t packed = size_ + size;
        if (stubStart_ + packed > limit_)
            Fail(ImageLimitRefusal("the installer's image, counting only the stub's " + std::to_string(stubStart_) +
                                       " bytes before its resources and the payload packed so far (" +
                                       std::to_string(packed) + " bytes),",
                                   stubStart_ + packed, limit_) +
                 "; the client folder must pack smaller");
        const char* p = static_cast<const char*>(data);
        size_ += size;
        while (size > 0) {
            const size_t n = std::min(size, kBuffer - buffer_.size());
            buffer_.append(p, n);
            p += n;
            size -= n;
            if (buffer_.size() == kBuffer)
                Flush();
        }
    }
    void Patch(uint64_t offset, const void* data, size_t size) override {
        if (offset + size > size_)
            Fail("the payload's packer patched bytes it had not written");
        // Bytes still in the buffer are patched there, the others in the file.
        const uint64_t buffered = size_ - buffer_.size();
        const char* p = static_cast<const char*>(data);
        if (offset < buffered) {
            const size_t n = size_t(std::min<uint64_t>(size, buffered - offset));
            file_.WriteAt(at_ + offset, p, n);
            offset += n;
            p += n;
            size -= n;
        }
        if (size > 0)
            buffer_.replace(size_t(offset - buffered), size, p, size);
    }
    // Writes what is buffered; the file's end is then the payload's.
    void Flush() {
        file_.Write(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    uint64_t size() const { return size_; }

private:
    static constexpr size_t kBuffer = size_t(1) << 20;
    PendingOutputFile& file_;
    std::string buffer_;
    uint64_t size_ = 0;
    uint64_t at_, stubStart_, limit_;
};

// The written file (still under its temporary name) read back from offset on,
// length bytes, piece by piece.
template <typename Use>
void ReadBack(const PendingOutputFile& file, uint64_t offset, uint32_t length, Use use) {
    PayloadFileSource source;
    PString why;
    if (!source.Open(file.temporary().c_str(), offset, length, &why))
        Fail(std::string("cannot read back the installer being written: ") + why.text());
    for (uint32_t at = 0; at < length;) {
        uint32_t got = 0;
        const uint8_t* bytes = source.Read(at, 1u << 20, &got);
        use(bytes, got);
        at += got;
    }
}

void Make(Options o) {
    // Every input first: a refusal must come before anything is written.
    uint64_t imageLimit = kMaxInstallerImageSize;
    if (!o.imageLimit.empty() && !ParseImageLimit(o.imageLimit, imageLimit))
        Fail("the image limit '" + o.imageLimit + "' is not a number of bytes from 1 to " +
             std::to_string(kMaxInstallerImageSize));
    VersionNumber version{};
    if (!o.version.empty() && !ParseVersionNumber(o.version, version))
        Fail("the version '" + o.version + "' is not four numbers 0 to 65535 (A.B.C.D)");
    if (!o.brandFile.empty()) {
        try {
            o.brand.Merge(ReadBrandFile(ReadFile(o.brandFile, "brand file")), "the brand file");
        } catch (const PError& e) {
            Fail("the brand file '" + o.brandFile + "' is refused: " + e.why());
        }
    }
    std::u16string productName;
    if (!o.brand.productName.empty())
        productName = Utf16Of(o.brand.productName, "product name");
    Utf16Of(o.brand.company, "company");
    Utf16Of(o.brand.description, "description");
    Utf16Of(o.brand.copyright, "copyright");
    std::string config, iconPath;
    if (!o.config.empty())
        config = ConfigurationSection(o.config, iconPath);
    CheckOutputTarget(o.out);
    // Before minutes of packing, not after them.
    const fs::path outFolder = fs::absolute(fs::u8path(o.out)).parent_path();
    if (!fs::is_directory(outFolder))
        Fail("the output's folder '" + outFolder.u8string() + "' does not exist");
    if (IsInsideFolder(o.out, o.client))
        Fail("the output '" + o.out + "' is inside the client folder '" + o.client +
             "': the next installer made from it would carry this one");

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
        if (config.empty())
            iconPath = IconPathOfSection(stubConfig->data);
        const Branding& b = o.brand;
        if (!o.version.empty() || !b.productName.empty() || !b.company.empty() || !b.description.empty() ||
            !b.copyright.empty()) {
            VersionInfo info = VersionInfo::Parse(versionEntry->data);
            if (!o.version.empty())
                info.SetVersion(version);
            SetBrandString(info, "ProductName", b.productName, "product name");
            SetBrandString(info, "CompanyName", b.company, "company");
            SetBrandString(info, "FileDescription", b.description, "description");
            SetBrandString(info, "LegalCopyright", b.copyright, "copyright");
            // A rebranded installer is known by the name the release gives
            // it, not by the stub's (Windows shows both in the file's details).
            if (!b.productName.empty() || !b.company.empty() || !b.description.empty() || !b.copyright.empty()) {
                const fs::path outName = fs::u8path(o.out).filename();
                SetBrandString(info, "OriginalFilename", outName.u8string(), "output's file name");
                SetBrandString(info, "InternalName", outName.stem().u8string(), "output's file name");
                // The manifest names and describes the program too.
                if (const ResourceEntry* manifest = resources.Find(kTypeManifest, kManifestName))
                    resources.Put(kTypeManifest, kManifestName, manifest->language.id,
                                  BrandedManifest(manifest->data, b.description.empty() ? b.productName : b.description,
                                                  AssemblyNameOf(outName.stem().u8string())));
            }
            resources.Put(kTypeVersion, kVersionName, 0, info.Build());
        }
    } catch (const PError& e) {
        Fail("the stub '" + stubPath + "' cannot be used: " + e.why());
    }

    // The installer's image is at least the stub up to its resources (which
    // the payload joins) and the payload: what the limit leaves beside the
    // former is the payload's room at most.
    const uint64_t payloadRoom = PayloadRoomUnder(imageLimit, address);
    if (payloadRoom == 0)
        Fail(ImageLimitRefusal("the stub '" + stubPath + "' up to its resources alone", address, imageLimit));

    std::vector<PayloadInput> files = CollectClient(o.client);
    NoteMissingIcon(iconPath, files);
    const size_t fileCount = files.size();
    uint64_t inputBytes = 0;
    for (const PayloadInput& f : files)
        inputBytes += f.size;
    if (inputBytes > payloadRoom)
        std::fprintf(stderr,
                     "mkinstaller: note: the client folder's %llu bytes fit the installer only if they pack to "
                     "less than %llu bytes; packing stops as soon as they do not\n",
                     static_cast<unsigned long long>(inputBytes), static_cast<unsigned long long>(payloadRoom));

    // The file is laid out as head (the stub's headers and sections up to
    // the resources, which start on a page so that the loader can map the
    // payload rather than read it into memory at start-up; then the
    // resources but the payload), the payload, placed last among them, and
    // tail (the sections after the resources). The head's length does not
    // depend on the payload, so it is written first, the payload packed
    // straight after it, and the head written again once the payload's size
    // and digest are known.
    if (!config.empty())
        resources.Put(kTypeMV, kConfiguration, language, config);
    resources.Put(kTypeMV, kPayloadDigest, language, std::string(Sha256Digest().size(), '\0'));
    resources.Put(kTypeMV, kPayload, language, std::string());
    // The image digest's record, its digest still a placeholder: it can only
    // be computed once the file is written.
    ImageDigestRecord record;
    const std::string& messages = resources.Find(kTypeMV, kMessageTable)->data;
    record.messageTable = Sha256(reinterpret_cast<const uint8_t*>(messages.data()), messages.size());
    const ImageDigestRecordBytes placeholder = EncodeImageDigestRecord(record);
    resources.Put(kTypeMV, kImageDigest, language, std::string(placeholder.begin(), placeholder.end()));
    const size_t checksumAt = stub->checksumOffset();
    const size_t sizeOfImageAt = stub->sizeOfImageOffset();
    std::unique_ptr<PeImage> aligned;
    auto layOut = [&](uint32_t payloadSize) {
        try {
            if (!aligned)
                aligned.reset(new PeImage(stub->WithPageAlignedResources()));
            return aligned->WithResourceSectionAround(resources.BuildDeferred(address, kTypeMV, kPayload, payloadSize),
                                                      payloadSize);
        } catch (const PError& e) {
            Fail("the stub '" + stubPath + "' cannot be used: " + e.why());
        }
    };
    PeImage::SplitImage image = layOut(0);
    const size_t headLength = image.head.size();

    PendingOutputFile output(o.out);
    output.Write(image.head.data(), image.head.size());
    PackingProgress progress(fileCount, inputBytes, stderr, isatty(fileno(stderr)) != 0);
    PayloadFileOutput packed(output, headLength, address, imageLimit);
    try {
        BuildPayload(std::move(files), packed, PayloadLzmaSettings(), &progress);
        packed.Flush();
    } catch (const PError& e) {
        progress.Finish();
        Fail(std::string("cannot pack the client folder '") + o.client + "': " + e.why());
    }
    progress.Finish();
    const uint64_t packedBytes = packed.size();

    Sha256Hasher payloadHash;
    ReadBack(output, headLength, uint32_t(packedBytes),
             [&](const uint8_t* bytes, uint32_t length) { payloadHash.Update(bytes, length); });
    const Sha256Digest digest = payloadHash.Final();
    resources.Put(kTypeMV, kPayloadDigest, language, std::string(digest.begin(), digest.end()));
    image = layOut(uint32_t(packedBytes));
    if (image.head.size() != headLength)
        Fail("the installer's layout changed with the payload's size");
    // The resources' alignment adds to the payload: the image as laid out
    // is what the loader maps.
    const uint64_t imageSize = PeRead32(image.head, sizeOfImageAt);
    if (imageSize > imageLimit)
        Fail(ImageLimitRefusal("the installer's image (SizeOfImage)", imageSize, imageLimit) +
             "; the client folder must pack smaller");
    output.WriteAt(0, image.head.data(), image.head.size());
    output.Write(image.tail.data(), image.tail.size());
    const uint64_t fileSize = headLength + packedBytes + image.tail.size();
    if (fileSize >= 0xFFFFFFFFu)
        Fail("the installer would be 4 GiB or larger");

    // Last, the digest of the file as written, then the checksum, which the
    // digest leaves out.
    {
        PayloadFileSource written;
        PString why;
        ImageDigestLayout layout;
        if (!written.Open(output.temporary().c_str(), 0, PayloadFileSource::kToEnd, &why) ||
            !FindImageDigestLayout(written, kDigestResources, layout, &why))
            Fail(std::string("the installer's own digest cannot be written: ") + why.text());
        const Sha256Digest sealed = ComputeImageDigest(written, layout);
        output.WriteAt(layout.recordOffset + kImageDigestFieldOffset, sealed.data(), sealed.size());
    }
    PeChecksumAccumulator checksum(checksumAt);
    ReadBack(output, 0, uint32_t(fileSize), [&](const uint8_t* bytes, uint32_t length) { checksum.Add(bytes, length); });
    uint8_t field[4];
    const uint32_t value = checksum.Result();
    for (int i = 0; i < 4; ++i)
        field[i] = uint8_t(value >> (8 * i));
    output.WriteAt(checksumAt, field, sizeof field);
    output.Commit(0755);
    std::printf("%s\n", PackingSummary(o.out, fileCount, inputBytes, packedBytes, fileSize, progress.Seconds()).c_str());
}

}  // namespace

int Main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "mkinstaller", kHelp))
        return kToolDone;
    Options options;
    if (!ParseArguments(argc, argv, options))
        return UsageError(kUsage);
    if (!options.info.empty())
        return PrintInfo(options.info);
    try {
        Make(options);
    } catch (const PError& e) {
        std::fprintf(stderr, "mkinstaller: %s; nothing written\n", e.why());
        return kToolRefused;
    }
    return kToolDone;
}

#ifdef _WIN32
// The command line as UTF-8, as the native tool has it.
int wmain(int argc, wchar_t** argv) { return RunWithUtf8Arguments("mkinstaller", argc, argv, &Main); }
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
