#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Resources.h"
#include "platform/Streams.h"

using namespace elo;
namespace fs = std::filesystem;

TEST(Streams, FileSharingKeepsWritersOutOfAFileOpenForReading) {
    const fs::path file = fs::temp_directory_path() / ("elo-share-" + std::to_string(getpid()));
    std::ofstream(file) << "data";
    {
        TFileStream reader(file.string(), fmOpenRead | fmShareDenyWrite);
        TFileStream secondReader(file.string(), fmOpenRead | fmShareDenyWrite);
        EXPECT_THROW(TFileStream(file.string(), fmOpenWrite), EFOpenError);
        EXPECT_EQ(reader.Size(), 4);
        char b[4];
        reader.ReadBuffer(b, 4);
        EXPECT_EQ(std::string(b, 4), "data");
        EXPECT_THROW(reader.ReadBuffer(b, 1), EReadError);
    }
    {
        TFileStream writer(file.string(), fmOpenReadWrite);
        EXPECT_THROW(TFileStream(file.string(), fmOpenRead | fmShareDenyWrite), EFOpenError);
        TFileStream careless(file.string(), fmOpenRead | fmShareDenyNone); // takes no lock
        writer.Seek(0, soEnd);
        writer.WriteBuffer("!", 1);
        writer.SetSize(3);
        EXPECT_EQ(writer.Size(), 3);
    }
    TFileStream again(file.string(), fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(again.Size(), 3);
    EXPECT_STREQ(again.ClassName(), "TFileStream");
    fs::remove(file);
    try {
        TFileStream missing(file.string(), fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file " + file.string());
    }
}

TEST(Streams, MemoryTemporaryAndResourceStreams) {
    TMemoryStream m;
    m.WriteBuffer("abcdef", 6);
    EXPECT_EQ(m.Size(), 6);
    m.SetPosition(2);
    char b[3];
    m.ReadBuffer(b, 3);
    EXPECT_EQ(std::string(b, 3), "cde");
    EXPECT_EQ(m.Read(b, 3), 1);
    m.SetSize(2);
    EXPECT_EQ(m.Position(), 2);

    TTempStream t;
    t.WriteBuffer("xyz", 3);
    t.SetPosition(0);
    t.ReadBuffer(b, 3);
    EXPECT_EQ(std::string(b, 3), "xyz");
    EXPECT_STREQ(t.ClassName(), "TTempStream");

    // Embedded by the build (elo_embed_resources), found ignoring letter case.
    TResourceStream r("testdata", "Embedded");
    std::string text(static_cast<size_t>(r.Size()), '\0');
    r.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(text, "Hello from a resource.\n");
    EXPECT_EQ(r.Write("x", 1), 0); // read-only
    EXPECT_THROW(TResourceStream("testdata", "nothing"), EResNotFound);
    static const unsigned char bytes[] = {1, 2, 3};
    RegisterResource("NLXFILE", "LIB", bytes, 3);
    EXPECT_EQ(FindResource("nlxfile", "lib")->Size, 3u);
    UnregisterResource("NLXFILE", "LIB");
    EXPECT_EQ(FindResource("NLXFILE", "LIB"), nullptr);
}
