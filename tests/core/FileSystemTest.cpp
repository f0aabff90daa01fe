// core::FileArchive and core::FileSystem on real directories: mounts,
// relative names, the candidate search and its failures.
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include "support/WorkDir.h"
#include <string>

using namespace testsupport;

namespace {

class FileSystemTest : public CoreTest {
protected:
    TempDir dir;
    ~FileSystemTest() override { core::FileSystem::destroy(); }

    std::string root(const std::string& sub = "") const { return dir.path() + "/" + sub; }
    core::FileArchive* archive(const std::string& sub, bool writable = false) {
        return M3D_NEW core::FileArchive(root(sub).c_str(), writable);
    }
    static std::string readAll(core::Stream& s) {
        std::string out((size_t)s.available(), '\0');
        s.read(&out[0], (int)out.size());
        return out;
    }
};

// Every app test reads its scripts through the root mount the application makes.
TEST_F(FileSystemTest, RootMountRefusesMissingFilesAndWriting) {
    WorkDir cwd;
    core::FileSystem* fs = core::FileSystem::get();
    fs->addArchive(M3D_NEW core::FileArchive("", false), "");
    EXPECT_EQ(ioText("FileSystem::openFile: File not found!", "Data/Missing.lua"),
              messageOf([&] { fs->openFile("Data/Missing.lua", 0); }));
    EXPECT_EQ(ioText("FileSystem::openFile: File could not be saved!", "out.txt"),
              messageOf([&] { fs->openFile("out.txt", 1); }));
}

TEST_F(FileSystemTest, MountAtDataAsksForNamesWithoutThePrefix) {
    dir.write("assets/a.png", "A");
    dir.write("assets/b.png", "B");
    core::FileSystem* fs = core::FileSystem::get();
    fs->addArchive(archive("assets/"), "Data/");

    // The archive was asked for (and named the stream) a.png.
    EXPECT_STREQ("a.png", fs->openFile("Data/a.png", 0)->getName().c_str());
    // A name outside the mount path is asked for whole.
    EXPECT_EQ("B", readAll(*fs->openFile("b.png", 0)));
    // The mount path alone leaves nothing to ask for.
    EXPECT_FALSE(fs->exists("Data/", 0));

    EXPECT_STREQ("Dat", core::FileSystem::relativeName("Dat", "Data/").c_str());
    EXPECT_STREQ("x/Data/c", core::FileSystem::relativeName("x/Data/c", "Data/").c_str());
    EXPECT_STREQ("Data/c", core::FileSystem::relativeName("Data/c", "").c_str());
}

TEST_F(FileSystemTest, TwoArchivesHoldingTheSameNameWarnTwiceThenThrow) {
    dir.write("one/Data/x.lua", "1");
    dir.write("two/Data/x.lua", "2");
    dir.write("two/Data/only.lua", "only");
    core::FileSystem* fs = core::FileSystem::get();
    fs->addArchive(archive("one/"), "");
    fs->addArchive(archive("two/"), "");

    StderrCapture capture;
    std::string duplicate = ioText("FileSystem::exists: More than one file canditates found!", "Data/x.lua");
    EXPECT_EQ(duplicate, messageOf([&] { fs->exists("Data/x.lua", 0); }));
    EXPECT_EQ(duplicate, messageOf([&] { fs->openFile("Data/x.lua", 0); }));
    std::string log = capture.finish();
    std::string warning = "WARNING |Duplicated archive canditate Data/x.lua\n";
    EXPECT_NE(std::string::npos, log.find(warning + warning)) << log;
    EXPECT_EQ("only", readAll(*fs->openFile("Data/only.lua", 0)));
}

TEST_F(FileSystemTest, SameArchiveObjectTwiceAndUnsupportedOpenFlagsAreRefused) {
    core::FileSystem* fs = core::FileSystem::get();
    core::Ref<core::FileArchive> a(archive(""));
    fs->addArchive(a.get(), "");
    EXPECT_EQ(ioText("FileSystem::addArchive: More than one same archives found!", root("")),
              messageOf([&] { fs->addArchive(a.get(), "Data/"); }));
    EXPECT_EQ(1, fs->getMountCount());
    EXPECT_EQ("<no exception>", messageOf([&] { fs->addArchive(archive(""), "Data/"); }));
    EXPECT_EQ(2, fs->getMountCount());
    EXPECT_NE("<no exception>", messageOf([&] { fs->addArchive(fs, ""); }));
    EXPECT_EQ(ioText("FileArchive::openFile: Unsupported openFlags", root("")),
              messageOf([&] { a->openFile("x", 2); }));
    EXPECT_EQ(ioText("FileArchive::exists: Unsupported openFlags", root("")),
              messageOf([&] { a->exists("x", 7); }));
}

TEST_F(FileSystemTest, OnlyAWritableArchiveOpensForWriting) {
    dir.write("save/keep.txt", "precious");
    core::Ref<core::FileArchive> a(archive("save/", true));
    // The probe itself is HAL::File::canOpenForWriting's.
    EXPECT_TRUE(a->exists("keep.txt", 1));
    EXPECT_FALSE(core::Ref<core::FileArchive>(archive("save/"))->exists("keep.txt", 1));

    core::FileSystem* fs = core::FileSystem::get();
    fs->addArchive(a.get(), "");
    core::Ref<core::Stream> out = fs->openFile("new.txt", 1);
    out->write("fresh", 5);
    out->close();
    EXPECT_EQ("fresh", dir.read("save/new.txt"));
}

} // namespace
