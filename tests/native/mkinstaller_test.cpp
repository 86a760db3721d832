// mkinstaller, the release team's tool: an installer from the stub and a
// client folder, checked with wrestool; its refusals leave nothing behind.
// Also the command-line contract all the tools share (help, version, exit codes).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "branding.h"
#include "config.h"
#include "imagedigest.h"
#include "morvandite_version.h"
#include "payloadnames.h"
#include "peimage.h"
#include "resourcetree.h"
#include "sha256.h"
#include "sharednames.h"
#include "test_paths.h"
#include "versioninfo.h"

namespace fs = std::filesystem;

namespace {

class Mkinstaller : public ::testing::Test {
protected:
    void SetUp() override {
        stub_ = InstallerStubPath();
        const std::string absent = WindowsArtefactAbsence(stub_);
        if (!absent.empty())
            GTEST_SKIP() << absent;
        ASSERT_TRUE(fs::exists(stub_)) << "no stub at " << stub_ << ": build the Windows tree first (tools/build.sh)";
        dir_ = ScratchFolder("mkinstaller");
        client_ = dir_ + "/client";
        fs::create_directories(client_ + "/Data/Deep/Deeper");
        WriteWholeFile(client_ + "/Second.exe", std::string(70000, 'x'));
        WriteWholeFile(client_ + "/Data/empty.dat", "");
        WriteWholeFile(client_ + "/Data/Deep/Deeper/caf\xc3\xa9.txt", "caf\xc3\xa9\r\n");
        WriteWholeFile(dir_ + "/define.ini", "[define]\r\nname=Second\r\ndispname=Second Client\r\nmainwnd=SecondClass\r\n"
                                             "site=https://second.example\r\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\r\n");
    }

    // Runs a tool with arguments; its standard error lands in err_.
    int Run(const std::string& tool, const std::string& args) {
        std::string errPath = dir_ + "/stderr.txt";
        int status = std::system(("'" + ToolPath(tool) + "' " + args + " >/dev/null 2>'" + errPath + "'").c_str());
        err_ = ReadWholeFile(errPath);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Runs a tool with stdout kept in out_ too.
    int RunKeepingOutput(const std::string& tool, const std::string& args) {
        std::string outPath = dir_ + "/stdout.txt", errPath = dir_ + "/stderr.txt";
        int status = std::system(("'" + ToolPath(tool) + "' " + args + " >'" + outPath + "' 2>'" + errPath + "'").c_str());
        out_ = ReadWholeFile(outPath);
        err_ = ReadWholeFile(errPath);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Make(const std::string& args, const std::string& out) {
        return Run("mkinstaller", "--stub '" + stub_ + "' --out '" + out + "' " + args);
    }
    std::string Resource(const std::string& image, const char* type, int name) {
        std::string path = dir_ + "/resource.bin";
        std::string command = "wrestool -x --raw --type=" + std::string(type) + " --name=" + std::to_string(name) +
                              " '" + image + "' >'" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadWholeFile(path);
    }
    std::string Q(const std::string& s) { return "'" + s + "'"; }
    // The files the installer's payload holds, extracted below folder.
    void ExtractPayload(const std::string& installer, const std::string& folder) {
        WriteWholeFile(dir_ + "/payload-of.bin", Resource(installer, "MV", 130));
        fs::remove_all(folder);
        ASSERT_EQ(Run("payload", "extract " + Q(dir_ + "/payload-of.bin") + " " + Q(folder)), 0) << err_;
    }
    // Every file below folder, relative, '/'-separated, sorted.
    static std::vector<std::string> FilesBelow(const std::string& folder) {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), folder).generic_string());
        std::sort(files.begin(), files.end());
        return files;
    }
    // Every resource as wrestool lists it: "type/name" and the address and size of its data.
    struct Listed {
        std::string id;
        uint32_t address = 0, size = 0;
    };
    std::vector<Listed> ListResources(const std::string& image) {
        const std::string path = dir_ + "/list.txt";
        EXPECT_EQ(std::system(("wrestool -l '" + image + "' >'" + path + "'").c_str()), 0);
        const std::string text = ReadWholeFile(path);
        const std::regex line("--type=('?)([^' ]+)\\1 --name=(\\S+) .*offset=0x([0-9a-f]+) size=([0-9]+)\\]");
        std::vector<Listed> out;
        for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
            out.push_back({(*it)[2].str() + "/" + (*it)[3].str(), uint32_t(std::stoul((*it)[4].str(), nullptr, 16)),
                           uint32_t(std::stoul((*it)[5].str()))});
        return out;
    }

    std::string stub_, dir_, client_, err_, out_;
};

TEST_F(Mkinstaller, TheInstallerCarriesTheClientItsDigestConfigurationAndVersion) {
    const std::string out = dir_ + "/Second Setup.exe";
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/define.ini") +
                       " --version 2.5.0.7 --product-name 'Second Client \xe2\x84\xa2'",
                   out),
              0)
        << err_;
    EXPECT_TRUE(fs::status(out).permissions() == (fs::status(out).permissions() | fs::perms::owner_exec));

    // The payload is exactly what mkpayload packs from the same folder with
    // the file list the installer added (the folder itself has none).
    EXPECT_FALSE(fs::exists(client_ + "/uninstall.lst"));
    ExtractPayload(out, dir_ + "/extracted");
    fs::copy(client_, dir_ + "/listed", fs::copy_options::recursive);
    fs::copy_file(dir_ + "/extracted/uninstall.lst", dir_ + "/listed/uninstall.lst");
    ASSERT_EQ(Run("mkpayload", Q(dir_ + "/listed") + " " + Q(dir_ + "/payload.bin")), 0) << err_;
    const std::string payload = Resource(out, "MV", 130);
    EXPECT_EQ(payload, ReadWholeFile(dir_ + "/payload.bin"));
    Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
    EXPECT_EQ(Resource(out, "MV", 132), std::string(digest.begin(), digest.end()));
    EXPECT_EQ(Resource(out, "MV", 131), ReadWholeFile(dir_ + "/define.ini"));
    EXPECT_EQ(Resource(out, "MV", 205), Resource(stub_, "MV", 205));
    // The resources, payload and all, start on a page of the file, so that
    // the loader can map the payload instead of reading it into memory.
    PeImage installer(ReadWholeFile(out));
    const int rsrc = installer.SectionOfAddress(installer.ResourceSectionAddress());
    ASSERT_GE(rsrc, 0);
    EXPECT_EQ(installer.sections()[size_t(rsrc)].rawPointer % 0x1000, 0u);

    VersionInfo version = VersionInfo::Parse(Resource(out, "16", 1));
    EXPECT_EQ(version.FileVersion(), (VersionNumber{2, 5, 0, 7}));
    EXPECT_EQ(version.ProductVersion(), (VersionNumber{2, 5, 0, 7}));
    std::u16string text, stubText;
    ASSERT_TRUE(version.GetString("ProductName", text));
    EXPECT_EQ(text, u"Second Client \u2122");
    ASSERT_TRUE(version.GetString("ProductVersion", text));
    EXPECT_EQ(text, u"2.5.0.7");
    VersionInfo stubVersion = VersionInfo::Parse(Resource(stub_, "16", 1));
    for (const char* kept : {"CompanyName", "FileDescription", "LegalCopyright"}) {
        ASSERT_TRUE(stubVersion.GetString(kept, stubText)) << kept;
        ASSERT_TRUE(version.GetString(kept, text)) << kept;
        EXPECT_EQ(text, stubText) << kept;
    }
    // A rebranded installer goes by the name the release gave it, not the stub's.
    ASSERT_TRUE(version.GetString("OriginalFilename", text));
    EXPECT_EQ(text, u"Second Setup.exe");
    ASSERT_TRUE(version.GetString("InternalName", text));
    EXPECT_EQ(text, u"Second Setup");
}

TEST_F(Mkinstaller, TheSameInputsGiveTheSameBytesAndTheStubIsFoundBesideTheTool) {
    const std::string first = dir_ + "/first.exe", second = dir_ + "/second.exe", found = dir_ + "/found.exe";
    ASSERT_EQ(Make("--client " + Q(client_) + " --version 1.2.3.4", first), 0) << err_;
    ASSERT_EQ(Make("--client " + Q(client_) + " --version 1.2.3.4", second), 0) << err_;
    EXPECT_TRUE(ReadWholeFile(first) == ReadWholeFile(second));
    // Without --stub: the one the Windows build left beside this build tree.
    if (!std::getenv("MORVANDITE_STUB")) {
        ASSERT_EQ(Run("mkinstaller", "--client " + Q(client_) + " --version 1.2.3.4 --out " + Q(found)), 0) << err_;
        EXPECT_TRUE(ReadWholeFile(found) == ReadWholeFile(first));
    }
    // Without --version and --product-name the stub's version information stays as it was.
    ASSERT_EQ(Make("--client " + Q(client_), second), 0) << err_;
    EXPECT_EQ(Resource(second, "16", 1), Resource(stub_, "16", 1));
    // Without --config, the stub's configuration section stays.
    EXPECT_EQ(Resource(second, "MV", 131), Resource(stub_, "MV", 131));
}

ImageDigestCheck CheckDigest(const std::string& image) {
    CMemoryPayloadSource source(image.data(), uint32_t(image.size()));
    return CheckImageDigest(source, ImageDigestResources{"MV", uint16_t(SharedNames::kPayloadResourceId),
                                                         uint16_t(SharedNames::kImageDigestResourceId)});
}

// The installer carries the digest of its own file (resource 133), which the
// installer checks at start-up: every resource but the payload (which its own
// digest covers) is covered, and signing the installer and stamping tracked
// copies of it, signed or not, changes only what the digest leaves out.
TEST_F(Mkinstaller, TheInstallerVouchesForItselfAndSigningAndTrackingKeepItSo) {
    const std::string out = dir_ + "/setup.exe";
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/define.ini"), out), 0) << err_;
    const std::string image = ReadWholeFile(out);
    const ImageDigestCheck check = CheckDigest(image);
    ASSERT_TRUE(check.intact) << check.why.text();
    const std::string messages = Resource(out, "MV", 205);
    EXPECT_EQ(check.record.messageTable, Sha256(reinterpret_cast<const uint8_t*>(messages.data()), messages.size()));
    // The checksum was written after the digest.
    PeImage pe(image);
    EXPECT_EQ(pe.checksum(), PeChecksum(image, pe.checksumOffset()));

    const std::vector<Listed> resources = ListResources(out);
    ASSERT_GE(resources.size(), 30u);
    for (const Listed& r : resources) {
        const int section = pe.SectionOfAddress(r.address);
        ASSERT_GE(section, 0) << r.id;
        const size_t offset = pe.sections()[size_t(section)].rawPointer + (r.address - pe.sections()[size_t(section)].virtualAddress);
        ASSERT_LE(offset + r.size, image.size()) << r.id;
        std::string copy = image;
        copy[offset + r.size / 2] ^= 0x04;
        const ImageDigestCheck flipped = CheckDigest(copy);
        EXPECT_EQ(flipped.intact, r.id == "MV/130") << r.id << ": " << flipped.why.text();
        if (r.id == "MV/205") {
            ASSERT_TRUE(flipped.recordRead);
            const std::string damaged = copy.substr(offset, r.size);
            EXPECT_NE(flipped.record.messageTable,
                      Sha256(reinterpret_cast<const uint8_t*>(damaged.data()), damaged.size()));
        }
    }

    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Test -keyout " +
                           Q(dir_ + "/key.pem") + " -out " + Q(dir_ + "/cert.pem") + " >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string signedCopy = dir_ + "/signed.exe";
    fs::copy_file(out, signedCopy, fs::copy_options::overwrite_existing);
    ASSERT_EQ(std::system(("'" + SourcePath("tools/sign.sh") + "' --cert " + Q(dir_ + "/cert.pem") + " --key " +
                           Q(dir_ + "/key.pem") + " " + Q(signedCopy) + " >/dev/null")
                              .c_str()),
              0);
    WriteWholeFile(dir_ + "/lines.txt", "SRC=partner7\nTHM=dark\n");
    ASSERT_EQ(Run("tinfo", "stamp " + Q(signedCopy) + " " + Q(dir_ + "/lines.txt") + " " + Q(dir_ + "/tracked.exe")), 0) << err_;
    ASSERT_EQ(Run("tinfo", "stamp " + Q(out) + " " + Q(dir_ + "/lines.txt") + " " + Q(dir_ + "/plain.exe")), 0) << err_;
    for (const char* copy : {"signed.exe", "tracked.exe", "plain.exe"}) {
        const std::string bytes = ReadWholeFile(dir_ + "/" + copy);
        EXPECT_GT(bytes.size(), image.size()) << copy;
        const ImageDigestCheck result = CheckDigest(bytes);
        EXPECT_TRUE(result.intact) << copy << ": " << result.why.text();
    }
}

TEST_F(Mkinstaller, BadInputIsRefusedAndNothingIsWritten) {
    const std::string out = dir_ + "/out.exe";
    fs::create_directories(dir_ + "/empty/folder");
    fs::create_directories(dir_ + "/wide");
    WriteWholeFile(dir_ + "/wide/\xe6\x97\xa5\xe6\x9c\xac.txt", "x");
    fs::create_directories(dir_ + "/unsafe");
    WriteWholeFile(dir_ + "/unsafe/stream:name.txt", "x");
    WriteWholeFile(dir_ + "/unknown.ini", "[define]\nname=X\ncolour=red\n");
    WriteWholeFile(dir_ + "/section.ini", "[define]\nname=X\n[extra]\nname=Y\n");
    WriteWholeFile(dir_ + "/nodefine.ini", "[other]\nname=X\n");
    WriteWholeFile(dir_ + "/nosection.ini", "name=X\n");
    WriteWholeFile(dir_ + "/emptyconfig.ini", "");
    WriteWholeFile(dir_ + "/text.exe", "MZ but not an executable at all");
    std::string notTheStub = BinaryPath("../windows/payload/MorvanditeUninstall.exe");

    struct Case {
        std::string args, says;
    } cases[] = {
        {"--client " + Q(dir_ + "/empty"), "holds no files"},
        {"--client " + Q(dir_ + "/missing"), "is not a folder"},
        {"--client " + Q(dir_ + "/wide"), "code page 1252"},
        {"--client " + Q(dir_ + "/unsafe"), "colon"},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/unknown.ini"), "key \"colour\""},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/section.ini"), "section \"extra\""},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/nodefine.ini"), "section \"other\""},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/nosection.ini"), "\"name\" stands before [define]"},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/emptyconfig.ini"), "no [define] section"},
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/none.ini"), "cannot read the configuration"},
        {"--client " + Q(client_) + " --version 1.2.3", "four numbers"},
        {"--client " + Q(client_) + " --version 1.2.3.65536", "four numbers"},
        {"--client " + Q(client_) + " --version v1.2.3.4", "four numbers"},
        {"--client " + Q(client_) + " --product-name \"$(printf '\\377')\"", "UTF-8"},
    };
    for (const Case& c : cases) {
        WriteWholeFile(out, "previous");
        EXPECT_EQ(Make(c.args, out), 1) << c.args;
        EXPECT_NE(err_.find(c.says), std::string::npos) << c.args << ": " << err_;
        EXPECT_NE(err_.find("nothing written"), std::string::npos) << err_;
        EXPECT_TRUE(ReadWholeFile(out) == "previous") << c.args;
    }
    // Executables that are not the stub.
    for (const std::string& stub : {dir_ + "/text.exe", notTheStub, dir_ + "/absent.exe"}) {
        WriteWholeFile(out, "previous");
        EXPECT_EQ(Run("mkinstaller", "--stub " + Q(stub) + " --client " + Q(client_) + " --out " + Q(out)), 1) << stub;
        EXPECT_TRUE(ReadWholeFile(out) == "previous") << stub;
    }
    EXPECT_NE(err_.find("cannot read the stub"), std::string::npos) << err_;
    ASSERT_EQ(Run("mkinstaller", "--stub " + Q(notTheStub) + " --client " + Q(client_) + " --out " + Q(out)), 1);
    EXPECT_NE(err_.find("not an installer stub"), std::string::npos) << err_;
    // Usage.
    EXPECT_EQ(Run("mkinstaller", "--client " + Q(client_)), 2);
    EXPECT_EQ(Run("mkinstaller", "--client " + Q(client_) + " --out " + Q(out) + " --colour red"), 2);
    EXPECT_EQ(Run("mkinstaller", "--client " + Q(client_) + " --client " + Q(client_) + " --out " + Q(out)), 2);
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find("tmp"), std::string::npos) << e.path();
}

// The image limit: an installer 32-bit Windows could not map is refused
// before anything is written, and packing stops once the payload cannot fit.
// --image-limit lowers the 1 GiB limit so that small folders reach it.
TEST_F(Mkinstaller, AnInstallerAboveTheImageLimitIsRefusedBeforeAnythingIsWritten) {
    // Incompressible content: the payload is about as large as the file.
    std::string noise(300000, '\0');
    uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 24);
    }
    WriteWholeFile(client_ + "/noise.bin", noise);
    const PeImage stub(ReadWholeFile(stub_));
    const uint64_t stubImage = stub.sizeOfImage(), stubStart = stub.ResourceSectionAddress();
    const std::string out = dir_ + "/limited.exe";

    // A limit the installer fits: the image written stays within it.
    const uint64_t roomy = stubImage + 2 * noise.size();
    ASSERT_EQ(Make("--client " + Q(client_) + " --image-limit " + std::to_string(roomy), out), 0) << err_;
    const uint64_t made = PeImage(ReadWholeFile(out)).sizeOfImage();
    EXPECT_LE(made, roomy);
    EXPECT_GT(made, stubImage + noise.size() / 2);

    struct Case {
        uint64_t limit;
        std::string says;
    } cases[] = {
        // Packing stops: the payload alone passes what the stub leaves.
        {stubStart + noise.size() / 2, "the payload packed so far ("},
        // The stub itself is above the limit: refused before packing.
        {stubStart / 2, "the stub '" + stub_ + "' up to its resources alone would be " + std::to_string(stubStart) + " bytes"},
        // One byte short of the image just made.
        {made - 1, "would be"},
    };
    for (const Case& c : cases) {
        WriteWholeFile(out, "previous");
        EXPECT_EQ(Make("--client " + Q(client_) + " --image-limit " + std::to_string(c.limit), out), 1) << c.limit;
        EXPECT_NE(err_.find(c.says), std::string::npos) << c.limit << ": " << err_;
        EXPECT_NE(err_.find("above the limit of " + std::to_string(c.limit) + " bytes"), std::string::npos) << err_;
        EXPECT_NE(err_.find("nothing written"), std::string::npos) << err_;
        EXPECT_TRUE(ReadWholeFile(out) == "previous") << c.limit;
    }
    // The image limit is exactly the limit: one byte more is the image just made.
    ASSERT_EQ(Make("--client " + Q(client_) + " --image-limit " + std::to_string(made), out), 0) << err_;

    // The option lowers the limit, never raises it past 1 GiB.
    for (const char* limit : {"1073741825", "0", "1e9", "-5", "99999999999999999999"}) {
        WriteWholeFile(out, "previous");
        EXPECT_EQ(Make("--client " + Q(client_) + " --image-limit " + limit, out), 1) << limit;
        EXPECT_NE(err_.find("is not a number of bytes from 1 to 1073741824"), std::string::npos) << err_;
        EXPECT_TRUE(ReadWholeFile(out) == "previous") << limit;
    }
    EXPECT_EQ(Make("--client " + Q(client_) + " --image-limit 1073741824", out), 0) << err_;
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find("tmp"), std::string::npos) << e.path();
}

// ---- uninstall.lst: every installer can be uninstalled ----

// A client folder as client/assemble.cmake makes it (the build's own list),
// with names whose order differs between '/' and '\\' and between cases.
class MkinstallerFileList : public Mkinstaller {
protected:
    void SetUp() override {
        Mkinstaller::SetUp();
        if (IsSkipped())
            return;  // no stub: the base says why
        files_ = dir_ + "/files";
        for (const char* name : {"Data/Sub/b.txt", "Data/c.txt", "Data-a.txt", "Data0.txt", "data_z.txt", "Zeta.txt",
                                 "alpha.txt", "Data/R\xc3\xa9sum\xc3\xa9.txt", "Data/\xc3\x89t\xc3\xa9.txt"}) {
            fs::create_directories(fs::path(files_ + "/" + name).parent_path());
            WriteWholeFile(files_ + "/" + name, std::string(name) + "\r\n");
        }
        WriteWholeFile(dir_ + "/Launcher.exe", std::string(5000, 'L'));
        assembled_ = dir_ + "/assembled";
        ASSERT_EQ(std::system(("cmake -DPAYLOAD_DIR=" + Q(assembled_) + " -DFILES_DIR=" + Q(files_) + " -DPROGRAMS=" +
                               Q(dir_ + "/Launcher.exe") + " -P " + Q(SourcePath("client/assemble.cmake")) + " >/dev/null")
                                  .c_str()),
                  0);
        buildList_ = ReadWholeFile(assembled_ + "/uninstall.lst");
        bare_ = dir_ + "/bare";
        fs::copy(assembled_, bare_, fs::copy_options::recursive);
        fs::remove(bare_ + "/uninstall.lst");
    }
    // Makes an installer of folder; its payload's list, or "" when refused.
    std::string ListCarriedFor(const std::string& folder) {
        const std::string out = dir_ + "/listed.exe";
        fs::remove(out);
        if (Make("--client " + Q(folder), out) != 0)
            return "";
        const std::string madeSaid = err_;
        ExtractPayload(out, dir_ + "/carried");
        err_ = madeSaid;
        return ReadWholeFile(dir_ + "/carried/uninstall.lst");
    }
    void ExpectRefused(const std::string& folder, const std::string& says) {
        WriteWholeFile(dir_ + "/out.exe", "previous");
        EXPECT_EQ(Make("--client " + Q(folder), dir_ + "/out.exe"), 1) << says;
        EXPECT_NE(err_.find(says), std::string::npos) << err_;
        EXPECT_EQ(ReadWholeFile(dir_ + "/out.exe"), "previous");
    }

    std::string files_, assembled_, bare_, buildList_;
};

TEST_F(MkinstallerFileList, AFolderWithoutAListGetsTheOneTheBuildWouldWriteAndStaysAsItWas) {
    ASSERT_NE(buildList_.find("Data-a.txt\r\nData\\c.txt\r\n"), std::string::npos) << buildList_;
    const std::vector<std::string> before = FilesBelow(bare_);
    EXPECT_EQ(ListCarriedFor(bare_), buildList_) << err_;
    EXPECT_NE(err_.find("has no uninstall.lst"), std::string::npos) << err_;
    EXPECT_EQ(FilesBelow(bare_), before);
    EXPECT_FALSE(fs::exists(bare_ + "/uninstall.lst"));
    // Every file of the folder is listed, the list itself too, and nothing else.
    std::vector<std::string> listed;
    std::string line;
    for (char c : buildList_) {
        if (c == '\n') {
            std::replace(line.begin(), line.end(), '\\', '/');
            listed.push_back(line.substr(0, line.size() - 1));
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, FilesBelow(dir_ + "/carried"));

    // The build's own folder, list and all, gives the very same installer.
    const std::string fromBare = ReadWholeFile(dir_ + "/listed.exe");
    EXPECT_EQ(ListCarriedFor(assembled_), buildList_) << err_;
    EXPECT_TRUE(ReadWholeFile(dir_ + "/listed.exe") == fromBare);
}

TEST_F(MkinstallerFileList, AListIsReadAsTheUninstallerReadsIt) {
    // Code page 1252, LF only, a byte-order mark, other letter case, repeats
    // and empty lines: the uninstaller reads each alike, so each is taken as it is.
    std::string cp1252, lf, upper;
    for (char c : buildList_)
        if (c != '\r')
            lf.push_back(c);
    PString text;
    ASSERT_TRUE(Utf8ToCp1252(buildList_.data(), uint32_t(buildList_.size()), text));
    cp1252 = text.text();
    for (char c : buildList_)
        upper.push_back(char(std::toupper(static_cast<unsigned char>(c))));
    for (const std::string& list : {cp1252, lf, "\xEF\xBB\xBF" + buildList_, upper, buildList_ + "\r\nAlpha.txt\r\n"}) {
        WriteWholeFile(assembled_ + "/uninstall.lst", list);
        EXPECT_EQ(ListCarriedFor(assembled_), list) << err_;
    }
}

TEST_F(MkinstallerFileList, AListThatDisagreesWithTheFolderIsRefusedNamingTheFile) {
    auto without = [&](const std::string& line) {
        std::string list = buildList_;
        list.erase(list.find(line + "\r\n"), line.size() + 2);
        return list;
    };
    WriteWholeFile(assembled_ + "/uninstall.lst", without("Data\\c.txt"));
    ExpectRefused(assembled_, "does not list 1 file of the client folder, the first 'Data\\c.txt'");
    WriteWholeFile(assembled_ + "/uninstall.lst", "Zeta.txt\r\n");
    ExpectRefused(assembled_, "the first 'alpha.txt'");
    // Without itself: the uninstaller would leave the list and so the folder behind.
    WriteWholeFile(assembled_ + "/uninstall.lst", without("uninstall.lst"));
    ExpectRefused(assembled_, "the first 'uninstall.lst'");
    // Listed but not there.
    WriteWholeFile(assembled_ + "/uninstall.lst", buildList_ + "Data\\gone.txt\r\n");
    ExpectRefused(assembled_, "lists 'Data\\gone.txt', which is no file of the client folder");
    // A new file in the folder after the list was made.
    WriteWholeFile(assembled_ + "/uninstall.lst", buildList_);
    WriteWholeFile(assembled_ + "/Data/late.txt", "late");
    ExpectRefused(assembled_, "the first 'Data\\late.txt'");
}

// ---- The configuration, as the installer reads it ----

TEST_F(Mkinstaller, TheConfigurationGoesInAsTheInstallerReadsIt) {
    // A byte-order mark is left out (the installer's reader would take it for
    // part of line 1), and a value outside ASCII goes in in the installer's
    // text form, which it reads back as the same text.
    const std::string text = "[define]\r\nname=Larkspur\r\ndispname=Larkspur Cartes \xc3\x89lan\r\n"
                             "mainwnd=LarkspurClass\r\nsite=https://larkspur.example\r\niconPath=Second.exe\r\n"
                             "ieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\r\n";
    WriteWholeFile(dir_ + "/bom.ini", "\xEF\xBB\xBF" + text);
    const std::string out = dir_ + "/bom.exe";
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/bom.ini"), out), 0) << err_;
    EXPECT_NE(err_.find("byte-order mark is left out"), std::string::npos) << err_;
    EXPECT_EQ(err_.find("icon"), std::string::npos) << err_;
    const std::string section = Resource(out, "MV", 131);
    EXPECT_EQ(section.compare(0, 8, "[define]"), 0);
    InstallerConfiguration config;
    ParseConfiguration(section.data(), uint32_t(section.size()), config);
    PString shown;
    PStringXToUtf8(config.displayName.text(), shown);
    EXPECT_STREQ(shown.text(), "Larkspur Cartes \xc3\x89lan");
    EXPECT_STREQ(config.productName.text(), "Larkspur");
    EXPECT_STREQ(config.site.text(), "https://larkspur.example");

    // An icon the client does not have is worth a note, not a refusal.
    WriteWholeFile(dir_ + "/noicon.ini", "[define]\nname=L\ndispname=L\nsite=https://l.example\nmainwnd=C\n"
                                         "ieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\n");
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/noicon.ini"), out), 0) << err_;
    EXPECT_NE(err_.find("icon file 'Morvandite.exe' is not in the client folder"), std::string::npos) << err_;
}

TEST_F(Mkinstaller, AConfigurationTheInstallerCannotUseIsRefusedByLineAndKey) {
    struct Case {
        std::string text, says;
    } cases[] = {
        {"[define]\ndispname=L\nsite=https://l.example\n", "[define] (line 1) has no \"name\""},
        {"[define]\nname=L\nsite=https://l.example\n", "has no \"dispname\""},
        {"[define]\nname=L\ndispname=L\n", "has no \"site\""},
        {"[define]\nname=L\ndispname=L\nsite=https://l.example\n", "has no \"ieB1_1\""},
        {"[define]\nname=\ndispname=L\nsite=https://l.example\n", "line 2, \"name\": empty"},
        {"[define]\nname=L\ndispname=L\nsite=https://l.example\nNAME=M\n", "line 5: \"name\" again (first on line 2)"},
        {"\xEF\xBB\xBF[define]\nname=L\nname=L\n", "line 3: \"name\" again"},
        {"\xFF\xFE[\0d\0", "UTF-16"},
        {"[define]\nname=L\ndispname=Caf\xe9\nsite=https://l.example\n", "line 3: not UTF-8"},
    };
    const std::string out = dir_ + "/out.exe";
    for (const Case& c : cases) {
        WriteWholeFile(dir_ + "/bad.ini", c.text);
        WriteWholeFile(out, "previous");
        EXPECT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/bad.ini"), out), 1) << c.says;
        EXPECT_NE(err_.find(c.says), std::string::npos) << err_;
        EXPECT_EQ(ReadWholeFile(out), "previous");
    }
}

// ---- Branding ----

TEST_F(Mkinstaller, TheBrandStringsGoIntoTheVersionInformationAndTheSignature) {
    const std::string out = dir_ + "/brand.exe";
    WriteWholeFile(dir_ + "/brand.txt", "# Larkspur\ncompany=Larkspur Ltd\ndescription=Larkspur Cards Setup\n"
                                        "copyright=Copyright (C) 2026 Larkspur Ltd\nproduct-name=Larkspur Cards\n");
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/define.ini") + " --brand " + Q(dir_ + "/brand.txt"), out), 0)
        << err_;
    ASSERT_EQ(RunKeepingOutput("mkinstaller", "--info " + Q(out)), 0) << err_;
    for (const char* line : {"CompanyName=Larkspur Ltd\n", "FileDescription=Larkspur Cards Setup\n",
                             "LegalCopyright=Copyright (C) 2026 Larkspur Ltd\n", "ProductName=Larkspur Cards\n"})
        EXPECT_NE(out_.find(line), std::string::npos) << out_;
    // The same from the command line, with one value outside ASCII.
    ASSERT_EQ(Make("--client " + Q(client_) + " --company 'Larkspur \xc3\x89" "ditions' --description 'Larkspur Setup'"
                   " --copyright 'Copyright (C) Larkspur'", out), 0) << err_;
    VersionInfo version = VersionInfo::Parse(Resource(out, "16", 1));
    std::u16string text;
    ASSERT_TRUE(version.GetString("CompanyName", text));
    EXPECT_EQ(text, u"Larkspur \u00c9ditions");
    ASSERT_TRUE(version.GetString("LegalCopyright", text));
    EXPECT_EQ(text, u"Copyright (C) Larkspur");
    // The manifest names and describes the brand's program, and nothing else of it changes.
    const std::string manifest = Resource(out, "24", 1), stubManifest = Resource(stub_, "24", 1);
    EXPECT_NE(manifest.find("<description>Larkspur Setup</description>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("<assemblyIdentity type=\"win32\" name=\"brand\" "), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("Morvandite"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.substr(manifest.find("</description>")), stubManifest.substr(stubManifest.find("</description>")));
    EXPECT_EQ(BrandedManifest("<assemblyIdentity name=\"A\"/><description>x</description>", "R&D <\"1\">", "B"),
              "<assemblyIdentity name=\"B\"/><description>R&amp;D &lt;&quot;1&quot;&gt;</description>");
    EXPECT_THROW(BrandedManifest("<description>x</description>", "d", "B"), PInternalError);
    EXPECT_EQ(AssemblyNameOf("Larkspur Setup (4.3) \xc3\xa9"), "LarkspurSetup4.3");
    EXPECT_EQ(AssemblyNameOf("\xc3\xa9 "), "Setup");

    // sign.sh describes the signature with the installer's FileDescription,
    // unless --name says otherwise.
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Test -keyout " + Q(dir_ + "/key.pem") +
                           " -out " + Q(dir_ + "/cert.pem") + " >/dev/null 2>&1").c_str()), 0);
    const std::string sign = "'" + SourcePath("tools/sign.sh") + "' --cert " + Q(dir_ + "/cert.pem") + " --key " + Q(dir_ + "/key.pem");
    fs::copy_file(out, dir_ + "/named.exe");
    ASSERT_EQ(std::system((sign + " " + Q(out) + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((sign + " --name 'Other Words' " + Q(dir_ + "/named.exe") + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("osslsigncode verify -CAfile " + Q(dir_ + "/cert.pem") + " -in " + Q(out) + " >" + Q(dir_ + "/v1.txt") +
                           " 2>&1; osslsigncode verify -CAfile " + Q(dir_ + "/cert.pem") + " -in " + Q(dir_ + "/named.exe") +
                           " >" + Q(dir_ + "/v2.txt") + " 2>&1").c_str()), 0);
    EXPECT_NE(ReadWholeFile(dir_ + "/v1.txt").find("Text description: Larkspur Setup\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(dir_ + "/v2.txt").find("Text description: Other Words\n"), std::string::npos);

    // A value given twice, or a brand file it cannot take, is refused.
    WriteWholeFile(out, "previous");
    EXPECT_EQ(Make("--client " + Q(client_) + " --company X --brand " + Q(dir_ + "/brand.txt"), out), 1);
    EXPECT_NE(err_.find("\"company\" is given twice"), std::string::npos) << err_;
    WriteWholeFile(dir_ + "/badbrand.txt", "company=X\ncolour=red\n");
    EXPECT_EQ(Make("--client " + Q(client_) + " --brand " + Q(dir_ + "/badbrand.txt"), out), 1);
    EXPECT_NE(err_.find("line 2: unknown key \"colour\""), std::string::npos) << err_;
    EXPECT_EQ(ReadWholeFile(out), "previous");
    EXPECT_EQ(RunKeepingOutput("mkinstaller", "--info " + Q(dir_ + "/define.ini")), 1);
    EXPECT_NE(err_.find("is not a Windows program"), std::string::npos) << err_;
}

// ---- Where the installer goes ----

TEST_F(Mkinstaller, AnOutputInsideTheClientOrThatIsNoRegularFileIsRefusedAndLeftAlone) {
    fs::create_directories(dir_ + "/folder");
    ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
    WriteWholeFile(dir_ + "/real.exe", "real");
    fs::create_symlink(dir_ + "/real.exe", dir_ + "/link.exe");
    const std::vector<std::string> clientBefore = FilesBelow(client_);
    struct Case {
        std::string out, says;
    } cases[] = {
        {client_ + "/Setup.exe", "is inside the client folder"},
        {client_ + "/Data/../../client/Data/Setup.exe", "is inside the client folder"},
        {dir_ + "/folder", "is a folder, not a regular file"},
        {dir_ + "/pipe", "is a pipe, not a regular file"},
        {dir_ + "/link.exe", "is a symbolic link, not a regular file"},
        {dir_ + "/absent/Setup.exe", "the output's folder '" + dir_ + "/absent' does not exist"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Make("--client " + Q(client_), c.out), 1) << c.out;
        EXPECT_NE(err_.find(c.says), std::string::npos) << c.out << ": " << err_;
    }
    EXPECT_EQ(FilesBelow(client_), clientBefore);
    struct stat st;
    ASSERT_EQ(lstat((dir_ + "/pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(fs::is_symlink(dir_ + "/link.exe"));
    EXPECT_EQ(ReadWholeFile(dir_ + "/real.exe"), "real");
    EXPECT_TRUE(fs::is_directory(dir_ + "/folder"));
    for (const auto& e : fs::recursive_directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".part-"), std::string::npos) << e.path();
}

// ---- What it tells ----

TEST_F(Mkinstaller, ItSummarisesAndShowsProgressOnlyOnATerminal) {
    const std::string out = dir_ + "/setup.exe";
    ASSERT_EQ(RunKeepingOutput("mkinstaller", "--stub " + Q(stub_) + " --client " + Q(client_) + " --out " + Q(out)), 0) << err_;
    const std::regex summary("mkinstaller: wrote .*setup\\.exe: 4 files, ([0-9]+) bytes packed into ([0-9]+) "
                             "\\([0-9.]+%\\); installer ([0-9]+) bytes; [0-9.]+ s\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(out_, m, summary)) << out_;
    ExtractPayload(out, dir_ + "/packed");
    uint64_t inputBytes = 0;
    for (const std::string& file : FilesBelow(dir_ + "/packed"))
        inputBytes += fs::file_size(dir_ + "/packed/" + file);
    EXPECT_EQ(std::stoull(m[1].str()), inputBytes);
    EXPECT_EQ(std::stoull(m[2].str()), Resource(out, "MV", 130).size());
    EXPECT_EQ(std::stoull(m[3].str()), fs::file_size(out));
    EXPECT_EQ(err_.find('\r'), std::string::npos) << "progress written to a file: " << err_;

    // On a terminal (script gives the tool one), the progress line is drawn and cleared.
    const std::string command = "'" + ToolPath("mkinstaller") + "' --stub " + Q(stub_) + " --client " + Q(client_) +
                                " --out " + Q(out);
    ASSERT_EQ(std::system(("script -qec " + Q(command) + " /dev/null >" + Q(dir_ + "/tty.txt") + " 2>&1").c_str()), 0);
    const std::string tty = ReadWholeFile(dir_ + "/tty.txt");
    EXPECT_NE(tty.find("\rmkinstaller: packing 4/4 files, "), std::string::npos) << tty;
    EXPECT_NE(tty.find("100%, 0:0"), std::string::npos) << tty;
    EXPECT_NE(tty.find("\r\033[K"), std::string::npos) << tty;
}

// ---- The command line every tool shares ----

TEST(ToolCommandLine, EveryToolAnswersHelpAndVersionAndTellsUsageFromRefusal) {
    const std::string dir = ScratchFolder("tool-command-line");
    auto run = [&](const std::string& command, std::string* out) {
        int status = std::system((command + " >'" + dir + "/out.txt' 2>'" + dir + "/err.txt'").c_str());
        *out = ReadWholeFile(dir + "/out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    struct Tool {
        std::string name, command, refused;  // refused: arguments whose input is refused
    };
    const std::vector<Tool> tools = {
        {"mkinstaller", "'" + ToolPath("mkinstaller") + "'", "--client '" + dir + "/absent' --out '" + dir + "/o.exe'"},
        {"mkpayload", "'" + ToolPath("mkpayload") + "'", "'" + dir + "/absent' '" + dir + "/o.bin'"},
        {"payload", "'" + ToolPath("payload") + "'", "list '" + dir + "/absent'"},
        {"tinfo", "'" + ToolPath("tinfo") + "'", "read '" + dir + "/absent'"},
        {"iniscramble", "'" + ToolPath("iniscramble") + "'", "encode '" + dir + "/absent' '" + dir + "/o'"},
        {"msgtable", "'" + ToolPath("msgtable") + "'", "stats '" + dir + "/absent'"},
        {"sign.sh", "'" + SourcePath("tools/sign.sh") + "'", "--cert '" + dir + "/c' --key '" + dir + "/k' '" + dir + "/absent'"},
    };
    for (const Tool& t : tools) {
        std::string out;
        EXPECT_EQ(run(t.command + " --help", &out), 0) << t.name;
        EXPECT_NE(out.find("usage:"), std::string::npos) << t.name << ": " << out;
        EXPECT_NE(out.find("Exit codes: 0"), std::string::npos) << t.name << ": " << out;
        EXPECT_EQ(run(t.command + " --version", &out), 0) << t.name;
        EXPECT_EQ(out, t.name + " " MORVANDITE_VERSION_TEXT " (Morvandite installer tools)\n") << t.name;
        EXPECT_EQ(run(t.command, &out), 2) << t.name;
        EXPECT_EQ(run(t.command + " --no-such-option x y z", &out), 2) << t.name;
        EXPECT_EQ(run(t.command + " " + t.refused, &out), 1) << t.name;
        EXPECT_FALSE(ReadWholeFile(dir + "/err.txt").empty()) << t.name << " gives no reason";
    }
}

}  // namespace
