#include "Commands.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Cp932.h"
#include "FolderWalk.h"
#include "Host.h"
#include "ImageWriters.h"
#include "OutputFile.h"
#include "Register.h"
#include "Report.h"
#include "Thumbnail.h"

namespace sheetpeek::info {
namespace {

// Below this many files the threads cost more than they save.
constexpr std::size_t kMinFilesForThreads = 16;
// Workers take files in chunks, so that handing results to the printer costs one wake-up
// per chunk rather than one per file.
constexpr std::size_t kChunk = 32;
// How many chunks workers may run ahead of the printer.
constexpr std::size_t kChunksAhead = 8;
constexpr unsigned kMaxJobs = 2;

void Print(std::FILE* stream, const std::string& text) {
  WriteStream(stream, text);
}

class ReportPrinter {
 public:
  ReportPrinter(std::FILE* out, std::FILE* err, ReportFormat format) : out_(out), err_(err), format_(format) {
    if (format_ == ReportFormat::Csv) Print(out_, CsvHead());
  }

  void Add(const FileReport& r) {
    if (!r.out.empty()) {
      // Text blocks are separated by one blank line.
      if (format_ == ReportFormat::Text && printedBlock_) Print(out_, "\n");
      Print(out_, r.out);
      printedBlock_ = true;
    }
    Print(err_, r.err);
    allOk_ = allOk_ && r.ok;
  }
  void Fail() { allOk_ = false; }
  bool AllOk() const { return allOk_; }

 private:
  std::FILE* out_;
  std::FILE* err_;
  ReportFormat format_;
  bool printedBlock_ = false;
  bool allOk_ = true;
};

// Loads files on `jobs` threads, this one among them, and hands the reports to `printer` in
// argument order. No thread waits to print: whichever finishes the chunk that is next in order
// prints it, and the chunks after it that are ready, while the others go on loading.
void ReportInParallel(const std::vector<std::string>& files, ReportFormat format, unsigned jobs,
                      ReportPrinter& printer) {
  struct Chunk {
    std::vector<FileReport> reports;
    bool ready = false;
  };
  const std::size_t chunkCount = (files.size() + kChunk - 1) / kChunk;
  std::vector<Chunk> chunks(chunkCount);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable spaceCv;
  // Guarded by mutex: chunks handed to the printer, and whether a thread is printing.
  std::size_t printed = 0;
  bool printing = false;

  auto work = [&] {
    for (;;) {
      const std::size_t c = next.fetch_add(1);
      if (c >= chunkCount) return;
      {
        std::unique_lock<std::mutex> lock(mutex);
        spaceCv.wait(lock, [&] { return c < printed + kChunksAhead; });
      }
      std::vector<FileReport> reports;
      const std::size_t end = std::min(files.size(), (c + 1) * kChunk);
      for (std::size_t i = c * kChunk; i < end; ++i) reports.push_back(ReportFile(files[i], format));
      std::unique_lock<std::mutex> lock(mutex);
      chunks[c].reports = std::move(reports);
      chunks[c].ready = true;
      if (printing) continue;
      printing = true;
      while (printed < chunkCount && chunks[printed].ready) {
        const std::vector<FileReport> toPrint = std::move(chunks[printed].reports);
        ++printed;
        lock.unlock();
        spaceCv.notify_all();
        for (const auto& r : toPrint) printer.Add(r);
        lock.lock();
      }
      printing = false;
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned j = 1; j < jobs; ++j) helpers.emplace_back(work);
  work();
  for (auto& h : helpers) h.join();
}

// The files in their order, each folder among them replaced by the drawings found below it.
// Folders that cannot be read are told on `err` and fail the run; the walk goes on.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& args, ReportPrinter& printer,
                                       std::FILE* err) {
  std::vector<std::string> files;
  for (const auto& arg : args) {
    if (!IsFolder(arg)) {
      files.push_back(arg);
      continue;
    }
    DrawingWalk walk = FindDrawings(arg);
    for (const auto& p : walk.problems) {
      Print(err, ErrorLine(p.folder, "cannot read the folder: " + p.reason));
      printer.Fail();
    }
    files.insert(files.end(), std::make_move_iterator(walk.files.begin()),
                 std::make_move_iterator(walk.files.end()));
  }
  return files;
}

// Loads the file and gives its preview, or prints why there is none and gives null.
// `readOk` tells whether the header read completely.
std::unique_ptr<IndexedImage> LoadPreview(const std::string& path, std::FILE* err, bool& readOk) {
  readOk = false;
  const LoadResult result = LoadDrawingHeader(path);
  if (!result.header) {
    Print(err, ErrorLine(path, OpenErrorText(result.error)));
    return nullptr;
  }
  const COrvicHeader& h = *result.header;
  readOk = h.ReadOk;
  if (!h.ReadOk) Print(err, ErrorLine(path, ReadFailureText(h)));
  if (!h.HasImage || !h.ImageBitmap) {
    Print(err, ErrorLine(path, "no preview image"));
    return nullptr;
  }
  if (h.ImageBitmap->Width() == 0 || h.ImageBitmap->Height() == 0) {
    Print(err, ErrorLine(path, "the preview image is empty (" + std::to_string(h.ImageBitmap->Width()) + "x" +
                                   std::to_string(h.ImageBitmap->Height()) + ")"));
    return nullptr;
  }
  return std::make_unique<IndexedImage>(ToIndexedImage(*h.ImageBitmap));
}

int WriteImage(const std::string& input, const std::string& output, const std::string& bytes, bool readOk,
               std::FILE* err) {
  if (IsSameFile(input, output)) {
    Print(err, ErrorLine(input, "refusing to overwrite the drawing with its own preview"));
    return kExitFailed;
  }
  try {
    WriteOutputFile(output, bytes);
  } catch (const OutputFileError& e) {
    Print(err, ErrorLine(output, e.what()));
    return kExitFailed;
  }
  return readOk ? kExitOk : kExitFailed;
}

}  // namespace

int RunReports(const Options& options, std::FILE* out, std::FILE* err, unsigned jobs) {
  const ReportFormat format = options.mode == Mode::Json  ? ReportFormat::Json
                              : options.mode == Mode::Csv ? ReportFormat::Csv
                                                          : ReportFormat::Text;
  ReportPrinter printer(out, err, format);
  const std::vector<std::string> files =
      options.recursive ? ExpandFolders(options.files, printer, err) : options.files;
  if (jobs == 0) jobs = std::min(kMaxJobs, std::max(1u, std::thread::hardware_concurrency()));
  if (jobs > 1 && files.size() >= kMinFilesForThreads) {
    ReportInParallel(files, format, jobs, printer);
  } else {
    for (const auto& file : files) printer.Add(ReportFile(file, format));
  }
  return printer.AllOk() ? kExitOk : kExitFailed;
}

int RunRegister(const Options& options, std::FILE* err) {
  ReportPrinter printer(nullptr, err, ReportFormat::Text);
  const std::vector<std::string> files =
      options.recursive ? ExpandFolders(options.files, printer, err) : options.files;
  RegisterCallbacks callbacks;
  callbacks.fileFailed = [err](const std::string& path, const std::string& reason) {
    Print(err, ErrorLine(path, reason));
  };
  try {
    const RegisterOutcome outcome = WriteRegister(files, options.output, callbacks);
    return outcome.allOk && printer.AllOk() ? kExitOk : kExitFailed;
  } catch (const RegisterError& e) {
    Print(err, ErrorLine(options.output, e.what()));
    return kExitFailed;
  }
}

int RunPreviewOut(const Options& options, std::FILE* err) {
  const std::string& input = options.files.front();
  try {
    bool readOk = false;
    const auto image = LoadPreview(input, err, readOk);
    if (!image) return kExitFailed;
    const std::string bytes = options.format == ImageFormat::Bmp ? EncodeBmp(*image) : EncodePng(*image);
    return WriteImage(input, options.output, bytes, readOk, err);
  } catch (const std::exception& e) {
    Print(err, ErrorLine(input, e.what()));
    return kExitFailed;
  }
}

int RunThumbnail(const Options& options, std::FILE* err) {
  const std::string& input = options.files.front();
  try {
    bool readOk = false;
    const auto image = LoadPreview(input, err, readOk);
    if (!image) return kExitFailed;
    return WriteImage(input, options.output, EncodePng(ThumbnailOf(*image, options.thumbnailSize)), readOk,
                      err);
  } catch (const std::exception& e) {
    Print(err, ErrorLine(input, e.what()));
    return kExitFailed;
  }
}

}  // namespace sheetpeek::info
