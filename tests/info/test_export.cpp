// --preview-out and --thumbnail as a process: sizes, pixels, and no file on any failure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ChildProcess.h"
#include "PngRead.h"
#include "PreviewEncoder.h"
#include "TempFile.h"

namespace sheetpeek::test {
namespace {

const std::string kGolden = std::string(SHEETPEEK_TEST_DATA) + "/golden";

// Palette indices that have a colour character (8 has none).
const std::uint8_t kUsable[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15};

std::uint8_t PatternIndex(int x, int y) {
  return kUsable[static_cast<std::size_t>(x * 7 + y * 3) % 15];
}

// A drawing whose preview is width x height pixels of a pattern that differs between neighbours.
std::string DrawingWithPreview(int width, int height) {
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(PatternIndex(x, y));
  return "Version\t1\n" + ImageRecord(width, height, EncodePixels(pixels)) + "Fbreak\n";
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  return names;
}

struct ThumbCase {
  int width, height, size;
  int wantWidth, wantHeight;
};

TEST(Export, ThumbnailSizes) {
  // clang-format off
  const ThumbCase cases[] = {
      {80, 50, 128, 128, 80},    // up, 1.6x
      {80, 50, 40, 40, 25},      // down, exact half
      {80, 50, 1000, 320, 200},  // never more than 4x
      {80, 50, 1, 1, 1},         // the short side keeps at least 1 px
      {256, 36, 16, 16, 2},      // 2.25 rounds to 2
      {256, 36, 4, 4, 1},        // 0.56 rounds up to the 1 px minimum
      {50, 80, 128, 80, 128},    // portrait
      {1, 1, 256, 4, 4},         // one pixel, 4x
      {256, 181, 256, 256, 181},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " to " + std::to_string(c.size));
    TempDir dir;
    const std::string drawing = dir.WriteFile("d.cad", DrawingWithPreview(c.width, c.height));
    const std::string out = dir.path() + "/thumb.png";
    const ChildResult r =
        RunChild(BuiltProgram("sheetpeek-info"), {"--thumbnail", std::to_string(c.size), drawing, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const DecodedImage png = ReadPalettePng(ReadFileBytes(out));
    EXPECT_EQ(png.width, c.wantWidth);
    EXPECT_EQ(png.height, c.wantHeight);
    EXPECT_EQ(png.bitDepth, 4);
  }
}

// At exactly 2x every source pixel becomes a 2x2 block; at 1/2 every other pixel is kept.
TEST(Export, ThumbnailSamplesNearestPixel) {
  TempDir dir;
  const std::string drawing = dir.WriteFile("d.cad", DrawingWithPreview(30, 20));
  const std::string up = dir.path() + "/up.png", down = dir.path() + "/down.png";
  ASSERT_EQ(RunChild(BuiltProgram("sheetpeek-info"), {"--thumbnail", "60", drawing, up}).exitCode, 0);
  ASSERT_EQ(RunChild(BuiltProgram("sheetpeek-info"), {"--thumbnail", "15", drawing, down}).exitCode, 0);
  const DecodedImage big = ReadPalettePng(ReadFileBytes(up));
  ASSERT_EQ(big.width, 60);
  ASSERT_EQ(big.height, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(big.indices[static_cast<std::size_t>(y * 60 + x)], PatternIndex(x / 2, y / 2))
          << x << "," << y;
  const DecodedImage small = ReadPalettePng(ReadFileBytes(down));
  ASSERT_EQ(small.width, 15);
  ASSERT_EQ(small.height, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 15; ++x)
      ASSERT_EQ(small.indices[static_cast<std::size_t>(y * 15 + x)], PatternIndex(2 * x + 1, 2 * y + 1))
          << x << "," << y;
}

TEST(Export, OddWidthPreviewRoundTripsThroughBothFormats) {
  TempDir dir;
  const std::string drawing = dir.WriteFile("d.cad", DrawingWithPreview(7, 3));
  const std::string bmp = dir.path() + "/p.bmp", png = dir.path() + "/p.PNG";
  ASSERT_EQ(RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", bmp, drawing}).exitCode, 0);
  ASSERT_EQ(RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out=" + png, drawing}).exitCode, 0);
  const DecodedImage a = ReadBmp4(ReadFileBytes(bmp));
  const DecodedImage b = ReadPalettePng(ReadFileBytes(png));
  ASSERT_EQ(a.width, 7);
  ASSERT_EQ(a.height, 3);
  EXPECT_EQ(ReadFileBytes(bmp).size(), 118u + 4u * 3u) << "rows padded to 4 bytes";
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) {
      EXPECT_EQ(a.indices[static_cast<std::size_t>(y * 7 + x)], PatternIndex(x, y)) << x << "," << y;
      EXPECT_EQ(b.indices[static_cast<std::size_t>(y * 7 + x)], PatternIndex(x, y)) << x << "," << y;
    }
}

struct FailCase {
  const char* name;
  std::string drawing;  // empty: the drawing path does not exist
  const char* reason;
};

TEST(Export, NoFileIsWrittenOnFailure) {
  // clang-format off
  const FailCase cases[] = {
      {"no preview", "Version\t1\nFbreak\n", "no preview"},
      {"zero width", "Version\t1\nImage\t1,0,5,0,0\nFbreak\n", "empty"},
      {"zero height", "Version\t1\nImage\t1,5,0,0,0\nFbreak\n", "empty"},
      {"rejected picture", "Version\t1\nImage\t1,257,1,0,0\nFbreak\n", "no preview"},
      {"missing drawing", "", ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    for (const bool thumbnail : {false, true}) {
      for (const char* ext : {".png", ".bmp"}) {
        if (thumbnail && std::string(ext) == ".bmp") continue;
        SCOPED_TRACE(std::string(c.name) + (thumbnail ? " thumbnail" : " preview") + ext);
        TempDir in, out;
        const std::string drawing =
            c.drawing.empty() ? in.path() + "/gone.cad" : in.WriteFile("d.cad", c.drawing);
        const std::string target = out.path() + "/image" + ext;
        const ChildResult r =
            thumbnail ? RunChild(BuiltProgram("sheetpeek-info"), {"--thumbnail", "64", drawing, target})
                      : RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", target, drawing});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.rfind("sheetpeek-info: " + drawing + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_TRUE(FolderEntries(out.path()).empty()) << "nothing written, no temporary left";
      }
    }
  }
}

TEST(Export, FailureKeepsAnExistingOutputFile) {
  TempDir dir;
  const std::string drawing = dir.WriteFile("d.cad", "Version\t1\nFbreak\n");
  const std::string target = dir.WriteFile("old.png", "old contents");
  EXPECT_EQ(RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", target, drawing}).exitCode, 1);
  EXPECT_EQ(ReadFileBytes(target), "old contents");
}

TEST(Export, UnwritableTargetFailsCleanly) {
  TempDir dir;
  const std::string drawing = dir.WriteFile("d.cad", DrawingWithPreview(4, 4));
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"),
                                 {"--preview-out", dir.path() + "/no/such/folder/p.png", drawing});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no/such/folder/p.png"), std::string::npos) << r.err;
  EXPECT_EQ(FolderEntries(dir.path()).size(), 1u);
}

TEST(Export, NeverOverwritesTheDrawingItself) {
  TempDir dir;
  const std::string bytes = DrawingWithPreview(4, 4);
  const std::string drawing = dir.WriteFile("drawing.png", bytes);
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", drawing, drawing});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadFileBytes(drawing), bytes);
}

// What stands at OUT decides, as with cp: a refusal for anything but a regular file the user may
// write, else the target (through a link) gets the picture and keeps its links and mode.
TEST(Export, HostileOutputsAreRefusedOrWrittenAsCpWouldWriteThem) {
  TempDir dir;
  const std::string drawing = dir.WriteFile("a.cad", DrawingWithPreview(4, 4));
  const std::string second = dir.WriteFile("b.cad", "Version\t1\nFbreak\n");
  const std::string d = dir.path() + "/";
  ASSERT_EQ(::mkfifo((d + "fifo.png").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/null", (d + "device.png").c_str()), 0);
  ASSERT_EQ(::mkdir((d + "folder.png").c_str(), 0700), 0);
  dir.WriteFile("target.png", "old");
  ASSERT_EQ(::symlink("target.png", (d + "link.png").c_str()), 0);
  dir.WriteFile("linked.png", "old");
  ASSERT_EQ(::link((d + "linked.png").c_str(), (d + "other-name.png").c_str()), 0);
  ASSERT_EQ(::chmod(dir.WriteFile("private.png", "old").c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir.WriteFile("read-only.png", "old").c_str(), 0444), 0);
  const std::string longName = d + std::string(251, 'n') + ".png";
  // Root may write a read-only file, as cp may: that row runs as another user then, in a folder
  // where anyone may make files, so that only the check can refuse.
  std::vector<std::string> asOther;
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod((d + "read-only.png").c_str(), 0644), 0);
    asOther = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    if (::access(asOther[0].c_str(), X_OK) != 0) GTEST_SKIP() << "no setpriv to drop root with";
  }
  const std::string png = "\x89PNG";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string err;             // in the message; empty for none
    std::string written, where;  // the bytes that begin `where` afterwards
  };
  // clang-format off
  const Case cases[] = {
      {"device", {"--preview-out", d + "device.png", drawing}, 1, "device.png: not a regular file", "", ""},
      {"fifo", {"--thumbnail", "64", drawing, d + "fifo.png"}, 1, "fifo.png: not a regular file", "", ""},
      {"folder", {"--preview-out", d + "folder.png", drawing}, 1, "folder.png: not a regular file", "", ""},
      {"link", {"--preview-out", d + "link.png", drawing}, 0, "", png, d + "target.png"},
      {"hard link", {"--thumbnail", "64", drawing, d + "linked.png"}, 0, "", png, d + "other-name.png"},
      {"mode 0600", {"--preview-out", d + "private.png", drawing}, 0, "", png, d + "private.png"},
      {"255-byte name", {"--preview-out", longName, drawing}, 0, "", png, longName},
      {"shell pattern over a drawing", {"--thumbnail", "64", drawing, second}, 2, "must end in .png", "Version", second},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.empty(), c.err.empty()) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (!c.where.empty()) {
      EXPECT_EQ(ReadFileBytes(c.where).rfind(c.written, 0), 0u);
    }
  }
  std::vector<std::string> readOnly = asOther;
  readOnly.insert(readOnly.end(),
                  {BuiltProgram("sheetpeek-info"), "--preview-out", d + "read-only.png", drawing});
  const ChildResult r = RunChild(readOnly);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("read-only.png: Permission denied\n"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(d + "read-only.png"), "old");

  struct stat st {};
  EXPECT_TRUE(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
  EXPECT_TRUE(::lstat((d + "fifo.png").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(::lstat((d + "link.png").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link was replaced";
  EXPECT_TRUE(::stat((d + "private.png").c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
  EXPECT_EQ(FolderEntries(dir.path()).size(), 12u) << "a temporary was left behind";
}

TEST(Export, IncompleteHeaderStillExportsButFails) {
  TempDir dir;
  // A preview read before the read broke off (no "Version"): the picture is there, the exit code says 1.
  const std::string drawing =
      dir.WriteFile("d.cad", ImageRecord(2, 2, EncodePixels({9, 10, 12, 15})) + "Fbreak\n");
  const std::string target = dir.path() + "/p.bmp";
  const ChildResult r = RunChild(BuiltProgram("sheetpeek-info"), {"--preview-out", target, drawing});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("incomplete header"), std::string::npos);
  const DecodedImage img = ReadBmp4(ReadFileBytes(target));
  EXPECT_EQ(img.indices, (std::vector<std::uint8_t>{9, 10, 12, 15}));
}

}  // namespace
}  // namespace sheetpeek::test
