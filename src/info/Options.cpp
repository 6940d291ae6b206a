#include "Options.h"

#include <algorithm>
#include <cctype>

#include "Register.h"

namespace sheetpeek::info {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

int ParseSize(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    throw UsageError{"SIZE must be a positive whole number: '" + text + "'"};
  }
  const long value = std::stol(text);
  if (value < 1 || value > kMaxThumbnailSize) {
    throw UsageError{"SIZE must lie between 1 and " + std::to_string(kMaxThumbnailSize) + ": '" + text + "'"};
  }
  return static_cast<int>(value);
}

}  // namespace

ImageFormat ImageFormatOf(const std::string& path, const std::string& usage) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    const std::string ext = Lower(path.substr(dot));
    if (ext == ".bmp") return ImageFormat::Bmp;
    if (ext == ".png") return ImageFormat::Png;
  }
  throw UsageError{usage + ": '" + path + "'"};
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options opt;
  bool json = false, csv = false, help = false, version = false;
  bool havePreviewOut = false, haveThumbnail = false, haveXlsx = false;
  std::vector<std::string> positional;

  std::size_t i = 0;
  // Takes the value of an option given as "--opt VALUE" or "--opt=VALUE".
  auto value = [&](const std::string& arg, const std::string& name) -> std::string {
    if (arg.size() > name.size()) return arg.substr(name.size() + 1);
    if (i + 1 >= args.size()) throw UsageError{name + " needs a value"};
    return args[++i];
  };
  auto is = [](const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
  };

  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') break;  // first file; "-" alone is a file name too
    if (arg == "--json") {
      json = true;
    } else if (arg == "--csv") {
      csv = true;
    } else if (arg == "--recursive" || arg == "-r") {
      opt.recursive = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (is(arg, "--preview-out")) {
      if (havePreviewOut) throw UsageError{"--preview-out given twice"};
      havePreviewOut = true;
      opt.output = value(arg, "--preview-out");
      if (opt.output.empty()) throw UsageError{"--preview-out needs a file name"};
    } else if (is(arg, "--xlsx")) {
      if (haveXlsx) throw UsageError{"--xlsx given twice"};
      haveXlsx = true;
      opt.output = value(arg, "--xlsx");
      if (!HasRegisterExtension(opt.output))
        throw UsageError{"--xlsx output must end in .xlsx: '" + opt.output + "'"};
    } else if (is(arg, "--thumbnail")) {
      if (haveThumbnail) throw UsageError{"--thumbnail given twice"};
      haveThumbnail = true;
      opt.thumbnailSize = ParseSize(value(arg, "--thumbnail"));
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  positional.assign(args.begin() + static_cast<std::ptrdiff_t>(std::min(i, args.size())), args.end());

  if (help) {
    opt.mode = Mode::Help;
    return opt;
  }
  if (version) {
    opt.mode = Mode::Version;
    return opt;
  }
  if (havePreviewOut + haveThumbnail + json + csv + haveXlsx > 1) {
    throw UsageError{"--json, --csv, --xlsx, --preview-out and --thumbnail exclude each other"};
  }
  if (opt.recursive && (havePreviewOut || haveThumbnail)) {
    throw UsageError{"--recursive goes only with the text, --json, --csv and --xlsx reports"};
  }
  if (havePreviewOut) {
    if (positional.size() != 1) throw UsageError{"--preview-out takes exactly one FILE"};
    opt.mode = Mode::PreviewOut;
    opt.format = ImageFormatOf(opt.output, "--preview-out OUT must end in .png or .bmp");
    opt.files = positional;
  } else if (haveThumbnail) {
    if (positional.size() != 2) throw UsageError{"--thumbnail takes SIZE FILE OUT.png"};
    opt.mode = Mode::Thumbnail;
    opt.files = {positional[0]};
    opt.output = positional[1];
    // A shell pattern (`--thumbnail 128 *.cad`) must not turn the second drawing into OUT.
    if (ImageFormatOf(opt.output, "--thumbnail OUT must end in .png") != ImageFormat::Png)
      throw UsageError{"--thumbnail OUT must end in .png: '" + opt.output + "'"};
    opt.format = ImageFormat::Png;
  } else {
    if (positional.empty()) throw UsageError{"no FILE given"};
    opt.mode = json ? Mode::Json : csv ? Mode::Csv : haveXlsx ? Mode::Xlsx : Mode::Text;
    opt.files = std::move(positional);
  }
  return opt;
}

std::string SynopsisText() {
  return "Usage: sheetpeek-info [--json | --csv | --xlsx OUT.xlsx] [--recursive] FILE...\n"
         "       sheetpeek-info --preview-out OUT.{bmp,png} FILE\n"
         "       sheetpeek-info --thumbnail SIZE FILE OUT.png\n";
}

std::string UsageText() {
  return SynopsisText() +
         "\n"
         "Shows the header of Orvic CAD drawings (.cad) without changing them.\n"
         "\n"
         "  (no option)         a block of 'label: value' lines per FILE, UTF-8\n"
         "  --json              one JSON object per FILE and line (JSON Lines)\n"
         "  --csv               a drawing register: UTF-8 CSV with a byte-order mark and CRLF,\n"
         "                      a header row, then one row per FILE with the JSON values\n"
         "  --xlsx OUT.xlsx     a drawing register as an Excel workbook: one row per FILE with\n"
         "                      its texts, dates, element count, preview picture and a link\n"
         "  -r, --recursive     a FILE that is a folder is searched, with its subfolders, for\n"
         "                      files ending in .cad (any case); links to folders are not\n"
         "                      followed; its drawings are reported in byte order of their paths\n"
         "  --preview-out OUT   write the embedded preview picture: OUT.bmp as a 4-bit BMP,\n"
         "                      OUT.png as a 4-bit indexed PNG\n"
         "  --thumbnail SIZE    write the preview scaled to fit SIZE x SIZE (nearest neighbour,\n"
         "                      at most 4x enlarged) as PNG, for desktop thumbnailers\n"
         "  --help              show this text\n"
         "  --version           show the version\n"
         "  --                  end of options\n"
         "\n"
         "Exit status: 0 when every FILE opened and its header read completely, 1 otherwise,\n"
         "2 for a usage error. Only regular files are read; nothing is ever written to a drawing.\n";
}

}  // namespace sheetpeek::info
