// mkinstaller, the release team's tool: an installer from the stub and a
// client folder, checked with wrestool; its refusals leave nothing behind.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "imagedigest.h"
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
        ASSERT_TRUE(fs::exists(stub_)) << "no stub at " << stub_ << ": build the Windows tree first (tools/build.sh)";
        dir_ = ScratchFolder("mkinstaller");
        client_ = dir_ + "/client";
        fs::create_directories(client_ + "/Data/Deep/Deeper");
        WriteWholeFile(client_ + "/Second.exe", std::string(70000, 'x'));
        WriteWholeFile(client_ + "/Data/empty.dat", "");
        WriteWholeFile(client_ + "/Data/Deep/Deeper/caf\xc3\xa9.txt", "caf\xc3\xa9\r\n");
        WriteWholeFile(dir_ + "/define.ini", "[define]\r\nname=Second\r\ndispname=Second Client\r\nmainwnd=SecondClass\r\n");
    }

    // Runs a tool with arguments; its standard error lands in err_.
    int Run(const std::string& tool, const std::string& args) {
        std::string errPath = dir_ + "/stderr.txt";
        int status = std::system(("'" + ToolPath(tool) + "' " + args + " >/dev/null 2>'" + errPath + "'").c_str());
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

    std::string stub_, dir_, client_, err_;
};

TEST_F(Mkinstaller, TheInstallerCarriesTheClientItsDigestConfigurationAndVersion) {
    const std::string out = dir_ + "/Second Setup.exe";
    ASSERT_EQ(Make("--client " + Q(client_) + " --config " + Q(dir_ + "/define.ini") +
                       " --version 2.5.0.7 --product-name 'Second Client \xe2\x84\xa2'",
                   out),
              0)
        << err_;
    EXPECT_TRUE(fs::status(out).permissions() == (fs::status(out).permissions() | fs::perms::owner_exec));

    // The payload is exactly what mkpayload packs from the same folder.
    ASSERT_EQ(Run("mkpayload", Q(client_) + " " + Q(dir_ + "/payload.bin")), 0) << err_;
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
    for (const char* kept : {"CompanyName", "FileDescription", "OriginalFilename", "LegalCopyright"}) {
        ASSERT_TRUE(stubVersion.GetString(kept, stubText)) << kept;
        ASSERT_TRUE(version.GetString(kept, text)) << kept;
        EXPECT_EQ(text, stubText) << kept;
    }
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
        {"--client " + Q(client_) + " --config " + Q(dir_ + "/nodefine.ini"), "\"define\""},
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

}  // namespace
